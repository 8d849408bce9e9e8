-- A file added with traditional encryption stays readable when the host
-- fails to tell its date at any one of the times libzip asks: the entry
-- gets one date (the file's, or the time of writing), and the encryption
-- header's check byte agrees with it.
local T = require("testlib")
require_plugin("zip")

local source = T.path("old.txt")
T.writefile(source, string.rep("dated", 200))
os.execute("touch -d '2020-01-01 10:00:00' '" .. source .. "'")
local arc = T.path("trad.zip")

-- The system's python starts far faster than a version manager's shim.
local python = io.open("/usr/bin/python3") and "/usr/bin/python3" or "python3"

-- The entry's year and whether python opens it with the password.
local function check()
  return T.sh(string.format([[%s -c "
import zipfile, sys
z = zipfile.ZipFile('%s'); i = z.infolist()[0]
z.read(i, pwd=b'secret'); print(i.date_time[0])"]], python, arc))
end

for n = 0, 3 do
  T.case("examine number " .. n .. " fails while the encrypted entry is written", function()
    os.remove(arc)
    zip.OpenArchive(1, arc, 1006)
    zip.AddFile(1, source, {encryption = ZIP_EM_TRAD_PKWARE, password = "secret"})
    if n > 0 then host.failio("examine", n) end
    zip.CloseArchive(1)
    host.failio("examine", 0)
    local out, ok = check()
    T.ok(ok, "the entry opens with its password: " .. out)
    if n ~= 1 then T.eq(out, "2020\n", "the file's date") end
  end)
end

T.case("without any date the entry is dated at the time of writing", function()
  os.remove(arc)
  zip.OpenArchive(1, arc, 1006)
  zip.AddFile(1, source, {encryption = ZIP_EM_TRAD_PKWARE, password = "secret"})
  host.failio("examine", 1)
  zip.CloseArchive(1)
  local out, ok = check()
  T.ok(ok, "the entry opens with its password: " .. out)
  T.eq(out, os.date("%Y") .. "\n", "the current year")
  zip.OpenArchive(1, arc)
  local attributes = zip.GetFileAttributes(1, 0)
  zip.CloseArchive(1)
  T.ok(attributes.time:find(os.date("%Y"), 1, true), "the time of writing: " .. attributes.time)
end)

T.finish()
