-- zip.SetFileTime, zip.SetDefaultPassword, zip.SetFileEncryption and
-- zip.SetFileCompression: what gets written, and refusals that keep the
-- earlier setting.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local text = string.rep("settings are written when the archive closes. ", 500)
local base = T.path("base.zip")
T.pyzip(base, {{"a.txt", text}, {"b.txt", text, method = "stored"}})

local function copy(name)
  local path = T.path(name)
  T.writefile(path, T.readfile(base))
  zip.OpenArchive(1, path, 1004)
  return path
end

local readBack = T.readBack

local function extracted(idx, password)
  local dst = T.path("out.txt")
  os.remove(dst)
  if password then zip.ExtractFile(2, idx, dst, {password = password}) else zip.ExtractFile(2, idx, dst) end
  local got = T.readfile(dst)
  T.ok(got == text, "content of entry " .. idx)
end

T.case("a time is set; a malformed one fails with 1055 and keeps the old", function()
  local path = copy("time.zip")
  zip.SetFileTime(1, 0, "29-Feb-2024 23:59:58")
  T.err(function() zip.SetFileTime(1, 1, "29-Feb-2024 24:00:00") end, "Invalid value!")
  T.err(function() zip.SetFileTime(1, 5, "29-Feb-2024 10:00:00") end, ZIPERR)
  T.eq(zip.GetFileAttributes(1, 0).time, "29-Feb-2024 23:59:58", "pending time")
  zip.CloseArchive(1)
  readBack(path, function()
    T.eq(zip.GetFileAttributes(2, 0).time, "29-Feb-2024 23:59:58", "written time")
    T.eq(zip.GetFileAttributes(2, 1).time, "17-May-2020 10:30:00", "old time kept")
  end)
end)

T.case("STORE then read back gives method 0; a refused method keeps the earlier one", function()
  local path = copy("compression.zip")
  zip.SetFileCompression(1, 0, ZIP_CM_STORE)
  zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE, 9)
  T.err(function() zip.SetFileCompression(1, 0, ZIP_CM_LZMA) end, ZIPERR)
  T.err(function() zip.SetFileCompression(1, 0, ZIP_CM_DEFLATE, 10) end, ZIPERR)
  T.err(function() zip.SetFileCompression(1, 2, ZIP_CM_STORE) end, ZIPERR)
  zip.CloseArchive(1)
  readBack(path, function()
    T.eq(zip.GetFileAttributes(2, 0).compression, ZIP_CM_STORE, "stored")
    T.eq(zip.GetFileAttributes(2, 0).compressedsize, #text, "stored size")
    T.eq(zip.GetFileAttributes(2, 1).compression, ZIP_CM_DEFLATE, "deflated")
    extracted(0)
    extracted(1)
  end)
end)

T.case("encryption with its own password, the default one, and none", function()
  local path = copy("encryption.zip")
  zip.SetDefaultPassword(1, "fallback")
  zip.SetFileEncryption(1, 0, ZIP_EM_AES_192, "own")
  zip.SetFileEncryption(1, 1, ZIP_EM_TRAD_PKWARE)
  zip.CloseArchive(1)
  readBack(path, function()
    T.eq(zip.GetFileAttributes(2, 0).encryption, ZIP_EM_AES_192, "AES-192")
    T.eq(zip.GetFileAttributes(2, 1).encryption, ZIP_EM_TRAD_PKWARE, "PKWARE")
    extracted(0, "own")
    extracted(1, "fallback")
  end)
  zip.OpenArchive(1, path, 1004)
  zip.SetDefaultPassword(1, "own")
  zip.SetFileEncryption(1, 0, ZIP_EM_NONE)
  zip.CloseArchive(1)
  readBack(path, function()
    T.eq(zip.GetFileAttributes(2, 0).encryption, ZIP_EM_NONE, "decrypted again")
    extracted(0)
  end)
end)

T.case("AES without any password succeeds now and fails the close, archive kept", function()
  local path = copy("nopassword.zip")
  zip.SetFileEncryption(1, 0, ZIP_EM_AES_256)
  zip.SetDefaultPassword(1, "set")
  zip.SetDefaultPassword(1, "")
  T.err(function() zip.CloseArchive(1) end, ZIPERR)
  T.eq(zip.GetFileAtIndex(1, 0), "a.txt", "still open")
  zip.SetFileEncryption(1, 0, ZIP_EM_AES_256, "")
  T.err(function() zip.CloseArchive(1) end, ZIPERR)
  zip.SetFileEncryption(1, 0, ZIP_EM_AES_256, "now")
  zip.CloseArchive(1)
  readBack(path, function() extracted(0, "now") end)
end)

T.case("methods beyond 16 bits are refused, not cut down", function()
  copy("wide.zip")
  T.err(function() zip.SetFileEncryption(1, 0, 65536 + ZIP_EM_AES_256, "p") end, ZIPERR)
  T.err(function() zip.SetFileEncryption(1, 0, 65536, "p") end, ZIPERR)
  T.err(function() zip.SetFileEncryption(1, 0, -1, "p") end, ZIPERR)
  T.err(function() zip.SetFileEncryption(1, 0, 4242, "p") end, ZIPERR)
  zip.CloseArchive(1, 1)
end)

T.case("wrong argument types raise with nothing held", function()
  copy("types.zip")
  local before = T.blocks()
  T.err(function() zip.SetFileTime(1, 0, {}) end, "string expected", true)
  T.err(function() zip.SetFileEncryption(1, 0, 1, {}) end, "string expected", true)
  T.err(function() zip.SetFileCompression(1, 0, "x") end, "number expected", true)
  T.err(function() zip.SetDefaultPassword(1) end, "string expected", true)
  T.err(function() zip.SetFileComment(1, {}) end, "string expected", true)
  T.eq(T.blocks(), before, "blocks")
  zip.CloseArchive(1, 1)
end)

T.case("changes from a close callback are refused: the archive is in use", function()
  copy("busy.zip")
  zip.SetFileCompression(1, 0, ZIP_CM_STORE)
  local results = nil
  zip.CloseArchive(1, 0, function()
    if results then return end
    results = {}
    local calls = {
      function() zip.DeleteFile(1, 0) end, function() zip.RenameFile(1, 0, "z") end,
      function() zip.SetFileTime(1, 0, "01-Jan-2000 00:00:00") end, function() zip.SetFileComment(1, "c") end,
      function() zip.SetDefaultPassword(1, "p") end, function() zip.SetFileEncryption(1, 0, 1, "p") end,
      function() zip.SetFileCompression(1, 0, 8) end, function() zip.GetFileComment(1) end,
    }
    for i, call in ipairs(calls) do results[i] = select(2, pcall(call)) end
  end)
  T.eq(#results, 8, "every call tried")
  for i = 1, 8 do T.eq(results[i], "Zip archive is in use!", "call " .. i) end
end)

T.finish()
