-- Archives written through the module are read by foreign tools: unzip -t
-- (stored, deflated, PKWARE), 7z t (AES-128/192/256, bzip2) and python3's
-- zipfile (names, CP437 flag and bytes, comments, times, CRCs, contents).
local T = require("testlib")
require_plugin("zip")

local text = string.rep("Foreign readers must agree with what we wrote. ", 3000)
local binary = {}
for i = 0, 65535 do binary[#binary + 1] = string.char((i * 7919) % 256) end
binary = table.concat(binary)
-- Two whole blocks of the parallel deflate, and data that does not shrink.
local blocks = string.rep(text, 2):sub(1, 262144)
math.randomseed(14)
local noise = {}
for i = 1, 4000 do noise[i] = string.char(math.random(0, 255)) end
noise = table.concat(noise)
local folder = T.path("in")
os.execute("mkdir -p '" .. folder .. "'")
T.writefile(folder .. "/text.txt", text)
T.writefile(folder .. "/binary.bin", binary)
T.writefile(folder .. "/empty.txt", "")
T.writefile(folder .. "/blocks.txt", blocks)
T.writefile(folder .. "/noise.bin", noise)

local PASSWORD = "S3cret pass"

-- name, source, options, and the data it must hold.
local entries = {
  {"stored.txt", "text.txt", {compression = ZIP_CM_STORE, time = "02-Mar-2021 04:05:06"}, text},
  {"deflated.bin", "binary.bin", {compression = ZIP_CM_DEFLATE, compressionflags = 9, comment = "deflated, level 9"}, binary},
  {"empty.txt", "empty.txt", {}, ""},
  {"pkware.txt", "text.txt", {encryption = ZIP_EM_TRAD_PKWARE, password = PASSWORD}, text},
  {"aes128.txt", "text.txt", {encryption = ZIP_EM_AES_128, password = PASSWORD}, text},
  {"aes192.bin", "binary.bin", {encryption = ZIP_EM_AES_192, password = PASSWORD}, binary},
  {"aes256.txt", "text.txt", {encryption = ZIP_EM_AES_256}, text},
  {"bzip2.txt", "text.txt", {compression = ZIP_CM_BZIP2}, text},
  {"sub/M\195\188ller \226\130\172.txt", "text.txt", {encoding = ZIP_FL_ENC_CP437, comment = "Gr\195\188\195\159e"}, text},
  {"sub/\208\154\208\184\209\128\208\184\208\187\208\187.txt", "text.txt", {}, text},
  {"blocks.txt", "blocks.txt", {}, blocks},
  {"fast.txt", "text.txt", {}, text},  -- set to level 1 after it is added
  {"noise.bin", "noise.bin", {}, noise},
  -- added from `first`, replaced under ZIP_FL_OVERWRITE after the next entry
  {"replaced.bin", "binary.bin", {encoding = ZIP_FL_ENC_UTF_8 + 8192}, binary, first = "noise.bin"},
  {"after.txt", "text.txt", {}, text},
}

local archive = T.path("written.zip")

local function build()
  os.remove(archive)
  zip.OpenArchive(1, archive, 1006)
  zip.SetDefaultPassword(1, PASSWORD)
  for _, e in ipairs(entries) do
    local options = {newname = e[1]}
    for k, v in pairs(e[3]) do options[k] = v end
    zip.AddFile(1, folder .. "/" .. (e.first or e[2]), e.first and {newname = e[1]} or options)
    e.options = options
  end
  for _, e in ipairs(entries) do
    if e.first then zip.AddFile(1, folder .. "/" .. e[2], e.options) end
  end
  zip.SetFileCompression(1, 11, ZIP_CM_DEFLATE, 1)
  zip.AddDirectory(1, "sub/dir")
  zip.SetFileComment(1, "written by zip.orp")
  zip.CloseArchive(1)
end

T.case("the archive is written", build)

T.case("unzip -t passes stored, deflated and PKWARE entries; 7z t every entry, AES and bzip2 included", function()
  local unzip = "unzip -t -P '%s' '%s' stored.txt deflated.bin empty.txt pkware.txt blocks.txt fast.txt noise.bin"
    .. " replaced.bin after.txt"
  for _, c in ipairs({{unzip, "No errors detected"}, {"7z t -p'%s' '%s'", "Everything is Ok"}}) do
    local out, ok = T.sh(string.format(c[1], PASSWORD, archive))
    T.ok(ok and out:find(c[2], 1, true), out)
  end
end)

T.case("python3's zipfile sees names, flags, comments, times, CRCs and contents", function()
  local py = T.path("check.py")
  T.writefile(py, [[
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print("archive", z.comment.decode())
for i in z.infolist():
    raw = i.filename.encode("utf-8" if i.flag_bits & 0x800 else "cp437")
    line = [raw.hex(), str(i.flag_bits & 0x800), str(i.compress_type), "%08x" % i.CRC, str(i.file_size)]
    line.append(i.comment.decode("utf-8" if i.flag_bits & 0x800 else "cp437"))
    line.append("%04d-%02d-%02d %02d:%02d:%02d" % i.date_time)
    line.append(str(i.flag_bits & 6))
    if not i.flag_bits & 1:
        z.read(i)  # checks the data against the CRC
    print("|".join(line))
]])
  local out, ok = T.sh("python3 '" .. py .. "' '" .. archive .. "'")
  T.ok(ok, out)
  local lines = {}
  for line in out:gmatch("[^\n]+") do lines[#lines + 1] = line end
  T.eq(lines[1], "archive written by zip.orp", "archive comment")
  local function field(i, n) local f = {} for x in (lines[i + 1] .. "|"):gmatch("([^|]*)|") do f[#f + 1] = x end return f[n] end
  local function hex(s) return (s:gsub(".", function(c) return string.format("%02x", c:byte()) end)) end
  T.eq(#lines, #entries + 2, "one line per entry")
  for i, e in ipairs(entries) do
    if e[3].encoding ~= ZIP_FL_ENC_CP437 then T.eq(field(i, 1), hex(e[1]), "name of " .. e[1]) end
    T.eq(tonumber(field(i, 5)), #e[4], "size of " .. e[1])
  end
  T.eq(field(1, 3), "0", "stored")
  T.eq(field(1, 7), "2021-03-02 04:05:06", "time option")
  T.eq(field(2, 3), "8", "deflated")
  T.eq(field(2, 6), "deflated, level 9", "entry comment")
  T.eq(field(8, 3), "12", "bzip2")
  T.eq(field(9, 1), hex("sub/M\129ller ?.txt"), "CP437 name bytes")
  T.eq(field(9, 2), "0", "no UTF-8 flag on the CP437 name")
  T.eq(field(9, 6), "Gr\195\188\195\159e", "CP437 comment")
  T.eq(field(10, 2), "2048", "UTF-8 flag on the Cyrillic name")
  T.eq(field(#entries + 1, 1), hex("sub/dir/"), "directory")
end)

T.finish()
