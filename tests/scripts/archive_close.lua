-- Closing: discarding, progress reports, and a write that fails.
local T = require("testlib")
require_plugin("zip")

local function entries(id) return host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES) end

local source = T.path("source.bin")
T.writefile(source, string.rep("0123456789abcdef", 40000))

-- An archive with entries a, b and c; returns its path and its bytes.
local function fresh(name)
  local path = T.path(name)
  T.pyzip(path, {{"a", "alpha"}, {"b", "beta"}, {"c", "gamma"}})
  return path, T.readfile(path)
end

T.case("discard leaves the file unchanged", function()
  local path, before = fresh("discard.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddFile(1, source)
  zip.DeleteFile(1, 0)
  zip.CloseArchive(1, 1)
  T.eq(T.readfile(path), before, "file")
end)

T.case("a plain close writes the changes", function()
  local path = fresh("write.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "new")
  zip.CloseArchive(1)
  zip.OpenArchive(1, path)
  T.eq(entries(1), 4, "entries")
  zip.CloseArchive(1)
end)

T.case("progress runs from 0 to 100 in whole percent", function()
  local path = fresh("progress.zip")
  local seen = {}
  zip.OpenArchive(1, path, 1004)
  zip.AddFile(1, source)
  zip.CloseArchive(1, 0, function(t)
    T.eq(t.action, "CloseArchive", "action")
    T.eq(t.id, 1, "id")
    T.eq(t.userdata, nil, "userdata")
    seen[#seen + 1] = t.progress
  end)
  T.ok(#seen >= 2, "reports")
  T.eq(seen[1], 0, "first")
  T.eq(seen[#seen], 100, "last")
  for i, p in ipairs(seen) do
    T.eq(math.type(p) == "integer" or p == math.floor(p), true, "whole percent")
    if i > 1 then T.ok(p >= seen[i - 1], "never goes back") end
  end
end)

T.case("userdata is passed only when given, automatic ids as themselves", function()
  local path = fresh("userdata.zip")
  local id = zip.OpenArchive(nil, path, 1004)
  zip.AddDirectory(id, "d")
  local fields
  zip.CloseArchive(id, 0, function(t) fields = t end, nil)
  T.ok(fields ~= nil, "called")
  T.eq(fields.id, id, "automatic id")
  T.eq(fields.userdata, nil, "nil userdata")

  id = zip.OpenArchive(nil, path, 1004)
  zip.AddDirectory(id, "e")
  local box = {}
  zip.CloseArchive(id, 0, function(t) fields = t end, box)
  T.eq(fields.userdata, box, "userdata")
end)

T.case("a callback error does not stop the close", function()
  local path = fresh("callerror.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "d")
  zip.CloseArchive(1, 0, function() error("callback gives up") end)
  T.err(function() zip.CloseArchive(1) end, "Cannot find specified zip archive!")
  zip.OpenArchive(1, path)
  T.eq(entries(1), 4, "written")
  zip.CloseArchive(1)
end)

T.case("a callback that is no function is the host's argument error", function()
  local path = fresh("badcallback.zip")
  zip.OpenArchive(1, path, 1004)
  T.err(function() zip.CloseArchive(1, 0, 42) end, "bad argument #3 to 'CloseArchive'", true)
  T.eq(entries(1), 3, "still open")
  zip.CloseArchive(1, 1)
end)

T.case("a failed write keeps the archive open with its changes", function()
  local path, before = fresh("failed.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddFile(1, source)
  zip.SetFileEncryption(1, 3, ZIP_EM_AES_256)
  local calls = 0
  T.err(function() zip.CloseArchive(1, 0, function() calls = calls + 1 end) end, "A zip error has occurred!")
  T.eq(T.readfile(path), before, "file unchanged")
  T.eq(entries(1), 4, "changes pending")
  -- The failed close's callback must not be called again.
  calls = 0
  zip.SetDefaultPassword(1, "secret")
  zip.CloseArchive(1)
  T.eq(calls, 0, "stale callback")
  zip.OpenArchive(1, path)
  T.eq(entries(1), 4, "written after the mend")
  zip.CloseArchive(1)
end)

T.case("a failed write can still be discarded", function()
  local path, before = fresh("faileddiscard.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddFile(1, source)
  zip.SetFileEncryption(1, 3, ZIP_EM_TRAD_PKWARE)
  T.err(function() zip.CloseArchive(1) end, "A zip error has occurred!")
  zip.CloseArchive(1, 1)
  T.eq(T.readfile(path), before, "file unchanged")
  T.err(function() zip.CloseArchive(1) end, "Cannot find specified zip archive!")
end)

T.case("a source that cannot be read fails the write", function()
  local path, before = fresh("readfail.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddFile(1, source)
  host.failio("read", 1)
  T.err(function() zip.CloseArchive(1) end, "A zip error has occurred!")
  host.failio("read", 0)
  T.eq(T.readfile(path), before, "file unchanged")
  zip.CloseArchive(1, 1)
end)

T.finish()
