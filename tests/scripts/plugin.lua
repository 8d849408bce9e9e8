-- Registering with hosts of different versions, module options, and the
-- host's text services as the module meets them: from 6.2 on host strings
-- are UTF-8 and the host reports text-mode changes; only "installadapter"
-- (in any case) is an option.
local T = require("testlib")

-- Runs code in a fresh orhost with the given options; returns output, success.
local function run(options, code)
  local script = T.path("probe.lua")
  T.writefile(script, code)
  return T.sh(string.format("'%s' %s '%s'", T.orhost, options, script))
end

-- Adds a directory whose name is given in the host's text mode, stored in
-- code page 437, and prints the name libzip reads back (as UTF-8).
local probe = [[
require_plugin("zip")
%s
local id = zip.OpenArchive(nil, "%s", 1006)
zip.AddDirectory(id, "%s", {encoding = ZIP_FL_ENC_CP437})
io.write(zip.GetFileAtIndex(id, 0))
zip.CloseArchive(id, 1)
assert(host.memory().blocks == 0)
]]

T.case("host versions and text modes", function()
  local cases = {  -- orhost options, code first, name given, name read back
    {"--host-version 6.0", "", "a", "a/"},
    {"--host-version 6.1", "", "\xe4", "\xc3\xa4/"},
    {"--host-version 6.2", "", "\xc3\xa4", "\xc3\xa4/"},
    {"--host-version 6.2", "host.setutf8(false)", "\xe4", "\xc3\xa4/"},
    {"--latin1", "", "caf\xe9", "caf\xc3\xa9/"},
    {"", "", "a\xff\xc3", "a??/"},  -- an invalid byte and a truncated sequence at the end
    {"", "", "b\xc0\xafc", "b??c/"},  -- overlong form
    {"", "", "\xed\xa0\x80z", "???z/"},  -- surrogate
    {"", "", "d\xf0\x9f\x98\x80e", "d?e/"},  -- beyond Latin-1, counted once
  }
  for _, c in ipairs(cases) do
    local out = run(c[1], probe:format(c[2], T.path("v.zip"), c[3]))
    T.eq(out, c[4], c[1] .. " " .. c[2] .. " " .. c[3])
  end
end)

require_plugin("zip")
local data = T.path("data.zip")
T.pyzip(data, {{"inside.txt", "served from the archive"}})

-- Is the file adapter serving paths inside archives?
local function adapterActive()
  local f = host.open(data .. "/inside.txt")
  if not f then return false end
  local served = f:servedby()
  f:close()
  return served == "Zip"
end

T.case("the library table and information; options: installadapter in any case, unknown keys fail naming them", function()
  T.eq(require_plugin("zip"), zip, "the same library table again")
  local info = host.plugininfo("zip")
  T.ok(info.name == "zip" and info.hostversion == 6 and info.capabilityoptions == 0x4000, "plug-in info")
  T.eq(host.plugininfo("nothing"), nil, "info of a plug-in not loaded")
  T.eq(math.type(ZIP_EM_AES_256), "integer", "integral constants are integers")
  local cases = {  -- options, error, adapter active after it
    {nil, nil, false}, {{InstallAdapter = 0}, nil, false}, {{INSTALLADAPTER = false}, nil, false},
    {{installadapter = 0.9}, nil, false}, {{colour = 1}, "Unknown option colour!", false},
    {{installadapter = 1, bogus = true}, "Unknown option bogus!", false}, {{InstallAdapter = 1}, nil, true},
  }
  for i, c in ipairs(cases) do
    if c[2] then
      T.err(function() require_plugin("zip", c[1]) end, c[2])
      T.eq(host.lasterror(), 1222, "error number")
    else
      require_plugin("zip", c[1])
    end
    T.eq(adapterActive(), c[3], "adapter after case " .. i)
  end
end)

T.finish()
