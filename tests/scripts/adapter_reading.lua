-- Reading files inside archives through the host's file functions.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local function bytes(n, seed)
  local t = {}
  for i = 1, n do t[i] = string.char((i * 7 + (seed or 0)) % 251) end
  return table.concat(t)
end

local hundred = bytes(100)
local big = bytes(200000, 3)
local arc = T.path("r.zip")
T.pyzip(arc, {
  {"hundred.bin", hundred, method = "stored"},
  {"big.bin", big},
  {"Mixed/Case.TXT", "case", method = "stored"},
  {"empty", ""},
})

T.case("an entry of 100 bytes reads as 64, then 36, then nothing", function()
  local f = assert(host.open(arc .. "/hundred.bin"))
  T.eq(f:servedby(), "Zip")
  T.eq(f:read(64), hundred:sub(1, 64))
  T.eq(f:eof(), false)
  T.eq(f:read(64), hundred:sub(65))
  T.eq(f:eof(), true)
  T.eq(f:read(64), nil)
  f:close()
end)

T.case("a seek past the end returns the old position and reads nothing", function()
  local f = assert(host.open(arc .. "/hundred.bin"))
  f:read(10)
  T.eq(f:seek("set", 200), 10)
  T.eq(f:read(5), nil)
  T.eq(f:eof(), true)
  T.eq(f:seek("cur", 0), 200)
  f:close()
end)

T.case("a seek before the start fails and keeps the position", function()
  local f = assert(host.open(arc .. "/hundred.bin"))
  f:read(10)
  T.eq(f:seek("set", -1), nil)
  T.eq(f:seek("cur", -11), nil)
  T.eq(f:seek("end", -101), nil)
  T.eq(f:seek("cur", 0), 10)
  T.eq(f:read(3), hundred:sub(11, 13))
  T.eq(f:seek("end", -100), 13)
  T.eq(f:read(2), hundred:sub(1, 2))
  f:close()
end)

T.case("seek forward into a deflated entry, then back (reopen)", function()
  local f = assert(host.open(arc .. "/big.bin"))
  T.eq(f:seek("set", 70000), 0)
  T.eq(f:read(10), big:sub(70001, 70010))
  T.eq(f:seek("set", 0), 70010)
  T.eq(f:read(10), big:sub(1, 10))
  T.eq(f:seek("end", -5), 10)
  T.eq(f:read(100), big:sub(-5))
  T.eq(f:seek("cur", -105), 200000)
  T.eq(f:read(100), big:sub(199896, 199995))
  f:close()
end)

T.case("the whole entry reads back in odd chunks", function()
  local f = assert(host.open(arc .. "/big.bin"))
  local parts = {}
  repeat
    local s = f:read(4099)
    parts[#parts + 1] = s
  until s == nil
  T.ok(table.concat(parts) == big, "contents equal")
  f:close()
end)

T.case("getc reads bytes and gives nil at the end", function()
  local f = assert(host.open(arc .. "/Mixed/Case.TXT"))
  T.eq(f:getc(), string.byte("c"))
  f:seek("end", -1)
  T.eq(f:getc(), string.byte("e"))
  T.eq(f:getc(), nil)
  f:close()
end)

T.case("files are found in any case; stat reports the stored name", function()
  local f = assert(host.open(arc .. "/mixed/case.txt"))
  T.eq(f:read(10), "case")
  f:seek("set", 0)
  T.eq(f:read(2), "ca", "reopen after moving back")
  local s = f:stat()
  T.eq(s.type, "file")
  T.eq(s.size, 4)
  T.eq(s.time, "17-May-2020 10:30:00")
  T.eq(s.name, arc .. "/Mixed/Case.TXT")
  T.eq(f:stat({fullname = true}).name, arc .. "/Mixed/Case.TXT")
  f:close()
end)

T.case("an empty entry is at its end at once", function()
  local f = assert(host.open(arc .. "/empty"))
  T.eq(f:eof(), true)
  T.eq(f:read(1), nil)
  f:close()
end)

T.case("sequential mode: only the start, the end and here", function()
  local f = assert(host.open(arc .. "/big.bin", "r", {sequential = true}))
  T.eq(f:seek("set", 5), nil)
  T.eq(f:seek("cur", 1), nil)
  T.eq(f:seek("end", 0), 0)
  T.eq(f:seek("cur", 0), 200000, "size learnt from the end")
  T.eq(f:seek("set", 0), 200000)
  T.eq(f:read(20), big:sub(1, 20))
  T.eq(f:read(20), big:sub(21, 40))
  T.eq(f:seek("set", 0), 40, "rewind after reading")
  T.eq(f:read(20), big:sub(1, 20))
  f:close()
end)

T.case("sequential reads to the end check the entry", function()
  local f = assert(host.open(arc .. "/hundred.bin", "r", {sequential = true}))
  T.eq(f:read(1000), hundred)
  T.eq(f:eof(), true)
  f:close()
end)

T.case("a reading handle refuses writes and flushes as nothing", function()
  local f = assert(host.open(arc .. "/hundred.bin"))
  T.eq(f:write("xyz"), 0)
  T.eq(f:read(3), hundred:sub(1, 3))
  f:flush()
  f:close()
end)

T.case("the archive itself and missing entries are not served", function()
  local f = assert(host.open(arc))
  T.eq(f:servedby(), nil, "archive file by the host")
  f:close()
  T.eq(host.open(arc .. "/nothing"), nil)
  T.eq(host.open(T.path("missing.zip/x")), nil)
end)

T.case("a FIFO named like an archive is declined at once, never opened", function()
  local p = T.path("fifo.zip")
  T.ok(os.execute("mkfifo '" .. p .. "'"), "mkfifo")
  for _, mode in ipairs({1005, 1004}) do
    T.err(function() zip.OpenArchive(1, p, mode) end, "Error opening zip archive " .. p .. "!")
  end
  T.eq(host.readfile(p .. "/a.txt"), nil)
  T.eq(host.opendir(p), nil)
  T.eq(host.stat(p .. "/a.txt"), nil)
  T.eq(host.writefile(p .. "/a.txt", "x"), false)
  T.eq(host.mkdir(p .. "/d"), false)
end)

T.case("no host memory grows with the number of reads", function()
  local f = assert(host.open(arc .. "/big.bin"))
  f:seek("set", 1000)
  f:read(100)  -- buffers are taken at the first read and the first skip
  local before = host.memory().bytes
  for i = 1, 20 do
    f:seek("set", (i * 9973) % 190000)
    f:read(100)
  end
  T.eq(host.memory().bytes, before)
  f:close()
end)

T.finish()
