-- Every adding and editing command on an archive opened read-only fails
-- with the zip error and leaves it as it was; reading comments still works.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local archive = T.path("readonly.zip")
T.pyzip(archive, {{"a.txt", "aaa"}, {"b.txt", "bbb"}}, "kept")
local source = T.path("source.txt")
T.writefile(source, "data")

T.case("every change is a zip error and nothing is written", function()
  local before = T.readfile(archive)
  zip.OpenArchive(1, archive)
  local calls = {
    AddFile = function() zip.AddFile(1, source) end,
    AddDirectory = function() zip.AddDirectory(1, "d") end,
    DeleteFile = function() zip.DeleteFile(1, 0) end,
    RenameFile = function() zip.RenameFile(1, 0, "z.txt") end,
    SetFileTime = function() zip.SetFileTime(1, 0, "01-Jan-2000 00:00:00") end,
    SetFileComment = function() zip.SetFileComment(1, "c", 0) end,
    SetArchiveComment = function() zip.SetFileComment(1, "c") end,
    SetFileEncryption = function() zip.SetFileEncryption(1, 0, ZIP_EM_AES_128, "p") end,
    SetFileCompression = function() zip.SetFileCompression(1, 0, ZIP_CM_STORE) end,
  }
  for name, call in pairs(calls) do
    local ok, msg = pcall(call)
    T.ok(not ok, name .. " refused")
    T.eq(msg, ZIPERR, name)
  end
  zip.SetDefaultPassword(1, "only used for reading")
  T.eq(zip.GetFileComment(1), "kept", "archive comment")
  T.eq(zip.GetFileAtIndex(1, 0), "a.txt", "names unchanged")
  zip.CloseArchive(1)
  T.ok(T.readfile(archive) == before, "file unchanged")
end)

T.finish()
