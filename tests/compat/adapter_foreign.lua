-- Archives written by foreign tools read through the adapter give the same
-- bytes as those tools extract.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local function sh(cmd)
  local out, ok = T.sh(cmd)
  assert(ok, cmd .. ": " .. out)
  return out
end

-- Some files of varied sizes and contents in a folder of their own.
local src = T.path("src")
sh("mkdir -p '" .. src .. "/sub/deeper'")
local files = {"empty.txt", "small.txt", "sub/text.txt", "sub/deeper/random.bin", "sub/zeros.bin"}
T.writefile(src .. "/empty.txt", "")
T.writefile(src .. "/small.txt", "small\n")
T.writefile(src .. "/sub/text.txt", string.rep("lorem ipsum dolor sit amet\n", 5000))
sh("head -c 300000 /dev/urandom > '" .. src .. "/sub/deeper/random.bin'")
sh("head -c 150000 /dev/zero > '" .. src .. "/sub/zeros.bin'")

local function readThroughAdapter(path, opts)
  local f = assert(host.open(path, "r", opts), "open " .. path)
  local parts = {}
  for s in f:lines(7777) do parts[#parts + 1] = s end
  T.ok(f:eof(), "at the end")
  f:close()
  return table.concat(parts)
end

local function compareAll(arc, extract, opts)
  for _, name in ipairs(files) do
    local want = sh(extract(name))
    T.ok(readThroughAdapter(arc .. "/" .. name, opts) == want, arc .. ": " .. name .. " differs")
  end
end

T.case("Info-ZIP archives", function()
  local arc = T.path("infozip.zip")
  sh(string.format("cd '%s' && zip -qr '%s' .", src, arc))
  compareAll(arc, function(name) return string.format("unzip -p '%s' '%s'", arc, name) end)
end)

T.case("Info-ZIP archives with traditional encryption", function()
  local arc = T.path("infozip-pk.zip")
  sh(string.format("cd '%s' && zip -qr -P pw '%s' .", src, arc))
  compareAll(arc, function(name) return string.format("unzip -P pw -p '%s' '%s'", arc, name) end, {password = "pw"})
end)

T.case("python archives, stored and bzip2", function()
  local arc = T.path("python.zip")
  sh(string.format([[cd '%s' && python3 -c "
import zipfile, sys
z = zipfile.ZipFile(sys.argv[1], 'w')
for i, n in enumerate(sys.argv[2:]):
    z.write(n, n, [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2][i %% 3])
z.close()" '%s' %s]], src, arc, table.concat(files, " ")))
  compareAll(arc, function(name) return string.format("unzip -p '%s' '%s'", arc, name) end)
end)

T.case("7-Zip AES-256 archives", function()
  local arc = T.path("7z-aes.zip")
  sh(string.format("cd '%s' && 7z a -tzip -mem=AES256 -psecret '%s' . >/dev/null", src, arc))
  compareAll(arc, function(name) return string.format("7z e -so -psecret '%s' '%s' 2>/dev/null", arc, name) end,
    {password = "secret"})
end)

T.case("scans of a foreign archive list what the tool lists", function()
  local arc = T.path("infozip.zip")
  local seen = {}
  local function walk(dir, prefix)
    for _, e in ipairs(host.listdir(dir)) do
      if e.type == "directory" then walk(dir .. "/" .. e.name, prefix .. e.name .. "/")
      else seen[#seen + 1] = prefix .. e.name end
    end
  end
  walk(arc, "")
  table.sort(seen)
  local want = {table.unpack(files)}
  table.sort(want)
  T.eq(table.concat(seen, ","), table.concat(want, ","))
end)

T.finish()
