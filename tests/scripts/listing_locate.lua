-- zip.LocateFile: exact lookups, "nocase" and "nodir" with the lowest
-- matching index, and how the options table is read.
local T = require("testlib")
require_plugin("zip")

local archive = T.path("names.zip")
T.pyzip(archive, {
  {"a/b.txt", "0"},     -- 0
  {"A/B.TXT", "1"},     -- 1
  {"c/B.txt", "2"},     -- 2
  {"b.txt", "3"},       -- 3
  {"a/", ""},           -- 4
  {"x/y/", ""},         -- 5
  {"z\xC3\x84", "6"},   -- 6: "zÄ" in UTF-8
})

local function withArchive(fn) T.withArchive(archive, fn) end

T.case("an exact lookup respects case and directories", function()
  withArchive(function()
    T.eq(zip.LocateFile(1, "a/b.txt"), 0, "a/b.txt")
    T.eq(zip.LocateFile(1, "A/B.TXT"), 1, "A/B.TXT")
    T.eq(zip.LocateFile(1, "a/B.txt"), -1, "other case")
    T.eq(zip.LocateFile(1, "B.txt"), -1, "last part only")
    T.eq(zip.LocateFile(1, "a/"), 4, "directory")
    T.eq(zip.LocateFile(1, "missing"), -1, "missing")
    T.eq(zip.LocateFile(1, ""), -1, "empty name")
  end)
end)

T.case("nocase takes the lowest of several matches", function()
  withArchive(function()
    T.eq(zip.LocateFile(1, "A/B.TXT", {nocase = 1}), 0, "A/B.TXT")
    T.eq(zip.LocateFile(1, "a/b.TXT", {nocase = 1}), 0, "a/b.TXT")
    T.eq(zip.LocateFile(1, "C/b.TXT", {nocase = 1}), 2, "C/b.TXT")
    T.eq(zip.LocateFile(1, "A/", {nocase = 1}), 4, "directory")
    T.eq(zip.LocateFile(1, "b.txt", {nocase = 1}), 3, "no directory part is not dropped")
    T.eq(zip.LocateFile(1, "nothing", {nocase = 1}), -1, "missing")
  end)
end)

T.case("nodir compares the part after the last slash", function()
  withArchive(function()
    T.eq(zip.LocateFile(1, "b.txt", {nodir = 1}), 0, "b.txt")
    T.eq(zip.LocateFile(1, "B.TXT", {nodir = 1}), 1, "B.TXT")
    T.eq(zip.LocateFile(1, "B.txt", {nodir = 1}), 2, "B.txt")
    T.eq(zip.LocateFile(1, "a/b.txt", {nodir = 1}), -1, "a query with a slash never matches")
    T.eq(zip.LocateFile(1, "", {nodir = 1}), 4, "directories compare as the empty name")
    T.eq(zip.LocateFile(1, "y", {nodir = 1}), -1, "a directory's own name does not match")
  end)
end)

T.case("nocase and nodir together", function()
  withArchive(function()
    T.eq(zip.LocateFile(1, "B.TXT", {nocase = 1, nodir = 1}), 0, "B.TXT")
    T.eq(zip.LocateFile(1, "", {nocase = 1, nodir = 1}), 4, "empty")
  end)
end)

T.case("nocase folds case the host's way", function()
  withArchive(function()
    -- ISO-8859-1 text mode folds the byte 0xC3 to 0xE3; libzip's own
    -- ASCII folding would not find the entry.
    host.setutf8(false)
    local found = zip.LocateFile(1, "Z\xE3\x84", {nocase = 1})
    host.setutf8(true)
    T.eq(found, 6, "latin-1 folding")
    T.eq(zip.LocateFile(1, "Z\xE3\x84", {nocase = 1}), -1, "UTF-8 mode does not fold that byte")
    T.eq(zip.LocateFile(1, "Z\xC3\x84", {nocase = 1}), 6, "ASCII part folds")
  end)
end)

T.case("options with value 0, empty tables and other keys change nothing", function()
  withArchive(function()
    T.eq(zip.LocateFile(1, "A/b.txt", {}), -1, "empty table")
    T.eq(zip.LocateFile(1, "A/b.txt", {nocase = 0, nodir = 0}), -1, "zeros")
    T.eq(zip.LocateFile(1, "A/b.txt", {NOCASE = 1, other = true}), -1, "keys are case-sensitive")
    T.eq(zip.LocateFile(1, "A/b.txt", {nocase = 0.5}), -1, "0.5 truncates to 0")
    T.eq(zip.LocateFile(1, "A/b.txt", {nocase = -1}), 0, "any nonzero value")
  end)
end)

T.case("a third argument that is not a table is a script error", function()
  withArchive(function()
    T.err(function() zip.LocateFile(1, "a", 5) end, "bad argument #3 to .*LocateFile.*table expected, got number", true)
    T.err(function() zip.LocateFile(1, "a", nil) end, "bad argument #3 to 'LocateFile'", true)
    T.err(function() zip.LocateFile(1, {}) end, "bad argument #2 to 'LocateFile'", true)
  end)
end)

T.case("an id with no open archive is refused before the options", function()
  T.err(function() zip.LocateFile(3, "a", 5) end, "Cannot find specified zip archive!")
end)

T.finish()
