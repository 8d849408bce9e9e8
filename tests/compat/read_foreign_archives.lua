-- Archives written by other tools (Info-ZIP, python's zipfile, 7-Zip with
-- WinZip AES) list every entry with the name, size, CRC, methods and time
-- those tools stored, and extract, and read through the adapter, to exactly
-- the original bytes.
local T = require("testlib")
local C = require("corpus")
require_plugin("zip", {installadapter = true})

local corpus = C.build(T)
local archives, originals = corpus.archives, corpus.originals

-- Lists archive 1 through the module and compares it with zipfile's view.
local function checkListing(path)
  local want = C.listing(T, path)
  T.eq(host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES), #want, "entry count")
  for i, e in ipairs(want) do
    local index = i - 1
    T.eq(zip.GetFileAtIndex(1, index), e.name, "name of entry " .. index)
    T.eq(zip.LocateFile(1, e.name), index, "index of " .. e.name)
    local a = zip.GetFileAttributes(1, index)
    T.eq(a.size, e.size, e.name .. " size")
    T.eq(a.crc32, e.crc, e.name .. " crc")
    T.eq(a.compression, e.method, e.name .. " method")
    T.eq(a.encryption, e.encryption, e.name .. " encryption")
    T.eq(a.time, e.time, e.name .. " time")
  end
  return want
end

-- The entry name of the archive at path as the adapter reads it.
local function readThroughAdapter(path, name, options)
  local f = assert(host.open(path .. "/" .. name, "r", options), "open " .. name)
  local data = f:read("a")
  f:close()
  return data
end

-- Extracts every entry of archive 1 at path, and reads each file through
-- the adapter, and compares both with the original.
local function checkExtraction(path, entries, password)
  for i, e in ipairs(entries) do
    local dst = T.path("out.bin")
    os.remove(dst)
    local options = {}
    if e.encryption ~= 0 then options.password = password end
    zip.ExtractFile(1, i - 1, dst, options)
    local want = e.name:sub(-1) == "/" and "" or originals[e.name]
    T.ok(want ~= nil, "original of " .. e.name)
    local got = T.readfile(dst)
    T.ok(got == want, e.name .. ": extracted bytes differ (" .. #(got or "") .. " vs " .. #want .. ")")
    if e.name:sub(-1) ~= "/" then
      T.ok(readThroughAdapter(path, e.name, options) == want, e.name .. ": differs through the adapter")
    end
  end
end

local function roundTrip(path, password)
  zip.OpenArchive(1, path)
  local ok, msg = pcall(function() checkExtraction(path, checkListing(path), password) end)
  zip.CloseArchive(1)
  if not ok then error(msg, 0) end
end

T.case("Info-ZIP zip, deflated with a directory entry", function() roundTrip(archives.infozip) end)
T.case("Info-ZIP zip, stored", function() roundTrip(archives.infozipStored) end)
T.case("Info-ZIP zip -e, traditional encryption", function()
  roundTrip(archives.infozipEncrypted, C.password)
end)
T.case("python zipfile: stored, deflate, bzip2, comment, code page 437 name", function()
  roundTrip(archives.python)
end)
T.case("7-Zip WinZip AES-256, deflated", function() roundTrip(archives.aes256, C.password) end)
T.case("7-Zip WinZip AES-128, stored", function() roundTrip(archives.aes128, C.password) end)

T.finish()
