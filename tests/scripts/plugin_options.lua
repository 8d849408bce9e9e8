-- Module options: only "installadapter" (in any case) is known; an unknown
-- key fails naming it, before anything is activated.
local T = require("testlib")

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

T.case("no options activate nothing", function()
  require_plugin("zip")
  T.eq(adapterActive(), false, "adapter")
end)

T.case("installadapter = 0 in any case activates nothing", function()
  require_plugin("zip", {InstallAdapter = 0})
  require_plugin("zip", {INSTALLADAPTER = false})
  T.eq(adapterActive(), false, "adapter")
  T.eq(host.lasterror(), 0, "no error")
end)

T.case("an unknown key fails naming it", function()
  T.err(function() require_plugin("zip", {colour = 1}) end, "Unknown option colour!")
  T.eq(host.lasterror(), 1222, "error number")
end)

T.case("an unknown key next to installadapter activates nothing", function()
  T.err(function() require_plugin("zip", {installadapter = 1, bogus = true}) end, "Unknown option bogus!")
  T.eq(adapterActive(), false, "adapter")
end)

T.case("a fractional value is truncated toward zero", function()
  require_plugin("zip", {installadapter = 0.9})
  T.eq(adapterActive(), false, "adapter")
end)

T.case("installadapter in mixed case installs the adapter", function()
  require_plugin("zip", {InstallAdapter = 1})
  T.eq(adapterActive(), true, "adapter")
end)

T.finish()
