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

-- The entry's year and whether python opens it with the password.
local function check()
  return T.sh(string.format([[%s -c "
import zipfile, sys
z = zipfile.ZipFile('%s'); i = z.infolist()[0]
z.read(i, pwd=b'secret'); print(i.date_time[0])"]], T.python, arc))
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
    T.eq(out, (n == 1 and os.date("%Y") or "2020") .. "\n", "the entry's year")
  end)
end

T.finish()
