-- Every code 1-255 converted to code page 437, in both text modes, checked
-- against python3's cp437 codec: the bytes written must be what the codec
-- gives for that character, "?" where code page 437 has none (controls
-- and C1 codes included), and the pilcrow and section sign go to 0x14 and
-- 0x15.
local T = require("testlib")
require_plugin("zip")

-- Expected byte of each code, hex, from python3's codec.
local oracle = {}
do
  local out = T.run([[python3 -c "
for c in range(1, 256):
    if c < 0x20 or 0x7f <= c < 0xa0: b = b'?'
    elif c == 0xb6: b = b'\x14'
    elif c == 0xa7: b = b'\x15'
    else:
        try: b = chr(c).encode('cp437')
        except UnicodeEncodeError: b = b'?'
    print(c, b.hex())
"]])
  for code, byte in out:gmatch("(%d+) (%x+)") do oracle[tonumber(code)] = byte end
end

-- Writes one directory entry per code, named "xHH_C" with C the character
-- in the current text mode, and returns the stored name bytes by code.
local function storedNames(file, encodeChar)
  local path = T.path(file)
  zip.OpenArchive(1, path, 1006)
  for code = 1, 255 do
    zip.AddDirectory(1, string.format("x%02x_", code) .. encodeChar(code), {encoding = ZIP_FL_ENC_CP437})
  end
  zip.CloseArchive(1)
  local out = T.zipeval(path, "' '.join(i.filename.encode('cp437').hex() for i in z.infolist() if not i.flag_bits & 0x800)")
  local names = {}
  for hex in out:gmatch("%x+") do
    local name = hex:gsub("%x%x", function(h) return string.char(tonumber(h, 16)) end)
    local code = tonumber(name:sub(2, 3), 16)
    -- "xHH_" then the converted byte, then the "/" libzip appends (a "/"
    -- of its own is not doubled).
    names[code] = (name:sub(5, 5)):byte()
  end
  return names
end

local function check(names, mode)
  local wrong = {}
  for code = 1, 255 do
    local got = names[code] and string.format("%02x", names[code]) or "none"
    if got ~= oracle[code] then wrong[#wrong + 1] = string.format("%02x->%s (want %s)", code, got, oracle[code]) end
  end
  T.eq(table.concat(wrong, " "), "", mode .. " mismatches")
end

-- Each text mode, its host.setutf8 value and how it gives a code as a character.
for _, mode in ipairs({{"UTF-8", 1, utf8.char}, {"ISO-8859-1", 0, string.char}}) do
  T.case(mode[1] .. " mode: each code as one character", function()
    host.setutf8(mode[2])
    local ok, msg = pcall(function() check(storedNames(mode[1] .. ".zip", mode[3]), mode[1]) end)
    host.setutf8(1)
    if not ok then error(msg, 0) end
  end)
end

T.finish()
