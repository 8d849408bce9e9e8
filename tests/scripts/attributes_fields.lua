-- zip.GetFileAttributes: the six fields for the entries of an archive as
-- written, unsigned CRCs, and zip errors for indices without an entry.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local archive = T.path("attrs.zip")
local text = string.rep("attribute data ", 400)
T.pyzip(archive, {
  {"stored.txt", text, method = "stored"},   -- 0
  {"deflated.txt", text},                    -- 1
  {"bzip2.txt", text, method = "bzip2"},     -- 2
  {"dir/", "", method = "stored"},           -- 3
  {"a", "a", method = "stored"},             -- 4: CRC 0xe8b7be43, above 2^31
  {"empty", "", method = "stored"},          -- 5
})

local function keys(t)
  local list = {}
  for k in pairs(t) do list[#list + 1] = k end
  table.sort(list)
  return table.concat(list, ",")
end

local function withArchive(fn) T.withArchive(archive, fn) end

T.case("every field is present with the entry's values", function()
  withArchive(function()
    local a = zip.GetFileAttributes(1, 0)
    T.eq(keys(a), "compressedsize,compression,crc32,encryption,size,time", "fields")
    T.eq(a.size, #text, "size")
    T.eq(a.compressedsize, #text, "stored: compressed size equals size")
    T.eq(a.compression, ZIP_CM_STORE, "method")
    T.eq(a.encryption, ZIP_EM_NONE, "encryption")
    T.eq(a.time, "17-May-2020 10:30:00", "time")
    T.eq(math.type(a.compression), "integer", "method is an integer")
  end)
end)

T.case("compressed entries report their method and smaller size", function()
  withArchive(function()
    local d = zip.GetFileAttributes(1, 1)
    T.eq(d.compression, ZIP_CM_DEFLATE, "deflate")
    T.eq(d.size, #text, "deflate size")
    T.ok(d.compressedsize < d.size, "deflate compresses")
    local b = zip.GetFileAttributes(1, 2)
    T.eq(b.compression, ZIP_CM_BZIP2, "bzip2")
    T.eq(b.crc32, d.crc32, "same data, same CRC")
    T.eq(zip.GetFileAttributes(1, 0).crc32, d.crc32, "stored CRC too")
  end)
end)

T.case("a directory and an empty entry have size 0", function()
  withArchive(function()
    local dir = zip.GetFileAttributes(1, 3)
    T.eq(dir.size, 0, "directory size")
    T.eq(dir.crc32, 0, "directory CRC")
    T.eq(zip.GetFileAttributes(1, 5).size, 0, "empty size")
  end)
end)

T.case("a CRC above 2^31 is a positive number", function()
  withArchive(function()
    T.eq(zip.GetFileAttributes(1, 4).crc32, 0xe8b7be43, "crc of 'a'")
  end)
end)

T.case("indices without an entry are zip errors", function()
  withArchive(function()
    T.err(function() zip.GetFileAttributes(1, 6) end, ZIPERR)
    T.err(function() zip.GetFileAttributes(1, -1) end, ZIPERR)
    T.eq(zip.GetFileAttributes(1, 5.7).size, 0, "fraction truncated")
    T.eq(zip.GetFileAttributes(1, -0.9).compression, ZIP_CM_STORE, "-0.9 reads entry 0")
  end)
end)

T.case("an id with no open archive is refused", function()
  T.err(function() zip.GetFileAttributes(9, 0) end, "Cannot find specified zip archive!")
  T.err(function() zip.GetFileAttributes(9) end, "bad argument #2", true)
end)

T.finish()
