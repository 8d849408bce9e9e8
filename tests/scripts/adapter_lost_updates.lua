-- Every change made through the adapter lands, or the call that would lose
-- it fails: writing handles apply their entry to the archive as it stands
-- when they close.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local PYTHON = os.execute("test -x /usr/bin/python3") and "/usr/bin/python3" or "python3"

-- "name=data" of every entry, in order, joined by ",".
local function contents(path)
  local out, ok = T.sh(PYTHON .. [[ -c "
import zipfile, sys
z = zipfile.ZipFile(sys.argv[1])
print(','.join(n + '=' + z.read(n).decode() for n in z.namelist()))" ']] .. path .. "'")
  assert(ok, out)
  return (out:gsub("\n$", ""))
end

local function opened(path, name, data, mode)
  local f = assert(host.open(path .. "/" .. name, mode or "w"))
  f:write(data)
  return f
end

T.case("two writers close in opening order: both entries land", function()
  local p = T.path("two.zip")
  os.remove(p)
  local a, b = opened(p, "a", "A"), opened(p, "b", "B")
  T.eq(a:close(), true)
  T.eq(b:close(), true)
  T.eq(contents(p), "a=A,b=B")
end)

T.case("two writers close in reverse order: both entries land", function()
  local p = T.path("two2.zip")
  os.remove(p)
  local a, b = opened(p, "a", "A"), opened(p, "b", "B")
  T.eq(b:close(), true)
  T.eq(a:close(), true)
  T.eq(contents(p), "b=B,a=A")
end)

T.case("object operations while a writer is open are kept", function()
  local p = T.path("ops.zip")
  os.remove(p)
  T.pyzip(p, {{"old", "O"}, {"gone", "G"}})
  local w = opened(p, "new", "N")
  T.eq(host.rename(p .. "/old", "renamed"), true)
  T.eq(host.delete(p .. "/gone"), true)
  T.eq(host.mkdir(p .. "/dir"), true)
  T.eq(w:close(), true)
  T.eq(contents(p), "renamed=O,dir/=,new=N")
end)

T.case("an object operation after a writer's close sees its entry", function()
  local p = T.path("ops2.zip")
  os.remove(p)
  local w = opened(p, "new", "N")
  T.eq(w:close(), true)
  T.eq(host.rename(p .. "/new", "newer"), true)
  T.eq(contents(p), "newer=N")
end)

T.case("a read-write handle over an entry changed since it opened fails", function()
  local p = T.path("stale.zip")
  os.remove(p)
  T.pyzip(p, {{"x", "v1"}})
  local rw = assert(host.open(p .. "/x", "rw"))
  rw:seek("end", 0)
  rw:write("+rw")
  T.eq(host.writefile(p .. "/x", "v2"), true)
  T.eq(rw:close(), false)
  T.eq(contents(p), "x=v2")
end)

T.case("a read-write handle over an entry deleted since it opened fails", function()
  local p = T.path("stale2.zip")
  os.remove(p)
  T.pyzip(p, {{"x", "v1"}, {"y", "y"}})
  local rw = assert(host.open(p .. "/x", "rw"))
  T.eq(host.delete(p .. "/x"), true)
  T.eq(rw:close(), false)
  T.eq(contents(p), "y=y")
end)

T.case("a read-write handle on a new entry fails when another writer made it first", function()
  local p = T.path("stale3.zip")
  os.remove(p)
  local rw = assert(host.open(p .. "/x", "rw"))
  rw:write("mine")
  T.eq(host.writefile(p .. "/x", "theirs"), true)
  T.eq(rw:close(), false)
  T.eq(contents(p), "x=theirs")
end)

T.case("read-write handles in sequence both land", function()
  local p = T.path("seq.zip")
  os.remove(p)
  T.pyzip(p, {{"x", "1"}})
  for i = 2, 4 do
    local rw = assert(host.open(p .. "/x", "rw"))
    rw:seek("end", 0)
    rw:write(tostring(i))
    T.eq(rw:close(), true)
  end
  T.eq(contents(p), "x=1234")
end)

T.finish()
