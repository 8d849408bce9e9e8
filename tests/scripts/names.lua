-- Entry names: zip.DeleteFile, zip.RenameFile and zip.AddDirectory, pending
-- until the close, refused for taken names, slash mismatches and names a
-- header cannot hold, and code page 437 on request.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local base = T.path("base.zip")
T.pyzip(base, {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"dir/", ""}, {"dir/c.txt", "ccc"}})

-- A fresh writable copy of the base archive, open under id 1.
local function copy(name)
  local path = T.path(name)
  T.writefile(path, T.readfile(base))
  zip.OpenArchive(1, path, 1004)
  return path
end

T.case("deleted entries count until the close; refused renames and deletions change nothing", function()
  local path = copy("edit.zip")
  zip.DeleteFile(1, 1)
  T.err(function() zip.DeleteFile(1, 1) end, ZIPERR)
  T.eq(T.entryCount(), 4, "deleted entries count until the close")
  zip.RenameFile(1, 0, "new/a2.txt")
  zip.RenameFile(1, 2, "folder/")
  for _, refused in ipairs({{0, "dir/c.txt"}, {0, "a_dir/"}, {2, "plain"}, {1, "deleted.txt"}}) do
    T.err(function() zip.RenameFile(1, refused[1], refused[2]) end, ZIPERR)
  end
  host.setutf8(0)
  local ok, msg = pcall(zip.RenameFile, 1, 0, "\228.txt")
  host.setutf8(1)
  T.eq(msg, ZIPERR, "Latin-1 bytes under the default encoding are refused by libzip")
  zip.CloseArchive(1)
  T.eq(T.zipeval(path, "','.join(z.namelist())"), "new/a2.txt,folder/,dir/c.txt", "written names")
end)

T.case("encoding 4096 stores the converted name, ? where code page 437 lacks one", function()
  local path = copy("cp437.zip")
  T.eq(zip.LocateFile(1, "C.TXT", {nocase = 1, nodir = 1}) + zip.LocateFile(1, "A.TXT", {nocase = 1}), 3, "indexes built")
  zip.RenameFile(1, 0, "\195\132rger \226\130\172.txt", {encoding = ZIP_FL_ENC_CP437})
  host.setutf8(0)
  local ok, msg = pcall(zip.RenameFile, 1, 1, "\196rger \164b.txt", {encoding = ZIP_FL_ENC_CP437})
  host.setutf8(1)
  T.ok(ok, tostring(msg))
  zip.AddDirectory(1, "M\195\188ller \226\130\172", {encoding = ZIP_FL_ENC_CP437})
  zip.AddDirectory(1, "plain", {encoding = ZIP_FL_ENC_UTF_8})
  local found = {}
  for _, name in ipairs({"\195\132RGER ?.TXT", "\195\132RGER ?B.TXT", "A.TXT", "m\195\188LLER ?/", "PLAIN/"}) do
    found[#found + 1] = zip.LocateFile(1, name, {nocase = 1}) .. "/" .. zip.LocateFile(1, name:match("[^/]*$"), {nocase = 1, nodir = 1})
  end
  T.eq(table.concat(found, " "), "0/0 1/1 -1/-1 4/2 5/2", "found by the converted names, ignoring case")
  zip.CloseArchive(1)
  T.eq(T.zipeval(path, "[(z.infolist()[i].filename.encode('cp437').hex(), z.infolist()[i].flag_bits & 0x800) for i in (0, 1, 4, 5)]"),
    "[('8e72676572203f2e747874', 0), ('8e72676572203f622e747874', 0), ('4d816c6c6572203f2f', 0), ('706c61696e2f', 0)]",
    "same conversion from UTF-8 and Latin-1, no UTF-8 flag")
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
    T.eq(T.entryCount(), c[3], "entries after case " .. i)
  end
  zip.CloseArchive(1)
  T.eq(T.zipeval(path, "[len(n) for n in z.namelist()]"), "[5, 5, 4, 9, 65535, 40000, 65535]", "stored whole")
end)

T.finish()
