-- Scans, child scans and reading handles share one open archive; it closes
-- exactly when the last of them goes, in any order.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local arc = T.path("shared.zip")
T.pyzip(arc, {{"a/x.txt", "ax"}, {"a/y.txt", "ay"}, {"top.txt", "top"}})

-- How many descriptors orhost holds on path (the shell's parent is orhost).
local function opened(path)
  local out = T.sh("ls -l /proc/$PPID/fd 2>/dev/null")
  local n = 0
  for line in out:gmatch("[^\n]+") do
    if line:sub(-#path - 1) == " " .. path then n = n + 1 end
  end
  return n
end

local orders = {{"root", "child", "file"}, {"root", "file", "child"}, {"child", "root", "file"},
                {"child", "file", "root"}, {"file", "root", "child"}, {"file", "child", "root"}}
for _, order in ipairs(orders) do
  T.case("closing " .. table.concat(order, ", ") .. " closes the archive at the last; the file reads to its close", function()
    local h = {}
    h.root = assert(host.opendir(arc))
    h.child = assert(host.opendir(arc .. "/a"))
    h.file = assert(host.open(arc .. "/a/x.txt"))
    T.eq(opened(arc), 1, "one archive for all three")
    for i, name in ipairs(order) do
      if name == "file" then  -- reading again from the start reopens the entry on the shared archive
        T.eq(h.file:read(10), "ax", "read")
        h.file:seek("set", 0)
        T.eq(h.file:read(10), "ax", "read again")
      end
      h[name]:close()
      T.eq(opened(arc), i < 3 and 1 or 0, "after closing " .. name)
    end
  end)
end

T.case("archive paths differing in case serve different files on this system", function()
  local upper, lower = T.path("Case.zip"), T.path("case.zip")
  T.pyzip(upper, {{"x", "upper"}})
  T.pyzip(lower, {{"x", "lower"}})
  local d = assert(host.opendir(upper))
  T.eq(host.readfile(lower .. "/x"), "lower")
  T.eq(host.readfile(upper .. "/x"), "upper")
  local e = assert(host.opendir(lower))
  T.eq(opened(lower), 1, "a scan of its own")
  d:close()
  T.eq(opened(upper), 0)
  e:close()
  T.eq(opened(lower), 0)
end)

T.case("two spellings of one file share the scan", function()
  local dir = T.path("Spell")
  os.execute("mkdir -p '" .. dir .. "'")
  T.pyzip(dir .. "/one.zip", {{"x", "one"}})
  os.execute("ln -sf one.zip '" .. dir .. "/ONE.zip'")
  local d = assert(host.opendir(dir .. "/one.zip"))
  local f = assert(host.open(dir .. "/ONE.zip/x"))
  T.eq(opened(dir .. "/one.zip"), 1, "borrowed, not opened again")
  T.eq(f:read(10), "one")
  d:close()
  f:close()
  T.eq(opened(dir .. "/one.zip"), 0)
end)

T.finish()
