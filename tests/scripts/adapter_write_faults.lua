-- Failures while writing and changing: a clean failure, the archive intact
-- and no host memory left behind.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local function fresh(name)
  local p = T.path(name)
  os.remove(p)
  T.pyzip(p, {{"a", "A"}, {"b", "B"}, {"c", "C"}})
  return p
end

-- An archive whose central directory is sound but whose last entry c has
-- a local header claiming a name far longer than the file: reading the
-- list works, rewriting the archive (which copies c, or looks for its end
-- to keep what lies before) fails inside zip_close.
local function brokenForRewrite(name)
  local p = fresh(name)
  local raw = T.readfile(p)
  local third = raw:find("PK\3\4", raw:find("PK\3\4", 5, true) + 4, true)
  T.writefile(p, raw:sub(1, third + 25) .. "\255\255" .. raw:sub(third + 28))
  return p, T.readfile(p)
end

T.case("no memory for the deferred deletions: nothing is filed", function()
  local p = fresh("delbuf.zip")
  local d = assert(host.opendir(p))
  host.failalloc(1, "delbuf")
  T.eq(host.delete(p .. "/a"), false)
  T.eq(host.delete(p .. "/b"), true)
  d:close()
  T.eq(host.readfile(p .. "/a"), "A")
  T.eq(host.readfile(p .. "/b"), nil)
end)

T.case("allocation failures opening a writing handle", function()
  local p = fresh("alloc.zip")
  for n = 1, 4 do
    host.failalloc(n)
    local f = host.open(p .. "/new" .. n, "w")
    host.failalloc(0)
    if f then
      f:write("x")
      T.eq(f:close(), true)
    end
    T.eq(T.blocks(), 0, "failure " .. n)
  end
end)

T.case("host file failures do not reach adapter writes", function()
  local p = fresh("io.zip")
  for _, op in ipairs({"open", "write", "read", "seek", "examine"}) do
    host.failio(op, 1)
    T.eq(host.writefile(p .. "/w-" .. op, op), true)
    host.failio(op, 0)
    T.eq(host.readfile(p .. "/w-" .. op), op)
  end
end)

T.case("a failed write-back leaves the archive file as it was", function()
  local p, before = brokenForRewrite("broken.zip")
  local f = assert(host.open(p .. "/new", "w"))
  f:write("new data")
  T.eq(f:close(), false)
  T.ok(T.readfile(p) == before, "writing handle: archive unchanged")
  local rw = assert(host.open(p .. "/a", "rw"))
  rw:write("Z")
  T.eq(rw:close(), false)
  T.eq(host.mkdir(p .. "/d"), false)
  T.eq(host.rename(p .. "/a", "z"), false)
  T.eq(host.setattributes(p .. "/a", {comment = "c"}), false)
  T.eq(host.delete(p .. "/b"), false)
  T.ok(T.readfile(p) == before, "object operations: archive unchanged")
end)

T.case("a failed deferred deletion leaves the archive file as it was", function()
  local p, before = brokenForRewrite("broken2.zip")
  local d = assert(host.opendir(p))
  T.eq(host.delete(p .. "/a"), true)
  d:close()
  T.ok(T.readfile(p) == before, "archive unchanged")
end)

T.case("a write-back into a read-only folder fails and keeps the archive", function()
  local out = T.sh("id -u")
  if out:match("^0") then return end  -- root writes anywhere
  local dir = T.path("ro")
  os.execute("mkdir -p '" .. dir .. "'")
  local p = dir .. "/ro.zip"
  T.pyzip(p, {{"a", "A"}})
  local before = T.readfile(p)
  os.execute("chmod a-w '" .. dir .. "'")
  T.eq(host.writefile(p .. "/b", "B"), false)
  T.eq(host.mkdir(p .. "/d"), false)
  os.execute("chmod u+w '" .. dir .. "'")
  T.ok(T.readfile(p) == before, "archive unchanged")
end)

T.finish()
