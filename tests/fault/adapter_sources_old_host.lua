-- On hosts before 7.1 the adapter copies an archive that comes with the
-- open request into a temporary host file (MakeTempFileName,
-- WriteSourceToFile) and deletes it at FClose. Every allocation and host
-- file call of that route, failed in turn, must end with a decline or the
-- clean result and leave neither host memory nor a temporary file.
local T = require("testlib")

-- The sweep itself runs in an orhost of version 7.0 with its own TMPDIR.
if arg[1] ~= "old" then
  local tmp = T.path("tmp")
  os.execute("mkdir -p '" .. tmp .. "'")
  local out, ok = T.sh(string.format("TMPDIR='%s' '%s' --host-version 7.0 '%s' old", tmp, os.getenv("ORHOST"), arg[0]))
  io.write(out)
  os.exit(ok and 0 or 1)
end

local S = require("sweep")
require_plugin("zip", {installadapter = true})

local arc = T.path("src.zip")
local readme = string.rep("Hickory dickory dock.\n", 30)
T.pyzip(arc, {{"readme.txt", readme}, {"d/small.txt", "small", method = "stored"}})
local bytes = T.readfile(arc)
-- testlib has just emptied the work folder, TMPDIR with it.
local tmp = os.getenv("TMPDIR")
os.execute("mkdir -p '" .. tmp .. "'")

S.scenario{
  name = "FOpen from a source through a temporary file",
  setup = function() end,
  errors = {"open failed", "read failed", "seek failed"},
  verify = function()
    local left = host.listdir(tmp)
    if #left > 0 then
      for _, info in ipairs(left) do os.remove(tmp .. "/" .. info.name:match("([^/]+)$")) end
      error("temporary files left: " .. #left, 0)
    end
  end,
  run = function()
    local out = {}
    local f <close> = S.must(host.open("/nowhere/virtual.zip/d/small.txt", "r", {source = bytes}), "open")
    out.bytes = S.read(f, 100, "read")
    f:close()
    local src <close> = S.must(host.open(arc), "open")
    local g <close> = S.must(host.open("/nowhere/virtual.zip/README.TXT", "r", {sourcefile = src}), "open")
    S.must(g:seek("set", 22), "seek")
    out.file = S.read(g, 1000, "read")
    g:close()
    src:close()
    out.junk = host.open("/nowhere/virtual.zip/d/small.txt", "r", {source = "junk"})
    if out.bytes ~= "small" or out.file ~= readme:sub(23) or out.junk then error("wrong data", 0) end
    return out
  end,
}

S.finish()
