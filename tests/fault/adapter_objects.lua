-- The sweep over the adapter's object operations: MakeDir (also making the
-- archive), RenameFSObj, MoveFSObj, SetFSObjAttributes, DeleteFSObj and a
-- deletion deferred by a scan; each change is written at once.
local S = require("sweep")
local T = S.T
require_plugin("zip", {installadapter = true})

local arc = T.path("arc.zip")
local other = T.path("other.zip")
T.pyzip(arc, {{"a.txt", "alpha"}, {"docs/b.txt", "bravo"}, {"docs/c.txt", "charlie"}, {"e.txt", "echo"},
  {"f.txt", "foxtrot"}, {"g/", ""}})
local pristine = T.readfile(arc)

local function restore()
  T.writefile(arc, pristine)
  os.remove(other)
end

-- Runs a change that must succeed, and marks what it wrote.
local function change(done, what)
  S.must(done, what)
  S.checkpoint()
end

S.scenario{
  name = "MakeDir, RenameFSObj, MoveFSObj, SetFSObjAttributes, DeleteFSObj",
  archives = {arc, other},
  setup = restore,
  errors = {"mkdir failed", "rename failed", "move failed", "setattributes failed", "delete failed", "opendir failed"},
  run = function()
    change(host.mkdir(arc .. "/newdir"), "mkdir")
    change(host.mkdir(other .. "/made"), "mkdir")
    change(host.rename(arc .. "/a.txt", "a2.txt"), "rename")
    change(host.rename(arc .. "/docs", "texts"), "rename")
    change(host.move(arc .. "/texts/b.txt", arc .. "/moved/b.txt"), "move")
    local moved, code = host.move(arc .. "/e.txt", other .. "/e.txt")
    change(host.setattributes(arc .. "/a2.txt", {time = "01-Jan-1999 12:00:00", comment = "note"}), "setattributes")
    change(host.delete(arc .. "/g"), "delete")
    local d <close> = S.must(host.opendir(arc), "opendir")
    S.must(host.delete(arc .. "/f.txt"), "delete")
    local listed = 0
    for _ in d.next, d do listed = listed + 1 end
    d:close()
    S.checkpoint()
    return {moved, code, listed}
  end,
}

S.finish()
