-- orhost as a program: exit statuses, usage errors, -e, script arguments,
-- host versions, the plug-in folder, the open-file limit, and help.
local T = require("testlib")

local pluginDir
for i = -1, -10, -1 do
  if arg[i] == "--plugin-dir" then pluginDir = arg[i + 1] end
end

-- Runs orhost with the given argument text; returns output and status.
local function run(args)
  local p = io.popen(string.format("'%s' %s 2>&1", T.orhost, args))
  local out = p:read("a")
  local _, _, status = p:close()
  return out, status
end

local function script(name, code)
  local path = T.path(name)
  T.writefile(path, code)
  return "'" .. path .. "'"
end

T.case("command lines: status and output", function()
  local cases = {  -- arguments, exit status, output (a plain substring; "=" prefix: all of it)
    {script("args.lua", 'io.write(arg[1], "|", arg[2], "|", select("#", ...))') .. " one two", 0, "=one|two|2"},
    {script("fail.lua", 'local x = 1\nerror("broken")\n'), 1, "fail.lua:2: broken\nstack traceback:"},
    {script("plugerr.lua", 'require_plugin("zip")\n\nzip.GetFileAtIndex(42, 0)\n'), 1,
     "plugerr.lua:3: Cannot find specified zip archive!\n"},
    {"-e 'io.write(select(\"#\", ...), ...)' a b", 0, "=2ab"},
    {"-e 'error(1)'", 1, ""},
    {"'" .. T.path("nothing.lua") .. "'", 1, "cannot open"},
    {"--host-version 5.0 -e 'local ok, msg = pcall(require_plugin, \"zip\") io.write(tostring(ok), \"|\", msg, \"|\", host.memory().blocks)'",
     0, "=false|Plug-in zip needs host version 6.0!|0"},
    {"--plugin-dir '" .. T.path("empty") .. "' -e 'io.write(select(2, pcall(require_plugin, \"zip\")))'", 0, "Cannot load plug-in zip:"},
    {"--latin1 -e 'io.write(tostring(host.setutf8(true)))'", 0, "=true"},  -- a 10.0 host can switch back
    {"--host-version 6.1 -e 'io.write(tostring(host.setutf8(true)))'", 0, "=false"},  -- no UTF-8 strings
    {"--help", 0, "--plugin-dir DIR"}, {"--help", 0, "ORHOST_PLUGIN_DIR"}, {"--help", 0, "--host-version V.R"},
    {"--help", 0, "--latin1"}, {"--help", 0, "-e CODE"}, {"--help", 0, "Exit status"}, {"--help", 0, "docs/orhost/index.html"},
    {"--help", 0, "/orvanel/plugins/orhost/index.html\nwhen installed"},
  }
  for _, usage in ipairs({"", "--frobnicate x.lua", "--host-version x.lua", "--host-version 7 x.lua", "--plugin-dir", "-e"}) do
    cases[#cases + 1] = {usage, 2, "usage: orhost"}
  end
  for _, c in ipairs(cases) do
    local out, status = run(c[1])
    T.eq(status, c[2], "status of " .. c[1])
    if c[3]:sub(1, 1) == "=" then T.eq(out, c[3]:sub(2), c[1]) else T.ok(out:find(c[3], 1, true), c[1] .. ": " .. out) end
  end
  if pluginDir then
    local viaEnv = T.sh(string.format("ORHOST_PLUGIN_DIR='%s' '%s' -e 'io.write(tostring(pcall(require_plugin, \"zip\")))'", pluginDir, T.orhost))
    T.eq(viaEnv, "true", "the plug-in folder from the environment")
  end
end)

T.case("under a soft limit of 1,024 open files an archive takes 1,100 added files", function()
  local hard = tonumber((T.sh("ulimit -Hn")))
  if hard and hard < 1200 then return end  -- the system allows no more
  local dir = T.path("many")
  os.execute("mkdir -p '" .. dir .. "' && cd '" .. dir .. "' && for i in $(seq 1100); do echo $i > f$i; done")
  local code = string.format([[require_plugin("zip") zip.OpenArchive(1, "%s/many.zip", 1006)
    for i = 1, 1100 do zip.AddFile(1, "%s/f" .. i) end zip.CloseArchive(1) io.write("closed")]], dir, dir)
  local out = T.sh(string.format("ulimit -Sn 1024 && '%s' -e '%s'", T.orhost, code))
  T.eq(out, "closed", "output")
  T.eq(T.sh("unzip -Z1 '" .. dir .. "/many.zip' | wc -l"), "1100\n", "entries")
end)

T.finish()
