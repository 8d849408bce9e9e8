-- Archives whose bytes come with the open request (tags 2/3 and 5), on
-- hosts that name sources themselves and on older ones that need a copy.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local arc = T.path("src.zip")
T.pyzip(arc, {{"inside/data.txt", "from the source"}})
local bytes = T.readfile(arc)

T.case("source bytes serve an archive that is not on disk", function()
  local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = bytes}))
  T.eq(f:servedby(), "Zip")
  T.eq(f:read(100), "from the source")
  f:seek("set", 5)
  T.eq(f:read(3), "the")
  f:close()
end)

T.case("a source file serves an archive", function()
  local src = assert(host.open(arc))
  local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {sourcefile = src}))
  T.eq(f:read(100), "from the source")
  f:close()
  src:close()
end)

T.case("a source that is no archive gives no file", function()
  T.eq(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = "not a zip"}), nil)
end)

-- Runs code in an orhost of an older generation with its own temp folder;
-- returns its output.
local function runOld(code)
  local tmp = T.path("tmp")
  os.execute("rm -rf '" .. tmp .. "' && mkdir -p '" .. tmp .. "'")
  local script = T.path("old.lua")
  T.writefile(script, "require_plugin('zip', {installadapter = true})\n" ..
    "local function temps() return (io.popen('ls " .. tmp .. " | wc -l'):read('a'):gsub('%s', '')) end\n" ..
    "local bytes = io.open('" .. arc .. "', 'rb'):read('a')\n" .. code)
  local out, ok = T.sh(string.format("TMPDIR='%s' '%s' --host-version 7.0 '%s'", tmp, os.getenv("ORHOST"), script))
  assert(ok, out)
  return out
end

T.case("hosts before 7.1: the source goes through a temporary file, deleted at close", function()
  local out = runOld([[
    local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = bytes}))
    print("open", temps(), f:read(100))
    f:close()
    print("closed", temps(), host.memory().blocks)
  ]])
  T.eq(out, "open\t1\tfrom the source\nclosed\t0\t0\n")
end)

T.case("hosts before 7.1: a source file is copied too, and failures leave no file", function()
  local out = runOld([[
    local src = assert(host.open("]] .. arc .. [["))
    local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {sourcefile = src}))
    print(f:read(100)) f:close() src:close()
    print(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = "junk"}), temps())
    host.failio("write", 1)
    print(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = bytes}), temps(), host.memory().blocks)
  ]])
  T.eq(out, "from the source\nnil\t0\nnil\t0\t0\n")
end)

T.finish()
