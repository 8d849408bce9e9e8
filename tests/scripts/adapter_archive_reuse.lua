-- Read-only archives kept open between adapter handles: a settled archive
-- is opened once for many reads, and no read ever sees an older version of
-- the file, whoever rewrote it (the adapter, a script, another program) and
-- however little the rewrite changed its size and times.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local dir = T.path("reuse")
os.execute("rm -rf '" .. dir .. "' && mkdir -p '" .. dir .. "'")

-- Sets the file's access and modification times to whole second `second`
-- plus nanoseconds, one minute in the past: the file has settled.
local function settle(path, nanoseconds)
  T.run(string.format(
    T.python .. " -c 'import os,sys,time; t=(int(time.time())-60)*10**9+%d; os.utime(sys.argv[1], ns=(t,t))' '%s'",
    nanoseconds or 100000000, path))
end

-- Rewrites the stored entry data old as new in the archive at path, its
-- CRC too: in place keeping size and times ("restore"), in place half a
-- second later within the same second ("later"), or by a new file of the
-- same size and times put in its place ("replace").
local function rewrite(path, old, new, how)
  local script = T.path(".reuse.py")
  T.writefile(script, string.format([[
import os, sys, zlib, struct
path, how = sys.argv[1], %q
st = os.stat(path)
data = open(path, 'rb').read().replace(b'%s', b'%s')
data = data.replace(struct.pack('<I', zlib.crc32(b'%s')), struct.pack('<I', zlib.crc32(b'%s')))
with open(path + '.new' if how == 'replace' else path, 'wb' if how == 'replace' else 'r+b') as f:
    f.write(data)
t = st.st_mtime_ns + (500000000 if how == 'later' else 0)
os.utime(path + '.new' if how == 'replace' else path, ns=(st.st_atime_ns, t))
if how == 'replace': os.replace(path + '.new', path)
]], how, old, new, old, new))
  T.run(T.python .. " '" .. script .. "' '" .. path .. "'")
end

-- Host file opens made by fn.
local function opens(fn)
  local before = host.faultcounts().open
  fn()
  return host.faultcounts().open - before
end

local function read(arc, name) return host.readfile(arc .. "/" .. name) end

local function archive(name, entries)
  local path = dir .. "/" .. name
  T.pyzip(path, entries)
  return path
end

T.case("a settled archive is opened once for many files, a handle and a scan sharing it", function()
  local entries = {}
  for i = 1, 40 do entries[i] = {string.format("f%02d.txt", i), "file " .. i} end
  local arc = archive("many.zip", entries)
  settle(arc)
  T.eq(opens(function() T.eq(read(arc, "f01.txt"), "file 1") end), 1, "first read")
  local f = assert(host.open(arc .. "/f01.txt"))
  T.eq(opens(function()
    for i = 2, 40 do T.eq(read(arc, string.format("F%02d.TXT", i)), "file " .. i) end
    T.eq(#host.listdir(arc), 40, "a scan meanwhile")
  end), 0, "later reads open nothing")
  T.eq(f:read(10), "file 1", "the handle open meanwhile")
  f:close()
end)

T.case("an archive written moments ago is not kept", function()
  -- Its file system may stamp a further change within the same tick.
  local arc = archive("fresh.zip", {{"a", "A"}})
  T.eq(opens(function() read(arc, "a") read(arc, "a") end), 2)
end)

T.case("rewrites by the adapter, a deferred deletion, zip.CloseArchive and zip(1), and a removal are seen", function()
  local extra = dir .. "/extra.txt"
  T.writefile(extra, "EXTRA")
  -- each rewrites the settled archive arc (entries a and b) and returns
  -- what reads of a, b and the new entry c must give afterwards
  local rewrites = {
    {"the adapter", function(arc)
      T.ok(host.writefile(arc .. "/a", "new") and host.rename(arc .. "/b", "c"), "rewritten")
      return "new", nil, "B"
    end},
    {"a deferred deletion", function(arc)
      local d = assert(host.opendir(arc))
      T.ok(host.delete(arc .. "/a"), "deleted")
      T.eq(read(arc, "a"), "A", "the scan still holds the old view")
      d:close()
      return nil, "B", nil
    end},
    {"zip.CloseArchive", function(arc)
      zip.OpenArchive(1, arc, 1004)
      T.eq(read(arc, "c"), nil, "read while the script holds the archive open for writing")
      zip.AddFile(1, extra, {newname = "c"})
      zip.CloseArchive(1)
      return "A", "B", "EXTRA"
    end},
    {"zip(1)", function(arc)
      T.run("cd '" .. dir .. "' && cp extra.txt c && zip -q '" .. arc .. "' c")
      return "A", "B", "EXTRA"
    end},
    {"a removal", function(arc) os.remove(arc) end},
  }
  for i, r in ipairs(rewrites) do
    local arc = archive("rewrite" .. i .. ".zip", {{"a", "A"}, {"b", "B"}})
    settle(arc)
    T.eq(read(arc, "a"), "A", r[1] .. ": before")
    local a, b, c = r[2](arc)
    T.eq(read(arc, "a"), a, r[1] .. ": a")
    T.eq(read(arc, "b"), b, r[1] .. ": b")
    T.eq(read(arc, "c"), c, r[1] .. ": c")
  end
end)

T.case("in-place rewrites that keep size and times, and a replacement of that size and time, are seen", function()
  local arc = archive("samesize.zip", {{"a", "AAAA", method = "stored"}})
  for _, step in ipairs({{"AAAA", "BBBB", "later"}, {"BBBB", "CCCC", "restore"}, {"CCCC", "DDDD", "replace"}}) do
    settle(arc, 100000000)
    T.eq(read(arc, "a"), step[1], "before " .. step[3])
    rewrite(arc, step[1], step[2], step[3])
    T.eq(read(arc, "a"), step[2], "after " .. step[3])
  end
end)

T.case("restart points of a kept archive serve a second handle and never outlive a change", function()
  local function text(seed)
    local t = {}
    for i = 1, 60000 do t[i] = string.format("%09d\n", (i * 7919 + seed) % 1000003) end
    return table.concat(t)  -- 600,000 bytes: deflated, room for one restart point
  end
  local old, new = text(1), text(2)
  local arc = archive("points.zip", {{"d", old}, {"s", old, method = "stored"}})
  local function reads(want, what)
    for _, name in ipairs({"d", "s"}) do
      local f <close> = assert(host.open(arc .. "/" .. name))
      for _, p in ipairs({450000, 10, 250000, 599990, 350000}) do
        f:seek("set", p)
        T.eq(f:read(4096), want:sub(p + 1, p + 4096), what .. ": " .. name .. " at " .. p)
      end
    end
  end
  settle(arc)
  reads(old, "first handle")
  reads(old, "second handle")
  T.pyzip(arc, {{"d", new}, {"s", new, method = "stored"}})
  settle(arc, 200000000)
  reads(new, "after the change")
end)

T.case("lookups take an exact match, else the lowest matching entry ignoring case", function()
  local arc = archive("case.zip", {{"Dir/File.TXT", "first"}, {"dir/file.txt", "second"}, {"DIR/FILE.txt", "third"},
    {"Über/Datei.txt", "umlaut"}, {"zz", "last"}, {"Back\\Slash.txt", "back"}})
  settle(arc)
  T.eq(read(arc, "dir/file.txt"), "second")
  T.eq(read(arc, "DIR/FILE.TXT"), "first")
  T.eq(read(arc, "back/slash.txt"), "back")
  T.eq(read(arc, "Über/datei.TXT"), "umlaut")
  T.eq(read(arc, "ZZ"), "last")
  T.eq(read(arc, "dir/file.tx"), nil)
  T.eq(read(arc, "dir/file.txt2"), nil)
end)

T.case("a bounded number of archives is kept, least recently used first out, all going with the library", function()
  local paths = {}
  for i = 1, 10 do
    paths[i] = archive(string.format("lru%02d.zip", i), {{"a", "A" .. i}})
    settle(paths[i])
  end
  for i = 1, 10 do T.eq(read(paths[i], "a"), "A" .. i) end
  T.eq(opens(function() T.eq(read(paths[10], "a"), "A10") end), 0, "recently used")
  T.eq(opens(function() T.eq(read(paths[1], "a"), "A1") end), 1, "evicted")
  host.freelibrary("zip")
  require_plugin("zip", {installadapter = true})
  T.eq(opens(function() T.eq(read(paths[1], "a"), "A1") end), 1, "dropped with the library")
end)

T.finish()
