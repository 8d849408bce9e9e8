-- A progress callback that reaches back into the archive being extracted:
-- reading is fine, closing, reopening or freeing the library must not pull
-- the archive out from under the extraction.
local T = require("testlib")
require_plugin("zip")

local BUSY = "Zip archive is in use!"
local data = string.rep("reentry ", 100000)
local archive = T.path("reentry.zip")
local other = T.path("other.zip")
T.pyzip(archive, {{"big.txt", data}, {"small.txt", "small"}})
T.pyzip(other, {{"o.txt", "o"}})

-- Extracts entry 0 of archive 1 calling probe(report) from the callback;
-- returns the results of the first probe as {ok, message}.
local function extractWith(probe)
  local first
  local dst = T.path("reentry.out")
  zip.ExtractFile(1, 0, dst, {callback = function(t)
    local ok, msg = pcall(probe, t)
    first = first or {ok, msg}
  end})
  T.eq(T.readfile(dst), data, "content despite the callback")
  return first
end

T.case("closing the archive from the callback is refused", function()
  zip.OpenArchive(1, archive)
  local r = extractWith(function() zip.CloseArchive(1) end)
  T.eq(r[2], BUSY, "close refused")
  T.eq(zip.GetFileAtIndex(1, 1), "small.txt", "still open")
  zip.CloseArchive(1)
end)

T.case("reopening its id from the callback is refused", function()
  zip.OpenArchive(1, archive)
  local r = extractWith(function() zip.OpenArchive(1, other) end)
  T.eq(r[2], BUSY, "reopen refused")
  T.eq(zip.GetFileAtIndex(1, 0), "big.txt", "the same archive")
  zip.CloseArchive(1)
end)

T.case("changing a writable archive from the callback is refused", function()
  local copy = T.path("writable.zip")
  T.writefile(copy, T.readfile(archive))
  T.writefile(T.path("extra.txt"), "extra")
  zip.OpenArchive(1, copy, 1004)
  local changes = {
    function() zip.DeleteFile(1, 0) end,
    function() zip.RenameFile(1, 0, "moved.txt") end,
    function() zip.AddFile(1, T.path("extra.txt")) end,
    function() zip.AddDirectory(1, "newdir") end,
    function() zip.SetFileTime(1, 0, "01-Jan-2000 00:00:00") end,
  }
  for i, change in ipairs(changes) do
    T.eq(extractWith(change)[2], BUSY, "change " .. i .. " refused")
  end
  T.eq(zip.GetFileAtIndex(1, 0), "big.txt", "entry 0 untouched")
  T.eq(host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES), 2, "no entry added")
  zip.CloseArchive(1, 1)
end)

T.case("reading commands work from the callback", function()
  zip.OpenArchive(1, archive)
  local r = extractWith(function(t)
    T.eq(zip.GetFileAtIndex(t.id, 1), "small.txt", "name")
    T.eq(zip.LocateFile(t.id, "small.txt"), 1, "locate")
    T.eq(zip.GetFileAttributes(t.id, 1).size, 5, "attributes")
    local nested = T.path("nested.out")
    zip.ExtractFile(t.id, 1, nested)
    T.eq(T.readfile(nested), "small", "nested extraction")
  end)
  T.ok(r[1], "probe passed: " .. tostring(r[2]))
  -- the nested extraction must not have marked the archive idle early
  local again = extractWith(function() zip.CloseArchive(1) end)
  T.eq(again[2], BUSY, "still guarded after a nested extraction")
  zip.CloseArchive(1)
end)

T.case("freeing the library from the callback does not crash", function()
  zip.OpenArchive(1, archive)
  local lib = zip
  extractWith(function() host.freelibrary("zip") end)
  require_plugin("zip")
  local ok = pcall(lib.CloseArchive, 1)
  T.eq(T.blocks(), 0, "nothing left after close: " .. tostring(ok))
end)

T.case("other archives may be opened and closed from the callback", function()
  zip.OpenArchive(1, archive)
  local r = extractWith(function()
    zip.OpenArchive(2, other)
    T.eq(zip.GetFileAtIndex(2, 0), "o.txt", "other archive")
    zip.CloseArchive(2)
  end)
  T.ok(r[1], "probe passed: " .. tostring(r[2]))
  zip.CloseArchive(1)
end)

T.finish()
