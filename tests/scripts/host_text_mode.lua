-- The host's text services as the module meets them: UTF-8 decoding for
-- code page 437 names, case folding by text mode, and host.setutf8.
local T = require("testlib")
require_plugin("zip")

-- Adds a directory named name in code page 437 and returns the name libzip
-- reads back (UTF-8), nothing written.
local function cp437(name)
  local id = zip.OpenArchive(nil, T.path("cp.zip"), 1006)
  zip.AddDirectory(id, name, {encoding = ZIP_FL_ENC_CP437})
  local back = zip.GetFileAtIndex(id, 0)
  zip.CloseArchive(id, 1)
  return back
end

T.case("valid UTF-8 decodes; every bad byte becomes one replacement", function()
  host.setutf8(true)
  T.eq(cp437("\xc3\xa4"), "\xc3\xa4/", "two-byte character")
  T.eq(cp437("a\xff\xc3"), "a??/", "invalid byte and truncated sequence at the end")
  T.eq(cp437("b\xc0\xafc"), "b??c/", "overlong form")
  T.eq(cp437("\xed\xa0\x80z"), "???z/", "surrogate")
  T.eq(cp437("d\xf0\x9f\x98\x80e"), "d?e/", "a character beyond Latin-1 counts once")
end)

T.case("in ISO-8859-1 mode bytes are characters of their own", function()
  T.eq(host.setutf8(false), false, "switched")
  T.eq(cp437("\xe4"), "\xc3\xa4/", "Latin-1 a-umlaut")
  host.setutf8(true)
end)

T.case("case folding: ASCII always, Latin-1 letters only in ISO-8859-1 mode", function()
  local path = T.path("case.zip")
  T.pyzip(path, {{"ReadMe.TXT", "r"}, {"\xc3\x84x", "a"}})
  zip.OpenArchive(1, path)
  T.eq(zip.LocateFile(1, "readme.txt", {nocase = 1}), 0, "ASCII")
  T.eq(zip.LocateFile(1, "readme.txt"), -1, "case matters without nocase")
  -- The stored name's UTF-8 lead byte 0xC3 is the Latin-1 capital A-tilde.
  T.eq(zip.LocateFile(1, "\xe3\x84x", {nocase = 1}), -1, "UTF-8 mode leaves high bytes alone")
  host.setutf8(false)
  T.eq(zip.LocateFile(1, "\xe3\x84x", {nocase = 1}), 1, "ISO-8859-1 mode folds them")
  host.setutf8(true)
  zip.CloseArchive(1)
end)

T.case("a host started with --latin1 tells the plug-in at once", function()
  local script = T.path("latin1.lua")
  T.writefile(script, [[
    require_plugin("zip")
    local f = io.open(arg[1] .. "/src.txt", "w"); f:write("x"); f:close()
    zip.OpenArchive(1, arg[1] .. "/l1.zip", 1006)
    zip.AddFile(1, arg[1] .. "/src.txt", {newname = "caf\xe9", encoding = ZIP_FL_ENC_CP437})
    io.write(zip.GetFileAtIndex(1, 0))
    zip.CloseArchive(1, 1)
  ]])
  local out, ok = T.sh(os.getenv("ORHOST") .. " --latin1 '" .. script .. "' '" .. T.work .. "'")
  T.ok(ok, "orhost ran: " .. out)
  T.eq(out, "caf\xc3\xa9", "the Latin-1 byte was taken as a character, not as bad UTF-8")
end)

T.finish()
