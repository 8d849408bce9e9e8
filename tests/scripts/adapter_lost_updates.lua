-- Every change made through the adapter lands, or the call that would lose
-- it fails: writing handles apply their entry to the archive as it stands
-- when they close.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

T.case("writers and object operations in any order: every change lands", function()
  local cases = {  -- entries before, steps in order, result
    {nil, {"open a", "open b", "close a", "close b"}, "a=A,b=B"},
    {nil, {"open a", "open b", "close b", "close a"}, "b=B,a=A"},
    {{{"old", "O"}, {"gone", "G"}}, {"open new", "rename old", "delete gone", "mkdir dir", "close new"},
     "renamed=O,dir/=,new=N"},
    {nil, {"open new", "close new", "rename new"}, "renamed=N"},
  }
  for i, c in ipairs(cases) do
    local p, handles = T.path("order" .. i .. ".zip"), {}
    if c[1] then T.pyzip(p, c[1]) end
    for _, step in ipairs(c[2]) do
      local op, name = step:match("(%S+) (%S+)")
      if op == "open" then
        handles[name] = assert(host.open(p .. "/" .. name, "w"))
        handles[name]:write(name:sub(1, 1):upper())
      elseif op == "close" then T.eq(handles[name]:close(), true, step)
      elseif op == "rename" then T.eq(host.rename(p .. "/" .. name, "renamed"), true, step)
      elseif op == "delete" then T.eq(host.delete(p .. "/" .. name), true, step)
      else T.eq(host.mkdir(p .. "/" .. name), true, step) end
    end
    T.eq(T.contents(p), c[3], "case " .. i)
  end
end)

T.case("a read-write handle fails over an entry changed, deleted or made since it opened", function()
  local cases = {  -- entries before, the change meanwhile, result
    {{{"x", "v1"}}, function(p) return host.writefile(p .. "/x", "v2") end, "x=v2"},
    {{{"x", "v1"}, {"y", "y"}}, function(p) return host.delete(p .. "/x") end, "y=y"},
    {nil, function(p) return host.writefile(p .. "/x", "theirs") end, "x=theirs"},
  }
  for i, c in ipairs(cases) do
    local p = T.path("stale" .. i .. ".zip")
    if c[1] then T.pyzip(p, c[1]) end
    local rw = assert(host.open(p .. "/x", "rw"))
    rw:seek("end", 0)
    rw:write("+rw")
    T.eq(c[2](p), true, "the change")
    T.eq(rw:close(), false, "case " .. i)
    T.eq(T.contents(p), c[3], "case " .. i)
  end
  local p = T.path("seq.zip")
  T.pyzip(p, {{"x", "1"}})
  for i = 2, 4 do
    local rw = assert(host.open(p .. "/x", "rw"))
    rw:seek("end", 0)
    rw:write(tostring(i))
    T.eq(rw:close(), true)
  end
  T.eq(T.contents(p), "x=1234", "read-write handles in sequence all land")
end)

-- A script archive's close never writes over a file that changed since the
-- archive was opened: it fails and keeps its changes pending.
local added = T.path("added.txt")
T.writefile(added, "mine")
for _, c in ipairs({
  {"an adapter write since the open", "old=O,adapter.txt=A", function(p)
    T.eq(host.writefile(p .. "/adapter.txt", "A"), true)
  end},
  {"another script archive's close since the open", "old=O,theirs=mine", function(p)
    zip.OpenArchive(2, p, 1004)
    zip.AddFile(2, added, {newname = "theirs"})
    zip.CloseArchive(2)
  end},
  {"the same bytes written again in place", "old=O", function(p) T.writefile(p, T.readfile(p)) end},
  {"a file made where there was none", "adapter.txt=A", function(p)
    T.eq(host.writefile(p .. "/adapter.txt", "A"), true)
  end, function(p) os.remove(p) end},
}) do
  local name, want, change, setup = c[1], c[2], c[3], c[4]
  T.case("a close after " .. name .. " fails and keeps its changes", function()
    local p = T.path("changed.zip")
    T.pyzip(p, {{"old", "O"}})
    if setup then setup(p) end
    zip.OpenArchive(1, p, 1004)
    zip.AddFile(1, added, {newname = "mine"})
    change(p)
    T.err(function() zip.CloseArchive(1) end, "A zip error has occurred!")
    T.ok(zip.LocateFile(1, "mine") >= 0, "the change is still pending")
    zip.CloseArchive(1, 1)
    T.eq(T.contents(p), want)
  end)
end

T.case("an adapter write to the archive a close is writing is refused at once", function()
  local p = T.path("busy.zip")
  T.pyzip(p, {{"old", "O"}})
  zip.OpenArchive(1, p, 1004)
  zip.AddFile(1, added, {newname = "mine"})
  local written
  local started = os.time()
  zip.CloseArchive(1, 0, function() if written == nil then written = host.writefile(p .. "/cb", "x") end end)
  T.eq(written, false)
  T.ok(os.time() - started < 3, "refused without waiting")
  T.eq(T.contents(p), "old=O,mine=mine")
end)

T.case("two processes writing one archive: every write that succeeds lands", function()
  local p = T.path("shared.zip")
  local child = T.path("writer.lua")
  T.writefile(child, string.format([[
require_plugin("zip", {installadapter = true})
for i = 1, 60 do
  local name = string.format("%%s%%02d", arg[1], i)
  if host.writefile(%q .. "/" .. name, name) then print(name) end
end]], p))
  local run = string.format("'%s' '%s'", T.orhost, child)
  local out = T.sh(string.format("%s a & %s b & wait", run, run))
  local written = {}
  for name in out:gmatch("%S+") do written[#written + 1] = name .. "=" .. name end
  T.ok(#written > 60, "most writes succeed: " .. #written)
  local landed = {}
  for entry in T.contents(p):gmatch("[^,]+") do landed[entry] = true end
  for _, entry in ipairs(written) do T.ok(landed[entry], "landed: " .. entry) end
end)

T.finish()
