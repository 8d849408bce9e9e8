-- The sweep over the changing commands and the write at zip.CloseArchive.
local S = require("sweep")
local T = S.T
require_plugin("zip")

local arc = T.path("arc.zip")
local fresh = T.path("fresh.zip")

local text = string.rep("Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n", 30)
T.pyzip(arc, {{"a.txt", "alpha"}, {"b.txt", text}, {"c/", ""}, {"c/d.txt", "delta", method = "stored"},
  {"e.txt", "echo"}, {"f.txt", text}}, "old note")
local pristine = T.readfile(arc)
local one = T.path("one.txt")
local two = T.path("two.txt")
local three = T.path("three.txt")
T.writefile(one, text .. "one")
T.writefile(two, string.rep("two", 500))
-- Three blocks of the parallel deflate at the close.
T.writefile(three, string.rep(text, 200))

local function restore()
  T.writefile(arc, pristine)
  os.remove(fresh)
end

local common = {"Out of memory!", "A zip error has occurred!", "Error opening zip archive " .. arc .. "!",
  "Error opening zip archive " .. fresh .. "!", "Cannot open file " .. one .. "!", "Cannot open file " .. two .. "!",
  "Cannot open file " .. three .. "!"}

S.scenario{
  name = "add files and a directory with every option",
  archives = {arc},
  password = "secret",
  setup = restore,
  errors = common,
  run = function()
    local archive <close> = S.discarding(2)
    zip.OpenArchive(2, arc, 1004)
    local added = {
      zip.AddFile(2, one, {newname = "new/one.txt", comment = "first", time = "01-Feb-2021 10:00:00",
        compression = ZIP_CM_STORE}),
      zip.AddFile(2, two, {newname = "Grüße.txt", encoding = ZIP_FL_ENC_CP437, comment = "Ä",
        encryption = ZIP_EM_AES_256, password = "secret", compression = ZIP_CM_DEFLATE, compressionflags = 9}),
      zip.AddFile(2, two, {newname = "trad.txt", encryption = ZIP_EM_TRAD_PKWARE, password = "secret"}),
      zip.AddFile(2, three, {newname = "three.txt", compression = ZIP_CM_DEFLATE, compressionflags = 2}),
      zip.AddDirectory(2, "empty", {encoding = ZIP_FL_ENC_CP437}),
    }
    local progress = {}
    zip.CloseArchive(2, 0, function(t) progress[t.progress] = t.userdata end, "ud")
    added.finished = progress[100]
    return added
  end,
}

S.scenario{
  name = "delete, rename and change entries",
  archives = {arc},
  password = "secret",
  setup = restore,
  errors = common,
  run = function()
    local archive <close> = S.discarding(2)
    zip.OpenArchive(2, arc, 1004)
    zip.DeleteFile(2, 0)
    zip.RenameFile(2, 1, "renamed/Ü.txt", {encoding = ZIP_FL_ENC_CP437})
    zip.RenameFile(2, 4, "plain-renamed.txt")
    zip.SetFileTime(2, 3, "24-Dec-2019 18:30:00")
    zip.SetFileComment(2, "entry note", 3)
    zip.SetFileComment(2, "new note")
    local comments = {zip.GetFileComment(2), zip.GetFileComment(2, 3)}
    zip.SetDefaultPassword(2, "secret")
    zip.SetFileEncryption(2, 4, ZIP_EM_AES_128)
    zip.SetFileEncryption(2, 5, ZIP_EM_TRAD_PKWARE, "secret")
    zip.SetFileCompression(2, 1, ZIP_CM_STORE)
    zip.SetFileCompression(2, 5, ZIP_CM_DEFLATE, 1)
    zip.CloseArchive(2)
    return comments
  end,
}

S.scenario{
  name = "a new archive under an automatic id",
  archives = {fresh},
  setup = restore,
  errors = common,
  run = function()
    local id = zip.OpenArchive(nil, fresh, 1006)
    local archive <close> = S.discarding(id)
    local added = {zip.AddDirectory(id, "d"), zip.AddFile(id, one), zip.AddFile(id, two, {newname = "d/two"})}
    zip.CloseArchive(id)
    return added
  end,
}

S.scenario{
  name = "host.freelibrary drops changed archives",
  archives = {arc},
  setup = restore,
  errors = common,
  run = function()
    local archive <close> = S.discarding(2)
    zip.OpenArchive(2, arc, 1004)
    zip.AddFile(2, one, {newname = "never.txt"})
    zip.DeleteFile(2, 0)
    host.freelibrary("zip")
    require_plugin("zip")
    return {pcall(zip.GetFileAtIndex, 2, 0)}
  end,
}

S.finish()
