-- Archives whose bytes come with the open request (tags 2/3 and 5), on
-- hosts that name sources themselves and on older ones that need a copy.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local arc = T.path("src.zip")
T.pyzip(arc, {{"inside/data.txt", "from the source"}})
local bytes = T.readfile(arc)

T.case("source bytes or a source file serve an archive that is not on disk", function()
  local src = assert(host.open(arc))
  for _, options in ipairs({{source = bytes}, {sourcefile = src}}) do
    local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", options))
    T.eq(f:servedby(), "Zip")
    T.eq(f:read(100), "from the source")
    f:seek("set", 5)
    T.eq(f:read(3), "the")
    f:close()
  end
  src:close()
  T.eq(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = "not a zip"}), nil, "a source that is no archive")
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

T.case("hosts before 7.1: sources go through a temporary file, deleted at close; failures leave none", function()
  local out = runOld([[
    local f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = bytes}))
    print("open", temps(), f:read(100))
    f:close()
    print("closed", temps(), host.memory().blocks)
    local src = assert(host.open("]] .. arc .. [["))
    f = assert(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {sourcefile = src}))
    print(f:read(100)) f:close() src:close()
    print(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = "junk"}), temps())
    host.failio("write", 1)
    print(host.open("/nowhere/virtual.zip/inside/data.txt", "r", {source = bytes}), temps(), host.memory().blocks)
  ]])
  T.eq(out, "open\t1\tfrom the source\nclosed\t0\t0\nfrom the source\nnil\t0\nnil\t0\t0\n")
end)

T.finish()
