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

T.case("archives are told apart by their files: paths differing in case are two, a link to one is that one", function()
  local upper, lower = T.path("Case.zip"), T.path("case.zip")
  T.pyzip(upper, {{"x", "upper"}})
  T.pyzip(lower, {{"x", "lower"}})
  os.execute("ln -sf case.zip '" .. T.path("CASE.zip") .. "'")
  local d = assert(host.opendir(upper))
  T.eq(host.readfile(lower .. "/x"), "lower")
  T.eq(host.readfile(upper .. "/x"), "upper")
  local e = assert(host.opendir(lower))
  local f = assert(host.open(T.path("CASE.zip/x")))
  T.eq(opened(lower), 1, "a scan of its own, which the link borrows")
  T.eq(f:read(10), "lower")
  d:close()
  T.eq(opened(upper), 0)
  e:close()
  f:close()
  T.eq(opened(lower), 0)
end)

T.finish()
