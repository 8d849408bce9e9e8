-- zip.DeleteFile and zip.RenameFile: pending until the close, refused for
-- taken names and for file/directory slash mismatches, and CP437 on request.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local base = T.path("base.zip")
T.pyzip(base, {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"dir/", ""}, {"dir/c.txt", "ccc"}})

local function count(id) return host.getattribute(zip.GetObjectType(), id or 1, ZIPATTRNUMENTRIES) end

-- A fresh writable copy of the base archive, open under id 1.
local function copy(name)
  local path = T.path(name)
  T.writefile(path, T.readfile(base))
  zip.OpenArchive(1, path, 1004)
  return path
end

local function names(path)
  zip.OpenArchive(2, path)
  local list = {}
  for i = 0, count(2) - 1 do list[#list + 1] = zip.GetFileAtIndex(2, i) end
  zip.CloseArchive(2)
  return table.concat(list, ",")
end

T.case("deleting twice fails the second time; the count drops only on close", function()
  local path = copy("delete.zip")
  zip.DeleteFile(1, 1)
  T.err(function() zip.DeleteFile(1, 1) end, ZIPERR)
  T.err(function() zip.GetFileAtIndex(1, 1) end, ZIPERR)
  T.eq(count(), 4, "deleted entries count until the close")
  T.err(function() zip.DeleteFile(1, 4) end, ZIPERR)
  T.err(function() zip.DeleteFile(1, -1) end, ZIPERR)
  zip.CloseArchive(1)
  T.eq(names(path), "a.txt,dir/,dir/c.txt", "written without b.txt")
end)

T.case("a rename is seen at once and written on close", function()
  local path = copy("rename.zip")
  zip.RenameFile(1, 0, "new/a2.txt")
  T.eq(zip.GetFileAtIndex(1, 0), "new/a2.txt", "pending name")
  T.eq(zip.LocateFile(1, "a.txt"), -1, "old name gone")
  zip.RenameFile(1, 2, "folder/")
  zip.CloseArchive(1)
  T.eq(names(path), "new/a2.txt,b.txt,folder/,dir/c.txt", "written names")
end)

T.case("a taken name and a slash mismatch are refused and change nothing", function()
  local path = copy("refused.zip")
  T.err(function() zip.RenameFile(1, 0, "b.txt") end, ZIPERR)
  T.err(function() zip.RenameFile(1, 0, "a_dir/") end, ZIPERR)
  T.err(function() zip.RenameFile(1, 2, "plain") end, ZIPERR)
  T.err(function() zip.RenameFile(1, 9, "nine.txt") end, ZIPERR)
  zip.DeleteFile(1, 1)
  T.err(function() zip.RenameFile(1, 1, "deleted.txt") end, ZIPERR)
  zip.CloseArchive(1)
  T.eq(names(path), "a.txt,dir/,dir/c.txt", "unchanged but for the deletion")
end)

T.case("encoding 4096 stores the converted name, ? where code page 437 lacks one", function()
  local path = copy("rename437.zip")
  zip.RenameFile(1, 0, "\195\132rger \226\130\172.txt", {encoding = ZIP_FL_ENC_CP437})
  host.setutf8(0)
  local ok, msg = pcall(zip.RenameFile, 1, 1, "\196rger \164b.txt", {encoding = ZIP_FL_ENC_CP437})
  host.setutf8(1)
  T.ok(ok, tostring(msg))
  zip.CloseArchive(1)
  local out = T.sh("python3 -c \"import zipfile,sys; [print(i.filename.encode('cp437').hex()) for i in zipfile.ZipFile(sys.argv[1]).infolist()[:2]]\" '" .. path .. "'")
  T.eq(out, "8e72676572203f2e747874\n8e72676572203f622e747874\n", "same conversion from UTF-8 and Latin-1")
end)

T.case("Latin-1 bytes under the default encoding are refused by libzip", function()
  copy("latin1.zip")
  host.setutf8(0)
  local ok, msg = pcall(zip.RenameFile, 1, 0, "\228.txt")
  host.setutf8(1)
  T.ok(not ok, "refused")
  T.eq(msg, ZIPERR, "error")
  zip.CloseArchive(1, 1)
end)

T.case("wrong argument types raise before anything is held", function()
  copy("types.zip")
  local before = T.blocks()
  T.err(function() zip.RenameFile(1, 0, "x", 5) end, "table expected", true)
  T.err(function() zip.RenameFile(1, 0, {}) end, "string expected", true)
  T.err(function() zip.DeleteFile(1, "x") end, "number expected", true)
  T.eq(T.blocks(), before, "blocks")
  T.err(function() zip.DeleteFile(3, 0) end, "Cannot find specified zip archive!")
  zip.CloseArchive(1, 1)
end)

T.case("no memory for a converted name fails with 1000 and renames nothing", function()
  copy("dst.zip")
  host.failalloc(1, "dst")
  T.err(function() zip.RenameFile(1, 0, "x.txt", {encoding = ZIP_FL_ENC_CP437}) end, "Out of memory!")
  T.eq(zip.GetFileAtIndex(1, 0), "a.txt", "name kept")
  zip.CloseArchive(1, 1)
end)

T.case("names longer than a header holds are refused as stored, in every command", function()
  local path = copy("long.zip")
  local file = T.path("one.txt")
  T.writefile(file, "1")
  local over, most = string.rep("n", 65536), string.rep("n", 65535)
  local cases = {  -- {command, refused, entries after it}
    {function() zip.AddFile(1, file, {newname = over}) end, true, 4},
    {function() zip.AddFile(1, file, {newname = most}) end, false, 5},
    -- 80,000 bytes of UTF-8, 40,000 once converted
    {function() zip.AddFile(1, file, {newname = string.rep("\195\188", 40000), encoding = ZIP_FL_ENC_CP437}) end, false, 6},
    {function() zip.AddDirectory(1, string.rep("d", 65535)) end, true, 6}, -- the slash makes 65536
    {function() zip.AddDirectory(1, string.rep("d", 65534)) end, false, 7},
    {function() zip.AddDirectory(1, "") end, true, 7},
    {function() zip.RenameFile(1, 0, over) end, true, 7},
  }
  for i, c in ipairs(cases) do
    if c[2] then T.err(c[1], "Invalid value!") else c[1]() end
    T.eq(count(), c[3], "entries after case " .. i)
  end
  zip.CloseArchive(1)
  local out = T.sh("python3 -c \"import zipfile,sys; print([len(n) for n in zipfile.ZipFile(sys.argv[1]).namelist()])\" '" .. path .. "'")
  T.eq(out, "[5, 5, 4, 9, 65535, 40000, 65535]\n", "stored whole")
end)

T.finish()
