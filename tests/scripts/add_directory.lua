-- zip.AddDirectory: with or without the trailing slash the same entry, a
-- second one refused, and names in code page 437 on request.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"

local function fresh(name)
  local path = T.path(name)
  os.remove(path)
  zip.OpenArchive(1, path, 1006)
  return path
end

T.case("docs and docs/ both make the entry docs/, and only once", function()
  local path = fresh("dirs.zip")
  T.eq(zip.AddDirectory(1, "docs"), 0, "first index")
  T.eq(zip.GetFileAtIndex(1, 0), "docs/", "slash appended")
  T.err(function() zip.AddDirectory(1, "docs/") end, ZIPERR)
  T.err(function() zip.AddDirectory(1, "docs") end, ZIPERR)
  T.eq(zip.AddDirectory(1, "img/"), 1, "second index")
  T.eq(zip.GetFileAtIndex(1, 1), "img/", "slash not doubled")
  T.eq(zip.AddDirectory(1, "img/icons"), 2, "nested directory")
  zip.CloseArchive(1)
  zip.OpenArchive(2, path)
  local attributes = zip.GetFileAttributes(2, 0)
  T.eq(attributes.size, 0, "no data")
  T.eq(zip.LocateFile(2, "img/icons/"), 2, "written")
  zip.CloseArchive(2)
  local out, ok = T.sh("python3 -c \"import zipfile,sys; print([i.is_dir() for i in zipfile.ZipFile(sys.argv[1]).infolist()])\" '" .. path .. "'")
  T.ok(ok, out)
  T.eq(out, "[True, True, True]\n", "python sees directories")
end)

T.case("encoding 4096 converts the name to code page 437", function()
  local path = fresh("dirs437.zip")
  zip.AddDirectory(1, "M\195\188ller \226\130\172", {encoding = ZIP_FL_ENC_CP437})
  zip.AddDirectory(1, "plain", {encoding = ZIP_FL_ENC_UTF_8})
  zip.CloseArchive(1)
  local out = T.sh("python3 -c \"import zipfile,sys; [print(i.filename.encode('cp437').hex(), i.flag_bits & 0x800) for i in zipfile.ZipFile(sys.argv[1]).infolist()]\" '" .. path .. "'")
  T.eq(out, "4d816c6c6572203f2f 0\n706c61696e2f 0\n", "CP437 bytes, no UTF-8 flag")
end)

T.finish()
