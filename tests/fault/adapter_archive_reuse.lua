-- The sweep over reads through a kept archive: the first read opens and
-- keeps it, later ones use it and its indexes; each run starts with none.
local S = require("sweep")
local T = S.T
require_plugin("zip", {installadapter = true})

local arc = T.path("kept.zip")
T.pyzip(arc, {{"a.txt", "alpha"}, {"Sub/b.txt", "beta"}, {"Sub/c.txt", "gamma"}, {"top.txt", "top"}})
-- Dated back a minute: only a settled archive is kept.
os.execute("touch -d '-1 minute' '" .. arc .. "'")

local function freshLibrary()
  host.freelibrary("zip")
  require_plugin("zip", {installadapter = true})
end

S.scenario{
  name = "reads and a scan through a kept archive",
  archives = {arc},
  setup = freshLibrary,
  errors = {"open failed", "read failed", "opendir failed"},
  run = function()
    local out = {}
    for _, name in ipairs({"A.TXT", "sub/B.txt", "top.txt", "a.txt"}) do
      local f <close> = S.must(host.open(arc .. "/" .. name), "open")
      out[#out + 1] = S.read(f, 100, "read")
      f:close()
    end
    local d <close> = S.must(host.opendir(arc .. "/Sub"), "opendir")
    for e in d.next, d do out[#out + 1] = e.name end
    d:close()
    return out
  end,
}

S.finish()
