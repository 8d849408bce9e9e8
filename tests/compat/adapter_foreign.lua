-- Archives written by foreign tools read through the adapter give the same
-- bytes as those tools extract.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local sh = T.run

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

T.case("Info-ZIP (plain and encrypted), python (stored, deflated, bzip2) and 7-Zip AES-256 archives", function()
  local pythonZip = [[python3 -c "
import zipfile, sys
z = zipfile.ZipFile(sys.argv[1], 'w')
for i, n in enumerate(sys.argv[2:]):
    z.write(n, n, [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2][i %% 3])
z.close()" '%s' ]] .. table.concat(files, " ")
  local cases = {  -- archive, how it is made, how a tool extracts an entry, the password
    {"infozip.zip", "zip -qr '%s' .", "unzip -p '%s' '%s'"},
    {"infozip-pk.zip", "zip -qr -P pw '%s' .", "unzip -P pw -p '%s' '%s'", "pw"},
    {"python.zip", pythonZip, "unzip -p '%s' '%s'"},
    {"7z-aes.zip", "7z a -tzip -mem=AES256 -psecret '%s' . >/dev/null", "7z e -so -psecret '%s' '%s' 2>/dev/null", "secret"},
  }
  for _, c in ipairs(cases) do
    local arc = T.path(c[1])
    sh(string.format("cd '%s' && " .. c[2], src, arc))
    for _, name in ipairs(files) do
      local want = sh(string.format(c[3], arc, name))
      T.ok(readThroughAdapter(arc .. "/" .. name, {password = c[4]}) == want, arc .. ": " .. name .. " differs")
    end
  end
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
