-- Listing, lookups and attributes: zip.LocateFile (exact, "nocase" and
-- "nodir", the lowest matching index), zip.GetFileAttributes, and entries
-- renamed, deleted or added since the archive was opened.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local text = string.rep("attribute data ", 400)
local archive = T.path("names.zip")
T.pyzip(archive, {
  {"a/b.txt", text, method = "stored"},  -- 0
  {"A/B.TXT", text},                     -- 1
  {"c/B.txt", text, method = "bzip2"},   -- 2
  {"b.txt", "a", method = "stored"},     -- 3: CRC 0xe8b7be43, above 2^31
  {"a/", "", method = "stored"},         -- 4
  {"x/y/", ""},                          -- 5
  {"z\xC3\x84", ""},                     -- 6: "zÄ" in UTF-8, empty
  {"docs/grüße.txt", ""},                -- 7
  {"\u{212A}elvin", ""},                  -- 8: the Kelvin sign folds to "k"
})
local dst = T.path("out.txt")

T.case("lookups: name, options, index", function()
  local cases = {
    {"a/b.txt", nil, 0}, {"A/B.TXT", nil, 1}, {"a/B.txt", nil, -1}, {"B.txt", nil, -1}, {"a/", nil, 4},
    {"missing", nil, -1}, {"", nil, -1},
    {"A/B.TXT", {nocase = 1}, 0}, {"C/b.TXT", {nocase = 1}, 2}, {"A/", {nocase = 1}, 4}, {"b.txt", {nocase = 1}, 3},
    {"b.txt", {nodir = 1}, 0}, {"B.TXT", {nodir = 1}, 1}, {"B.txt", {nodir = 1}, 2}, {"a/b.txt", {nodir = 1}, -1},
    {"", {nodir = 1}, 4}, {"y", {nodir = 1}, -1},
    {"B.TXT", {nocase = 1, nodir = 1}, 0}, {"", {nocase = 1, nodir = 1}, 4},
    {"Z\xC3\x84", {nocase = 1}, 6}, {"Z\xE3\x84", {nocase = 1}, -1}, {"docs/GRÜẞE.TXT", {nocase = 1}, 7},
    {"KELVIN", {nocase = 1}, 8}, {"GRÜSSE.TXT", {nocase = 1, nodir = 1}, -1}, {"z\xC3\x84", {nodir = 1}, 6},
    {"A/b.txt", {}, -1}, {"A/b.txt", {nocase = 0, nodir = 0}, -1}, {"A/b.txt", {NOCASE = 1, other = true}, -1},
    {"A/b.txt", {nocase = 0.5}, -1}, {"A/b.txt", {nocase = -1}, 0},
  }
  T.withArchive(archive, function()
    for _, c in ipairs(cases) do
      local found = c[2] and zip.LocateFile(1, c[1], c[2]) or zip.LocateFile(1, c[1])
      T.eq(found, c[3], c[1] .. " " .. tostring(c[2] and next(c[2])))
    end
    -- ISO-8859-1 text mode folds the byte 0xC3 to 0xE3 the host's way.
    host.setutf8(false)
    local found = zip.LocateFile(1, "Z\xE3\x84", {nocase = 1})
    host.setutf8(true)
    T.eq(found, 6, "latin-1 folding")
    T.err(function() zip.LocateFile(1, "a", 5) end, "bad argument #3 to .*LocateFile.*table expected, got number", true)
  end)
end)

-- (The attributes of foreign archives' entries are compared with python's
-- view by compat/read_foreign_archives.lua.)
T.case("attributes: the six fields as integers; CRCs above 2^31 positive", function()
  T.withArchive(archive, function()
    local a = zip.GetFileAttributes(1, 3)
    local keys = {}
    for k, v in pairs(a) do keys[#keys + 1] = k .. (math.type(v) == "integer" and "" or ":" .. type(v)) end
    table.sort(keys)
    T.eq(table.concat(keys, ","), "compressedsize,compression,crc32,encryption,size,time:string", "fields")
    T.eq(a.crc32, 0xe8b7be43, "crc of 'a'")
  end)
end)

T.case("renamed, deleted and added entries are seen before the close, by lookups of every kind", function()
  local copy = T.path("copy.zip")
  T.writefile(copy, T.readfile(archive))
  T.withArchive(copy, function()
    T.eq(zip.LocateFile(1, "A/b.txt", {nocase = 1}) + zip.LocateFile(1, "b.TXT", {nocase = 1, nodir = 1}), 0)
    zip.RenameFile(1, 1, "sub/Renamed.txt")
    T.eq(zip.GetFileAtIndex(1, 1), "sub/Renamed.txt", "new name")
    T.eq(zip.LocateFile(1, "A/B.TXT"), -1, "old name gone")
    T.eq(zip.LocateFile(1, "renamed.txt", {nocase = 1, nodir = 1}), 1, "nocase nodir")
    zip.ExtractFile(1, 1, dst)
    T.ok(T.readfile(dst) == text, "its data is unchanged")
    zip.DeleteFile(1, 0)
    for _, command in ipairs({"GetFileAtIndex", "GetFileAttributes", "ExtractFile"}) do
      T.err(function() zip[command](1, 0, T.path("deleted.out")) end, ZIPERR)
    end
    T.eq(T.readfile(T.path("deleted.out")), nil, "no destination")
    T.eq(zip.LocateFile(1, "B.TXT", {nocase = 1, nodir = 1}), 2, "the deleted entry is skipped")
    T.eq(zip.LocateFile(1, "a/B.TXT", {nocase = 1}), -1, "deleted and renamed")
    T.eq(zip.LocateFile(1, "SUB/renamed.txt", {nocase = 1}), 1, "the new name")
    T.writefile(T.path("new.txt"), "new data")
    local file = zip.AddFile(1, T.path("new.txt"), {newname = "later/New.txt"})
    local dir = zip.AddDirectory(1, "emptydir")
    T.eq(zip.GetFileAtIndex(1, dir), "emptydir/", "directory name")
    T.eq(zip.LocateFile(1, "new.TXT", {nocase = 1, nodir = 1}), file, "nocase nodir")
    T.eq(zip.AddDirectory(1, "emptydir", {encoding = 8192}) + zip.LocateFile(1, "EmptyDir/", {nocase = 1}), 2 * dir, "put over")
    T.err(function() zip.ExtractFile(1, file, T.path("added.out")) end, ZIPERR)
    T.eq(T.readfile(T.path("added.out")), nil, "an added entry has no data yet")
    local a = zip.GetFileAttributes(1, file)
    T.eq(a.crc32, 0, "no CRC reads 0")
    T.eq(a.compressedsize, -1, "no compressed size reads -1")
    zip.SetFileTime(1, 2, "01-Feb-2001 13:14:15")
    T.eq(zip.GetFileAttributes(1, 2).time, "01-Feb-2001 13:14:15", "a new time shows at once")
  end, 1004, true)
end)

T.finish()
