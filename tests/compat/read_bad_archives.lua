-- Foreign archives the module cannot or must not read give a clear error,
-- never a crash, and leave every open archive usable: wrong and missing
-- passwords, methods this libzip lacks, truncated and corrupted archives.
local T = require("testlib")
local C = require("corpus")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local corpus = C.build(T)
local archives, originals = corpus.archives, corpus.originals
local dst = T.path("out.bin")

local function exists(path) return T.readfile(path) ~= nil end

-- Proves that archive 1 still reads correctly.
local function stillUsable()
  local index = zip.LocateFile(1, "text.txt")
  zip.ExtractFile(1, index, dst, {password = C.password})
  T.eq(T.readfile(dst), originals["text.txt"], "archive still usable")
end

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
        stillUsable()
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

T.case("truncated archives cannot be opened", function()
  local bytes = T.readfile(archives.infozip)
  for _, keep in ipairs({#bytes // 2, #bytes - 1, 10}) do
    local cut = T.path("cut" .. keep .. ".zip")
    T.writefile(cut, bytes:sub(1, keep))
    zip.OpenArchive(1, archives.infozip)
    T.err(function() zip.OpenArchive(2, cut) end, "Error opening zip archive " .. cut .. "!")
    T.eq(zip.GetFileAtIndex(1, 0), "text.txt", "archive 1 unaffected")
    zip.CloseArchive(1)
  end
end)

T.finish()
