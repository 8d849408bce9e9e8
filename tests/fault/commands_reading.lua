-- The sweep over the reading commands: read-only opening, listing, lookups,
-- attributes, comments and extraction (passwords, progress; deflated,
-- stored and 7-Zip's AES entries).
local S = require("sweep")
local T = S.T
require_plugin("zip")

local arc = T.path("reading/arc.zip")
local out = T.path("out")
os.execute("mkdir -p '" .. T.path("reading") .. "' '" .. out .. "'")

local readme = string.rep("The quick brown fox jumps over the lazy dog.\n", 40)
local data = {}
for i = 1, 7000 do data[i] = string.format("%09d\n", i * 7919 % 1000003) end
data = table.concat(data)  -- 70000 bytes: two chunks when extracted
local secret = "secret payload"

-- The archive: plain, stored and encrypted entries and comments.
T.pyzip(arc, {{"readme.txt", readme}, {"dir/", ""}, {"dir/data.bin", data, method = "stored"}}, "archive note")
local plain = T.path("secret.txt")
T.writefile(plain, secret)
zip.OpenArchive(1, arc, 1004)
zip.AddFile(1, plain, {newname = "aes.txt", encryption = ZIP_EM_AES_256, password = "secret"})
zip.AddFile(1, plain, {newname = "trad.txt", encryption = ZIP_EM_TRAD_PKWARE, password = "secret"})
zip.SetFileComment(1, "entry note", 0)
zip.CloseArchive(1)
local pristine = T.readfile(arc)

-- 7-Zip's AES entries (no CRC, authentication code only): stored and
-- deflated.
local aes7z = T.path("reading/aes7z.zip")
S.sevenZipAes(aes7z, secret, readme)

local outputs = {"data.out", "aes.out", "trad.out", "readme.out", "s7.out", "d7.out"}

local function restore()
  T.writefile(arc, pristine)
  for _, name in ipairs(outputs) do os.remove(out .. "/" .. name) end
end

local errors = {"Out of memory!", "A zip error has occurred!", "Could not write all data!",
  "Error opening zip archive " .. arc .. "!", "Error opening zip archive " .. aes7z .. "!"}
for _, name in ipairs(outputs) do errors[#errors + 1] = "Cannot open file " .. out .. "/" .. name .. " for writing!" end

S.scenario{
  name = "read-only archive: list, locate, extract",
  archives = {arc},
  password = "secret",
  setup = restore,
  errors = errors,
  run = function()
    local archive <close> = S.discarding(1)
    zip.OpenArchive(1, arc)
    local result = {type = zip.GetObjectType(), entries = {}}
    local count = host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
    for i = 0, count - 1 do
      result.entries[i + 1] = {zip.GetFileAtIndex(1, i), zip.GetFileAttributes(1, i), zip.GetFileComment(1, i)}
    end
    result.comment = zip.GetFileComment(1)
    result.found = {zip.LocateFile(1, "DIR/DATA.BIN", {nocase = 1}), zip.LocateFile(1, "data.bin", {nodir = 1}),
      zip.LocateFile(1, "missing")}
    local progress = {}
    zip.ExtractFile(1, 2, out .. "/data.out", {userdata = "u", callback = function(t)
      progress[#progress + 1] = t.action .. t.progress .. t.userdata
    end})
    zip.ExtractFile(1, 3, out .. "/aes.out", {password = "secret"})
    zip.SetDefaultPassword(1, "secret")
    zip.ExtractFile(1, 4, out .. "/trad.out")
    zip.ExtractFile(1, 0, out .. "/readme.out")
    zip.CloseArchive(1)
    local aes <close> = S.discarding(2)
    zip.OpenArchive(2, aes7z)
    zip.ExtractFile(2, zip.LocateFile(2, "stored.txt"), out .. "/s7.out", {password = "secret"})
    zip.SetDefaultPassword(2, "secret")
    zip.ExtractFile(2, zip.LocateFile(2, "deflated.txt"), out .. "/d7.out")
    zip.CloseArchive(2)
    result.progress = table.concat(progress, ",")
    result.extracted = T.readfile(out .. "/data.out") == data and T.readfile(out .. "/aes.out") == secret
      and T.readfile(out .. "/trad.out") == secret and T.readfile(out .. "/readme.out") == readme
      and T.readfile(out .. "/s7.out") == secret and T.readfile(out .. "/d7.out") == readme
    return result
  end,
}

S.scenario{
  name = "automatic ids and a reopened explicit id",
  archives = {arc},
  setup = restore,
  errors = {"Out of memory!", "Error opening zip archive " .. arc .. "!"},
  run = function()
    local id = zip.OpenArchive(nil, arc)
    local first <close> = S.discarding(id)
    zip.OpenArchive(7, arc, 1004)
    local second <close> = S.discarding(7)
    zip.AddDirectory(7, "dropped")
    zip.OpenArchive(7, arc)
    local names = {zip.GetFileAtIndex(id, 0), zip.LocateFile(7, "dropped/")}
    zip.CloseArchive(7)
    zip.CloseArchive(id)
    return names
  end,
}

S.finish()
