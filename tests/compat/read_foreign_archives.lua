-- Archives written by other tools (Info-ZIP, python's zipfile, 7-Zip with
-- WinZip AES) list every entry with the name, size, CRC, methods and time
-- those tools stored, and extract, and read through the adapter, to exactly
-- the original bytes. Those the module cannot or must not read give a clear
-- error, never a crash, and leave every open archive usable: wrong and
-- missing passwords, methods this libzip lacks, corrupted data.
local T = require("testlib")
local C = require("corpus")
require_plugin("zip", {installadapter = true})

local corpus = C.build(T)
local archives, originals = corpus.archives, corpus.originals
local ZIPERR = "A zip error has occurred!"
local dst = T.path("out.bin")

-- Lists archive 1 through the module and compares it with zipfile's view.
local function checkListing(path)
  local want = C.listing(T, path)
  T.eq(host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES), #want, "entry count")
  for i, e in ipairs(want) do
    local index = i - 1
    T.eq(zip.GetFileAtIndex(1, index), e.name, "name of entry " .. index)
    T.eq(zip.LocateFile(1, e.name), index, "index of " .. e.name)
    local a = zip.GetFileAttributes(1, index)
    T.eq(string.format("%d %d %d %d %s", a.size, a.crc32, a.compression, a.encryption, a.time), e.attributes, e.name)
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
    os.remove(dst)
    local options = {}
    if zip.GetFileAttributes(1, i - 1).encryption ~= 0 then options.password = password end
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


local function exists(path) return T.readfile(path) ~= nil end

-- A copy of the archive at path with the byte at offset (1-based) flipped.
local function damaged(path, name, offset)
  local bytes = T.readfile(path)
  local copy = T.path(name)
  T.writefile(copy, bytes:sub(1, offset - 1) .. string.char(bytes:byte(offset) ~ 0xFF) .. bytes:sub(offset + 1))
  return copy
end

T.case("a missing or wrong password fails before the destination exists", function()
  for _, path in ipairs({archives.infozipEncrypted, archives.aes256, archives.aes128}) do
    for _, options in ipairs({{}, {password = "not the password"}}) do
      T.withArchive(path, function()
        os.remove(dst)
        T.err(function() zip.ExtractFile(1, zip.LocateFile(1, "random.bin"), dst, options) end, ZIPERR)
        T.ok(not exists(dst), "no destination for " .. path)
        zip.ExtractFile(1, zip.LocateFile(1, "text.txt"), dst, {password = C.password})
        T.eq(T.readfile(dst), originals["text.txt"], "the archive still reads with the password")
      end)
    end
  end
end)

T.case("methods this libzip lacks fail to open, or extract exactly", function()
  for _, path in ipairs({archives.lzma, archives.ppmd}) do
    T.withArchive(path, function()
      local a = zip.GetFileAttributes(1, 0)
      T.ok(a.compression == ZIP_CM_LZMA or a.compression == ZIP_CM_PPMD, "method " .. a.compression)
      os.remove(dst)
      local ok, msg = pcall(zip.ExtractFile, 1, 0, dst)
      if ok then
        T.eq(T.readfile(dst), originals["text.txt"], "supported after all")
      else
        T.eq(msg, ZIPERR, "error")
        T.ok(not exists(dst), "no destination")
      end
    end)
  end
end)

T.case("a corrupted stored entry fails and its destination is removed", function()
  local bytes = T.readfile(archives.infozipStored)
  local at = bytes:find("All work and no play", 1, true) + 100
  T.withArchive(damaged(archives.infozipStored, "stored-bad.zip", at), function()
    os.remove(dst)
    T.err(function() zip.ExtractFile(1, zip.LocateFile(1, "text.txt"), dst) end, ZIPERR)
    T.ok(not exists(dst), "destination removed")
    zip.ExtractFile(1, zip.LocateFile(1, "random.bin"), dst)
    T.eq(T.readfile(dst), originals["random.bin"], "other entries still extract")
  end)
end)

T.case("corrupted deflate and AES data fail, never extract", function()
  local cases = {
    {archives.infozip, "random.bin"},
    {archives.infozip, "text.txt"},
    {archives.aes128, "random.bin"},
  }
  for n, c in ipairs(cases) do
    local path, name = c[1], c[2]
    -- The local header offset is unknown here: damage bytes well inside
    -- the entry's data, found by its CRC-independent position in the file.
    local bytes = T.readfile(path)
    local start = bytes:find(name, 1, true) + #name + 60
    local copy = damaged(path, "bad" .. n .. ".zip", start + 500)
    T.withArchive(copy, function()
      T.err(function() zip.ExtractFile(1, zip.LocateFile(1, name), dst, {password = C.password}) end, ZIPERR)
    end)
  end
end)

T.finish()
