-- orhost as a program: exit statuses, usage errors, -e, script arguments,
-- host versions and the plug-in folder.
local T = require("testlib")

local orhost = os.getenv("ORHOST") or "orhost"
local pluginDir
for i = -1, -10, -1 do
  if arg[i] == "--plugin-dir" then pluginDir = arg[i + 1] end
end

-- Runs orhost with the given argument text; returns output, success, status.
local function run(args)
  local p = io.popen(string.format("'%s' %s 2>&1", orhost, args))
  local out = p:read("a")
  local _, _, status = p:close()
  return out, status == 0, status
end

local function script(name, code)
  local path = T.path(name)
  T.writefile(path, code)
  return path
end

T.case("a script that ends normally exits 0 and sees its arguments", function()
  local path = script("args.lua", 'io.write(arg[0], "|", arg[1], "|", arg[2], "|", select("#", ...))')
  local out, ok = run("'" .. path .. "' one two")
  T.eq(ok, true, "status")
  T.eq(out, path .. "|one|two|2", "output")
end)

T.case("an uncaught error exits 1 with the script's position and a traceback", function()
  local path = script("fail.lua", 'local x = 1\nerror("broken")\n')
  local out, ok, status = run("'" .. path .. "'")
  T.eq(ok, false, "success")
  T.eq(status, 1, "status")
  T.ok(out:find("fail.lua:2: broken\nstack traceback:", 1, true), "message: " .. out)
end)

T.case("a plug-in's error gets the script's position when uncaught", function()
  local path = script("plugerr.lua", 'require_plugin("zip")\n\nzip.GetFileAtIndex(42, 0)\n')
  local out, _, status = run("'" .. path .. "'")
  T.eq(status, 1, "status")
  T.ok(out:find("plugerr.lua:3: Cannot find specified zip archive!\n", 1, true), "message: " .. out)
end)

T.case("usage errors exit 2", function()
  for _, args in ipairs({"", "--frobnicate x.lua", "--host-version x.lua", "--host-version 7 x.lua", "--plugin-dir", "-e"}) do
    local out, _, status = run(args)
    T.eq(status, 2, "status for '" .. args .. "'")
    T.ok(out:find("usage: orhost", 1, true), "usage text for '" .. args .. "'")
  end
end)

T.case("--help explains every option and exits 0", function()
  local out, ok = run("--help")
  T.eq(ok, true, "status")
  for _, word in ipairs({"--plugin-dir DIR", "ORHOST_PLUGIN_DIR", "--host-version V.R", "--latin1", "-e CODE",
                         "--help", "Exit status", "docs/orhost/index.html"}) do
    T.ok(out:find(word, 1, true), word)
  end
end)

T.case("-e runs code with the arguments after it", function()
  local out, ok = run("-e 'io.write(select(\"#\", ...), ...)' a b")
  T.eq(ok, true, "status")
  T.eq(out, "2ab", "output")
  local _, _, status = run("-e 'error(1)'")
  T.eq(status, 1, "error status")
end)

T.case("a missing script exits 1", function()
  local out, _, status = run("'" .. T.path("nothing.lua") .. "'")
  T.eq(status, 1, "status")
  T.ok(out:find("cannot open", 1, true), out)
end)

T.case("--host-version 5.0 makes require_plugin fail cleanly", function()
  local out, ok = run("--host-version 5.0 -e 'local ok, msg = pcall(require_plugin, \"zip\") io.write(tostring(ok), \"|\", msg, \"|\", host.memory().blocks)'")
  T.eq(ok, true, "status")
  T.eq(out, "false|Plug-in zip needs host version 6.0!|0", "output")
end)

T.case("the plug-in folder comes from --plugin-dir, else ORHOST_PLUGIN_DIR", function()
  local code = "-e 'io.write(tostring(pcall(require_plugin, \"zip\")))'"
  local out = run("--plugin-dir '" .. T.path("empty") .. "' " .. code)
  T.eq(out, "false", "missing folder")
  local msg = run("--plugin-dir '" .. T.path("empty") .. "' -e 'io.write(select(2, pcall(require_plugin, \"zip\")))'")
  T.ok(msg:find("^Cannot load plug%-in zip:"), msg)
  if pluginDir then
    local viaEnv = io.popen(string.format("ORHOST_PLUGIN_DIR='%s' '%s' %s 2>&1", pluginDir, orhost, code)):read("a")
    T.eq(viaEnv, "true", "from the environment")
  end
end)

T.case("--latin1 starts in ISO-8859-1 mode, ignored below 6.2", function()
  local probe = "-e 'io.write(tostring(host.setutf8(true)))'"
  T.eq(run("--latin1 " .. probe), "true", "a 10.0 host can switch back")
  T.eq(run("--host-version 6.1 " .. probe), "false", "6.1 has no UTF-8 strings")
end)

T.case("under a soft limit of 1,024 open files an archive takes 1,100 added files", function()
  local hard = tonumber((T.sh("ulimit -Hn")))
  if hard and hard < 1200 then return end  -- the system allows no more
  local dir = T.path("many")
  os.execute("mkdir -p '" .. dir .. "' && cd '" .. dir .. "' && for i in $(seq 1100); do echo $i > f$i; done")
  local code = string.format([[require_plugin("zip") zip.OpenArchive(1, "%s/many.zip", 1006)
    for i = 1, 1100 do zip.AddFile(1, "%s/f" .. i) end zip.CloseArchive(1) io.write("closed")]], dir, dir)
  local out = T.sh(string.format("ulimit -Sn 1024 && '%s' -e '%s'", orhost, code))
  T.eq(out, "closed", "output")
  T.eq(T.sh("unzip -Z1 '" .. dir .. "/many.zip' | wc -l"), "1100\n", "entries")
end)

T.case("help, plug-in info and constants after require_plugin", function()
  local lib = require_plugin("zip")
  T.eq(lib, zip, "library table")
  T.eq(require_plugin("zip"), zip, "second require returns the same table")
  T.eq(host.help("zip.AddFile"), "idx=zip.AddFile(id,f$[,table]) -- add file to zip archive", "help")
  T.eq(host.help("zip.NoSuchCommand"), nil, "help of an unknown command")
  T.eq(host.help("nothing"), nil, "help without a library name")
  local info = host.plugininfo("zip")
  T.eq(info.name, "zip", "name")
  T.eq(info.hostversion, 6, "required host version")
  T.eq(info.capabilityoptions, 0x4000, "capability options set by the plug-in")
  T.eq(host.plugininfo("nothing"), nil, "info of a plug-in not loaded")
  T.eq(ZIP_CM_DEFLATE, 8, "constant")
  T.eq(math.type(ZIP_EM_AES_256), "integer", "integral constants are integers")
end)

T.finish()
