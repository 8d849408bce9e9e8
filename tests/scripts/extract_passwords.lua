-- Which password decrypts an entry: the "password" option when given,
-- else the archive's default password.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local text = string.rep("under lock and key ", 2000)
T.writefile(T.path("locked.txt"), text)
local archive = T.path("locked.zip")
do
  local out, ok = T.sh("cd '" .. T.work .. "' && zip -q -P right locked.zip locked.txt")
  assert(ok, "zip failed: " .. out)
end
local dst = T.path("out.txt")

local function withArchive(fn) T.withArchive(archive, fn) end

T.case("the default password is used without the option", function()
  withArchive(function()
    zip.SetDefaultPassword(1, "right")
    zip.ExtractFile(1, 0, dst)
    T.eq(T.readfile(dst), text, "content")
    zip.ExtractFile(1, 0, dst, {callback = function() end})
    T.eq(T.readfile(dst), text, "a table without password too")
  end)
end)

T.case("the option wins over a wrong default password", function()
  withArchive(function()
    zip.SetDefaultPassword(1, "wrong")
    zip.ExtractFile(1, 0, dst, {password = "right"})
    T.eq(T.readfile(dst), text, "content")
    T.err(function() zip.ExtractFile(1, 0, dst) end, ZIPERR)
  end)
end)

T.case("a wrong option fails even with the right default", function()
  withArchive(function()
    zip.SetDefaultPassword(1, "right")
    T.err(function() zip.ExtractFile(1, 0, dst, {password = "wrong"}) end, ZIPERR)
  end)
end)

T.finish()
