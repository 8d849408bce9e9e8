-- Directories and object operations of the host on the real file system.
local T = require("testlib")

-- The names of an array of info tables, sorted.
local function names(list)
  local out = {}
  for _, info in ipairs(list) do out[#out + 1] = info.name end
  table.sort(out)
  return table.concat(out, ",")
end

local function tree()
  local root = T.path("tree")
  os.execute("rm -rf '" .. root .. "'")
  T.ok(host.mkdir(root), "mkdir")
  T.ok(host.mkdir(root .. "/sub"), "mkdir sub")
  T.writefile(root .. "/a.txt", "aaa")
  T.writefile(root .. "/b.txt", "bbbbb")
  return root
end

T.case("listdir returns every entry but . and .. with type and size", function()
  local root = tree()
  local list = assert(host.listdir(root))
  T.eq(names(list), "a.txt,b.txt,sub", "names")
  for _, info in ipairs(list) do
    if info.name == "sub" then T.eq(info.type, "directory", "sub type") end
    if info.name == "b.txt" then
      T.eq(info.type, "file", "file type")
      T.eq(info.size, 5, "file size")
    end
  end
end)

T.case("a scan reads to the end, rewinds and describes its directory", function()
  local root = tree()
  local d = assert(host.opendir(root))
  T.eq(d:servedby(), nil, "served by the host")
  local seen = {}
  for info in function() return d:next() end do seen[#seen + 1] = info end
  T.eq(#seen, 3, "entries")
  T.eq(d:next(), nil, "stays at the end")
  T.eq(d:rewind(), true, "rewind")
  T.ok(d:next() ~= nil, "first entry again")
  local self = d:stat()
  T.eq(self.type, "directory", "stat type")
  T.eq(self.name, root, "stat name")
  d:close()
  T.eq(tostring(d), "host directory (closed)", "tostring")
  T.err(function() d:next() end, "attempt to use a closed directory$", true)
end)

T.case("opening a missing directory gives nil and a message", function()
  local d, msg = host.opendir(T.path("nothing"))
  T.eq(d, nil, "no scan")
  T.eq(msg, T.path("nothing") .. ": No such file or directory", "message")
  T.eq((host.listdir(T.path("nothing"))), nil, "listdir")
end)

T.case("stat describes files and directories, nil for what is missing", function()
  local root = tree()
  local info = host.stat(root .. "/a.txt")
  T.eq(info.type, "file", "type")
  T.eq(info.size, 3, "size")
  T.eq(info.name, root .. "/a.txt", "name")
  T.eq(host.stat(root .. "/sub", {fullname = true}).type, "directory", "directory")
  T.eq(host.stat(root .. "/none"), nil, "missing")
end)

T.case("rename gives a new last component, move a new path", function()
  local root = tree()
  T.eq(host.rename(root .. "/a.txt", "c.txt"), true, "rename")
  T.eq(T.readfile(root .. "/c.txt"), "aaa", "renamed contents")
  T.eq(host.move(root .. "/c.txt", root .. "/sub/d.txt"), true, "move")
  T.eq(T.readfile(root .. "/sub/d.txt"), "aaa", "moved contents")
  T.eq(host.rename(root .. "/none", "x"), false, "rename of a missing file")
  T.eq(host.move(root .. "/none", root .. "/x"), false, "move of a missing file")
end)

T.case("delete removes files and empty directories only", function()
  local root = tree()
  T.eq(host.delete(root .. "/sub"), true, "empty directory")
  T.eq(host.delete(root), false, "directory with files")
  T.eq(host.delete(root .. "/a.txt"), true, "file")
  T.eq(host.stat(root .. "/a.txt"), nil, "gone")
  T.eq(host.mkdir(root .. "/b.txt"), false, "mkdir over a file")
end)

T.case("setattributes sets the modification time; comments need an adapter", function()
  local root = tree()
  T.eq(host.setattributes(root .. "/a.txt", {time = "01-jan-1978 12:00:00"}), true, "time")
  T.eq(host.stat(root .. "/a.txt").time, "01-Jan-1978 12:00:00", "time read back")
  T.eq(host.setattributes(root .. "/a.txt", {comment = "hi"}), false, "comment on the real file system")
  T.eq(host.setattributes(root .. "/none", {time = "01-Jan-1978 12:00:00"}), false, "missing file")
  T.eq(host.setattributes(root .. "/a.txt", {}), true, "nothing to set on a file that is there")
  T.eq(host.setattributes(root .. "/none", {}), false, "nothing to set on a missing file")
  for _, bad in ipairs({"1978-01-01 12:00:00", "01-January-1978 12:00:00", "01-Jan-1978 25:00:00", "01-Jan-1978"}) do
    T.err(function() host.setattributes(root .. "/a.txt", {time = bad}) end, "'time' must be a date", true)
  end
end)

T.finish()
