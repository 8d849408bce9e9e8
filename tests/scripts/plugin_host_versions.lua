-- Hosts of different versions: below 6.0 the module does not register;
-- from 6.2 on host strings are UTF-8 and the host reports text-mode changes.
local T = require("testlib")

local orhost = os.getenv("ORHOST") or "orhost"

-- Runs code in a fresh orhost of the given version; returns output, success.
local function run(version, code)
  local script = T.path("version_" .. version:gsub("%.", "_") .. ".lua")
  T.writefile(script, code)
  return T.sh(string.format("'%s' --host-version %s '%s'", orhost, version, script))
end

-- Adds a directory whose name is given in the host's text mode, stored in
-- code page 437, and prints the name libzip reads back (as UTF-8).
local cp437Probe = [[
require_plugin("zip")
local id = zip.OpenArchive(nil, "%s", 1006)
zip.AddDirectory(id, "%s", {encoding = ZIP_FL_ENC_CP437})
io.write(zip.GetFileAtIndex(id, 0))
zip.CloseArchive(id, 1)
assert(host.memory().blocks == 0)
]]

T.case("a host below 6.0 is refused", function()
  local out, ok = run("5.0", 'require_plugin("zip")')
  T.ok(not ok, "exit status")
  T.ok(out:find("needs host version 6.0", 1, true), "message: " .. out)
end)

T.case("at 6.0 the library works", function()
  local out, ok = run("6.0", 'require_plugin("zip"); io.write(zip.GetObjectType() > 0 and "yes" or "no")')
  T.eq(ok, true, "exit status: " .. out)
  T.eq(out, "yes", "output")
end)

T.case("host 6.1 hands over ISO-8859-1 strings", function()
  local out, ok = run("6.1", cp437Probe:format(T.path("v61.zip"), "\xe4"))
  T.eq(ok, true, "exit status: " .. out)
  T.eq(out, "\xc3\xa4/", "name read back")
end)

T.case("host 6.2 hands over UTF-8 strings", function()
  local out, ok = run("6.2", cp437Probe:format(T.path("v62.zip"), "\xc3\xa4"))
  T.eq(ok, true, "exit status: " .. out)
  T.eq(out, "\xc3\xa4/", "name read back")
end)

T.case("host 6.2 reports its switch to ISO-8859-1", function()
  local code = cp437Probe:format(T.path("v62l.zip"), "\xe4"):gsub('require_plugin%("zip"%)', '%0; host.setutf8(false)')
  local out, ok = run("6.2", code)
  T.eq(ok, true, "exit status: " .. out)
  T.eq(out, "\xc3\xa4/", "name read back")
end)

T.finish()
