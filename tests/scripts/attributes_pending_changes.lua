-- zip.GetFileAttributes reports changes made since the archive was
-- opened: new times and methods at once; the data stays extractable.
local T = require("testlib")
require_plugin("zip")

local source = T.path("source.zip")
local data = string.rep("pending ", 5000)
T.pyzip(source, {{"a.txt", data}, {"b.txt", "b", method = "stored"}})
local dst = T.path("out.txt")

-- Runs fn on a writable copy of source, dropping its changes afterwards.
local function withCopy(fn)
  local copy = T.path("copy.zip")
  T.writefile(copy, T.readfile(source))
  T.withArchive(copy, fn, 1004, true)
end

T.case("a new time shows at once", function()
  withCopy(function()
    zip.SetFileTime(1, 0, "01-Feb-2001 13:14:15")
    T.eq(zip.GetFileAttributes(1, 0).time, "01-Feb-2001 13:14:15", "new time")
    T.eq(zip.GetFileAttributes(1, 1).time, "17-May-2020 10:30:00", "other entry")
    zip.ExtractFile(1, 0, dst)
    T.eq(T.readfile(dst), data, "data unchanged")
  end)
end)

T.case("compression set to the default reads back as 65535", function()
  withCopy(function()
    zip.SetFileCompression(1, 1, ZIP_CM_DEFAULT)
    T.eq(zip.GetFileAttributes(1, 1).compression, 65535, "default method")
    zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE)
    T.eq(zip.GetFileAttributes(1, 1).compression, ZIP_CM_DEFLATE, "deflate")
    zip.ExtractFile(1, 1, dst)
    T.eq(T.readfile(dst), "b", "data unchanged")
  end)
end)

T.finish()
