-- Entries renamed, deleted or added since the archive was opened are seen
-- by listing, lookup, attributes and extraction before it is closed.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local source = T.path("source.zip")
T.pyzip(source, {{"docs/one.txt", "one"}, {"two.txt", "two"}, {"three.txt", "three"}})
T.writefile(T.path("new.txt"), "new data")
local dst = T.path("out.txt")

local function exists(path) return T.readfile(path) ~= nil end

-- Opens a fresh writable copy as archive 1, runs fn, discards the changes.
-- Runs fn on a writable copy of source, dropping its changes afterwards.
local function withCopy(fn)
  local copy = T.path("copy.zip")
  T.writefile(copy, T.readfile(source))
  T.withArchive(copy, fn, 1004, true)
end

T.case("a renamed entry is listed and found under its new name", function()
  withCopy(function()
    zip.RenameFile(1, 1, "sub/Renamed.txt")
    T.eq(zip.GetFileAtIndex(1, 1), "sub/Renamed.txt", "new name")
    T.eq(zip.LocateFile(1, "two.txt"), -1, "old name gone")
    T.eq(zip.LocateFile(1, "sub/Renamed.txt"), 1, "exact")
    T.eq(zip.LocateFile(1, "SUB/renamed.TXT", {nocase = 1}), 1, "nocase")
    T.eq(zip.LocateFile(1, "renamed.txt", {nocase = 1, nodir = 1}), 1, "nocase nodir")
    zip.ExtractFile(1, 1, dst)
    T.eq(T.readfile(dst), "two", "its data is unchanged")
  end)
end)

T.case("a deleted entry is a zip error everywhere and never found", function()
  withCopy(function()
    zip.DeleteFile(1, 0)
    T.err(function() zip.GetFileAtIndex(1, 0) end, ZIPERR)
    T.err(function() zip.GetFileAttributes(1, 0) end, ZIPERR)
    os.remove(dst)
    T.err(function() zip.ExtractFile(1, 0, dst) end, ZIPERR)
    T.ok(not exists(dst), "no destination")
    T.eq(zip.LocateFile(1, "docs/one.txt"), -1, "exact")
    T.eq(zip.LocateFile(1, "ONE.TXT", {nocase = 1, nodir = 1}), -1, "walk skips it")
    T.eq(zip.GetFileAtIndex(1, 1), "two.txt", "later indices keep their entries")
    T.eq(host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES), 3, "still counted")
  end)
end)

T.case("added files and directories are found before the close", function()
  withCopy(function()
    local file = zip.AddFile(1, T.path("new.txt"), {newname = "later/New.txt"})
    local dir = zip.AddDirectory(1, "emptydir")
    T.eq(file, 3, "index of the file")
    T.eq(zip.GetFileAtIndex(1, file), "later/New.txt", "file name")
    T.eq(zip.GetFileAtIndex(1, dir), "emptydir/", "directory name")
    T.eq(zip.LocateFile(1, "later/New.txt"), file, "exact")
    T.eq(zip.LocateFile(1, "new.TXT", {nocase = 1, nodir = 1}), file, "nocase nodir")
    T.eq(zip.LocateFile(1, "", {nodir = 1}), dir, "the directory compares as empty")
  end)
end)

T.case("an added entry has no data to extract yet", function()
  withCopy(function()
    local file = zip.AddFile(1, T.path("new.txt"), {newname = "added.txt"})
    os.remove(dst)
    T.err(function() zip.ExtractFile(1, file, dst) end, ZIPERR)
    T.ok(not exists(dst), "no destination")
    local a = zip.GetFileAttributes(1, file)
    T.eq(a.crc32, 0, "no CRC reads 0")
    T.eq(a.compressedsize, -1, "no compressed size reads -1")
  end)
end)

T.finish()
