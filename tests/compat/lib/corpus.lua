-- Builds, at test time, small archives written by foreign tools: Info-ZIP
-- zip (plain and with -e traditional encryption), python3's zipfile (stored,
-- deflate and bzip2 entries, comments, a name without the UTF-8 flag) and
-- 7-Zip (WinZip AES-256 and AES-128, LZMA and PPMd entries).
--
--   local C = require("corpus")
--   local set = C.build(T)   -- {archives = {...}, originals = {...}}
local C = {}

C.here = (arg[0]:match("^(.*)/") or ".") .. "/lib/"
C.password = "secret"

-- Runs a shell command in the source folder; raises on failure.
local function run(T, cmd)
  local out, ok = T.sh("cd '" .. T.path("src") .. "' && " .. cmd)
  assert(ok, cmd .. " failed: " .. out)
end

-- Deterministic bytes that do not compress.
local function noise(size, seed)
  math.randomseed(seed)
  local parts = {}
  for i = 1, size do parts[i] = string.char(math.random(0, 255)) end
  return table.concat(parts)
end

-- The source files every tool packs, by entry name.
local function makeSources(T)
  local originals = {
    ["text.txt"] = string.rep("All work and no play makes a compatible archive. ", 4000),
    ["random.bin"] = noise(150000, 42),
    ["tiny.txt"] = "tiny",
    ["empty.txt"] = "",
    ["sub/nested.txt"] = "nested file\n",
  }
  os.execute("mkdir -p '" .. T.path("src/sub") .. "'")
  for name, data in pairs(originals) do T.writefile(T.path("src/" .. name), data) end
  return originals
end

-- A python archive with a name stored in code page 437 (no UTF-8 flag):
-- written under a same-length ASCII name whose bytes are then replaced.
local function makePythonArchive(T, path, originals)
  T.pyzip(path, {
    {"stored.txt", originals["text.txt"], method = "stored"},
    {"deflated.bin", originals["random.bin"], method = "deflated"},
    {"bzip2.txt", originals["text.txt"], method = "bzip2"},
    {"grXn.txt", "code page 437", method = "stored"},
    {"folder/", "", method = "stored"},
  }, "an archive comment")
  local bytes = T.readfile(path)
  T.writefile(path, (bytes:gsub("grXn%.txt", "gr\x81n.txt")))
  originals["stored.txt"] = originals["text.txt"]
  originals["deflated.bin"] = originals["random.bin"]
  originals["bzip2.txt"] = originals["text.txt"]
  originals["gr\xC3\xBCn.txt"] = "code page 437"
end

function C.build(T)
  local originals = makeSources(T)
  local files = "text.txt random.bin tiny.txt empty.txt"
  local a = {}
  a.infozip = T.path("infozip.zip")
  run(T, "zip -q -r '" .. a.infozip .. "' " .. files .. " sub")
  a.infozipStored = T.path("infozip-stored.zip")
  run(T, "zip -q -0 '" .. a.infozipStored .. "' " .. files)
  a.infozipEncrypted = T.path("infozip-encrypted.zip")
  run(T, "zip -q -P " .. C.password .. " '" .. a.infozipEncrypted .. "' " .. files)
  a.python = T.path("python.zip")
  makePythonArchive(T, a.python, originals)
  a.aes256 = T.path("7z-aes256.zip")
  run(T, "7z a -bd -tzip -p" .. C.password .. " -mem=AES256 '" .. a.aes256 .. "' " .. files .. " >/dev/null")
  a.aes128 = T.path("7z-aes128.zip")
  run(T, "7z a -bd -tzip -p" .. C.password .. " -mem=AES128 -mx=0 '" .. a.aes128 .. "' " .. files .. " >/dev/null")
  a.lzma = T.path("7z-lzma.zip")
  run(T, "7z a -bd -tzip -mm=LZMA '" .. a.lzma .. "' text.txt >/dev/null")
  a.ppmd = T.path("7z-ppmd.zip")
  run(T, "7z a -bd -tzip -mm=PPMd '" .. a.ppmd .. "' text.txt >/dev/null")
  return {archives = a, originals = originals}
end

local function unhex(s) return (s:gsub("..", function(h) return string.char(tonumber(h, 16)) end)) end

-- What python's zipfile reads from the archive: a list of {name, attributes
-- = "size crc method encryption time"} (see zipinfo.py).
function C.listing(T, path)
  local out, ok = T.sh("python3 '" .. C.here .. "zipinfo.py' '" .. path .. "'")
  assert(ok, "zipinfo failed: " .. out)
  local entries = {}
  for line in out:gmatch("[^\n]+") do
    local name, attributes = line:match("^(%x*) (.+)$")
    entries[#entries + 1] = {name = unhex(name), attributes = attributes}
  end
  return entries
end

return C
