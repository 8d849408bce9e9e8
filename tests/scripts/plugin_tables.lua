-- The information record, the help texts and the constants the module
-- hands the host.
local T = require("testlib")
require_plugin("zip")

T.case("information record", function()
  local info = host.plugininfo("zip")
  T.eq(info.capabilities, 0x0102C402, "capabilities")
  T.eq(info.version, 2, "version")
  T.eq(info.revision, 0, "revision")
  T.eq(info.hostversion, 6, "required host version")
  T.eq(info.hostrevision, 0, "required host revision")
  T.eq(info.displayname, "ZIP", "display name")
  T.eq(info.name, "zip", "name")
  T.eq(info.description, "Read and write zip archives with Orvanel", "description")
  T.eq(info.date, "08.07.23", "date")
  T.eq(info.helpfile, "zip/index.html", "help file")
  T.ok(type(info.author) == "string" and #info.author > 0, "author")
  T.ok(type(info.copyright) == "string" and #info.copyright > 0, "copyright")
  T.ok(type(info.url) == "string" and #info.url > 0, "url")
end)

T.case("help texts of the archive commands", function()
  T.eq(host.help("zip.OpenArchive"),
    "[id]=zip.OpenArchive(id,filename$[,mode]) -- open a zip archive for reading or writing")
  T.eq(host.help("zip.CloseArchive"), "zip.CloseArchive(id[,discard,callback,userdata]) -- close zip archive")
  T.eq(host.help("zip.GetObjectType"), "type=zip.GetObjectType() -- get zip archive object type")
  T.eq(host.help("zip.NoSuchCommand"), nil)
end)

T.case("every command has its own help text", function()
  local want = {
    AddDirectory = "idx=zip.AddDirectory(id,d$) -- add directory to zip archive",
    AddFile = "idx=zip.AddFile(id,f$[,table]) -- add file to zip archive",
    GetFileAtIndex = "name$=zip.GetFileAtIndex(id,idx) -- get name of file by index",
    DeleteFile = "zip.DeleteFile(id,idx) -- delete file from zip archive",
    RenameFile = "zip.RenameFile(id,idx,newname$) -- rename file in zip archive",
    LocateFile = "idx=zip.LocateFile(id,name$[,table]) -- find file in zip archive",
    ExtractFile = "zip.ExtractFile(id,idx,dst$[,table]) -- extract file from zip archive",
    GetFileAttributes = "t=zip.GetFileAttributes(id, idx) -- get file attributes",
    SetDefaultPassword = "zip.SetDefaultPassword(id,pwd$) -- set default password",
    SetFileEncryption = "zip.SetFileEncryption(id,idx,method[,pwd$]) -- set file encryption",
    SetFileCompression = "zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression",
    SetFileComment = "zip.SetFileComment(id[,c$,idx]) -- set file comment",
    GetFileComment = "c$=zip.GetFileComment(id[,idx]) -- get file comment",
    SetFileTime = "zip.SetFileTime(id,idx,time$) -- set file datestamp",
  }
  local commands = 0
  for name in pairs(zip) do commands = commands + 1 end
  T.eq(commands, 17, "commands")
  for name, text in pairs(want) do
    T.eq(type(zip[name]), "function", name)
    T.eq(host.help("zip." .. name), text, name)
  end
end)

T.case("the version text is in the read-only data", function()
  local dir = (os.getenv("ORHOST") or ""):match("^(.*)/[^/]*$") or "."
  local out = T.sh("readelf -p .rodata '" .. dir .. "/plugins/zip.orp'")
  T.ok(out:find("$VER: zip.orp 2.0 (08.07.23) [Linux]", 1, true), "version text")
end)

T.case("the 28 constants", function()
  local want = {
    ZIP_CM_DEFAULT = -1, ZIP_CM_STORE = 0, ZIP_CM_SHRINK = 1, ZIP_CM_REDUCE_1 = 2, ZIP_CM_REDUCE_2 = 3,
    ZIP_CM_REDUCE_3 = 4, ZIP_CM_REDUCE_4 = 5, ZIP_CM_IMPLODE = 6, ZIP_CM_DEFLATE = 8, ZIP_CM_DEFLATE64 = 9,
    ZIP_CM_PKWARE_IMPLODE = 10, ZIP_CM_BZIP2 = 12, ZIP_CM_LZMA = 14, ZIP_CM_TERSE = 18, ZIP_CM_LZ77 = 19,
    ZIP_CM_XZ = 95, ZIP_CM_JPEG = 96, ZIP_CM_WAVPACK = 97, ZIP_CM_PPMD = 98,
    ZIP_EM_NONE = 0, ZIP_EM_TRAD_PKWARE = 1, ZIP_EM_AES_128 = 257, ZIP_EM_AES_192 = 258, ZIP_EM_AES_256 = 259,
    ZIP_EM_UNKNOWN = 65535, ZIP_FL_ENC_UTF_8 = 2048, ZIP_FL_ENC_CP437 = 4096, ZIPATTRNUMENTRIES = 32768,
  }
  local n = 0
  for name, value in pairs(want) do
    T.eq(_G[name], value, name)
    n = n + 1
  end
  T.eq(n, 28, "constant count")
end)

T.case("the object type is a registered number", function()
  local t = zip.GetObjectType()
  T.eq(math.type(t) ~= nil, true, "a number")
  T.eq(zip.GetObjectType(), t, "stable")
end)

T.finish()
