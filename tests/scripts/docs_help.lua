-- The help document that the information record names covers every command
-- and constant of the plug-in's tables, and cmake --install puts it where a
-- host looks for it: beside the plug-in, under the record's relative path.
local T = require("testlib")

require_plugin("zip")

-- The repository root, from this script's own location (tests/scripts/).
local here = debug.getinfo(1, "S").source:match("^@(.*)/[^/]*$") or "."
local root = here .. "/../.."
local info = host.plugininfo("zip")
local page = T.readfile(root .. "/docs/" .. info.helpfile)

-- The names of t's entries (only numbers matching pattern, if given), sorted.
local function names(t, pattern)
  local list = {}
  for name, value in pairs(t) do
    if not pattern or (type(value) == "number" and name:match(pattern)) then list[#list + 1] = name end
  end
  table.sort(list)
  return list
end

T.case("every command, constant, error text and option is in the page", function()
  T.ok(page ~= nil, "docs/" .. info.helpfile .. " readable")
  local text = page:gsub("&lt;", "<"):gsub("&gt;", ">"):gsub("&quot;", '"'):gsub("&amp;", "&")
  T.eq(#names(zip), 17, "commands")
  for _, name in ipairs(names(zip)) do
    local help = host.help("zip." .. name)
    T.ok(page:find('id="' .. name .. '"', 1, true) and help and text:find(help, 1, true), name .. ": section, help text")
  end
  for _, command in ipairs({function() zip.OpenArchive(1, T.path("none.zip")) end, function() zip.CloseArchive(9) end}) do
    local message = select(2, pcall(command))
    T.ok(text:find(string.format('"%s" (%d)', message:gsub(T.path("none.zip"):gsub("%p", "%%%0"), "%%s"), host.lasterror()), 1, true), message)
  end
  T.eq(zip.GetObjectType() and host.lasterror(), 2001, "host.lasterror() is not cleared")
  T.ok(host.help("zip.NoSuchCommand") == nil and host.help("nothing") == nil, "no help for an unknown command")
  T.eq(#names(_G, "^ZIP"), 28, "constants")
  for _, name in ipairs(names(_G, "^ZIP")) do
    local row = string.format("<td><code>%s</code></td><td>%d</td>", name, _G[name])
    T.ok(page:find(row, 1, true), row)
  end
  for _, word in ipairs({"Error opening zip archive %s!", "Cannot find specified zip archive!",
                         "A zip error has occurred!", "Zip archive is in use!", "Out of memory!",
                         "Could not write all data!", "Cannot open file %s!", "Cannot open file %s for writing!",
                         "Invalid value!", "Attribute not supported!", "Unknown option %s!", "<code>password</code>",
                         "<code>encryption</code>", "installadapter", "01-Jan-1978 12:00:00", "DD-Mon-YYYY HH:MM:SS"}) do
    T.ok(text:find(word, 1, true), word)
  end
end)

local reference = T.readfile(root .. "/docs/orhost/index.html")

T.case("orhost's reference has a section for every host function and handle method", function()
  local names = {"require_plugin"}
  for name in pairs(host) do names[#names + 1] = "host." .. name end
  for prefix, type in pairs({f = "host file", d = "host directory"}) do
    for name in pairs(debug.getregistry()[type].__index) do names[#names + 1] = prefix .. ":" .. name end
  end
  table.sort(names)
  T.ok(#names > 30, "functions and methods found")
  for _, name in ipairs(names) do T.ok(reference:find('id="' .. name .. '"', 1, true), name .. " has a section") end
end)

T.case("cmake --install puts orhost, the plug-in and its help in a host's layout", function()
  local orhost = os.getenv("ORHOST")
  if not orhost then return end  -- run by hand, outside the build
  local build = orhost:match("^(.*)/[^/]*$")
  local prefix = T.path("prefix")
  for _, page in ipairs({info.helpfile, "orhost/index.html", "orvanel.css"}) do
    T.eq(T.readfile(build .. "/plugins/" .. page), T.readfile(root .. "/docs/" .. page), page .. " in the build's plug-in folder")
  end
  T.run(string.format("cmake --install '%s' --prefix '%s'", build, prefix))
  local plugin = T.sh(string.format("find '%s' -name zip.orp", prefix)):match("[^\n]+")
  T.ok(plugin ~= nil, "zip.orp installed")
  local plugindir = plugin:match("^(.*)/[^/]*$")
  T.eq(plugindir:sub(-#"/orvanel/plugins"), "/orvanel/plugins", "plug-in folder")
  T.eq(T.readfile(plugindir .. "/" .. info.helpfile), page, "installed help beside the plug-in")
  T.eq(T.readfile(plugindir .. "/orhost/index.html"), reference, "orhost's reference beside the plug-in help")
  local run = string.format("env -u ORHOST_PLUGIN_DIR '%s/bin/orhost' -e 'require_plugin(\"zip\"); io.write(host.plugininfo(\"zip\").name)'", prefix)
  T.eq(T.run(run), "zip", "installed orhost loads the installed plug-in")
  -- Without its own plug-in it must not fall back on the build's.
  os.remove(plugin)
  T.ok(not select(2, T.sh(run)), "installed orhost looks beside itself, not in the build tree")
end)

T.finish()
