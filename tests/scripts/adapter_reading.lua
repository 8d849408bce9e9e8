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

local NONE = {}  -- stands for nil as an expected result

T.case("reads, seeks, getc and eof on stored, deflated, empty and sequential handles", function()
  -- entry, open options, then steps: {method, arguments..., expected result}
  local cases = {
    {"hundred.bin", nil, {"servedby", "Zip"}, {"read", 64, hundred:sub(1, 64)}, {"eof", false},
     {"read", 64, hundred:sub(65)}, {"eof", true}, {"read", 64, NONE}, {"write", "xyz", NONE}},
    {"hundred.bin", nil, {"read", 10, hundred:sub(1, 10)}, {"seek", "set", 200, 200}, {"read", 5, NONE},
     {"eof", true}, {"seek", "cur", 0, 200}},  -- past the end: nothing read
    {"hundred.bin", nil, {"read", 10, hundred:sub(1, 10)}, {"seek", "set", -1, NONE}, {"seek", "cur", -11, NONE},
     {"seek", "end", -101, NONE}, {"seek", "cur", 0, 10}, {"read", 3, hundred:sub(11, 13)},
     {"seek", "end", -100, 0}, {"read", 2, hundred:sub(1, 2)}},
    {"big.bin", nil, {"seek", "set", 70000, 70000}, {"read", 10, big:sub(70001, 70010)}, {"seek", "set", 0, 0},
     {"read", 10, big:sub(1, 10)}, {"seek", "end", -5, 199995}, {"read", 100, big:sub(-5)},
     {"seek", "cur", -105, 199895}, {"read", 100, big:sub(199896, 199995)}},
    {"mixed/case.txt", nil, {"getc", string.byte("c")}, {"seek", "end", -1, 3}, {"getc", string.byte("e")},
     {"getc", NONE}, {"seek", "set", 0, 0}, {"read", 2, "ca"}},
    {"empty", nil, {"eof", true}, {"read", 1, NONE}},
    {"big.bin", {sequential = true}, {"seek", "set", 5, NONE}, {"seek", "cur", 1, NONE}, {"seek", "end", 0, 200000},
     {"seek", "cur", 0, 200000}, {"seek", "set", 0, 0}, {"read", 20, big:sub(1, 20)},
     {"read", 20, big:sub(21, 40)}, {"seek", "set", 0, 0}, {"read", 20, big:sub(1, 20)}},
    {"hundred.bin", {sequential = true}, {"read", 1000, hundred}, {"eof", true}},
  }
  for i, c in ipairs(cases) do
    local f = assert(host.open(arc .. "/" .. c[1], "r", c[2]))
    for n = 3, #c do
      local step = c[n]
      local want = step[#step]
      if want == NONE then want = nil end
      T.eq(f[step[1]](f, table.unpack(step, 2, #step - 1)), want, "case " .. i .. " step " .. (n - 2))
    end
    f:close()
  end
  local f = assert(host.open(arc .. "/mixed/case.txt"))
  local s = f:stat()
  T.ok(s.type == "file" and s.size == 4 and s.time == "17-May-2020 10:30:00", "stat")
  T.eq(s.name, arc .. "/Mixed/Case.TXT", "stat reports the stored name")
  f:close()
  T.eq(host.open(T.path("missing.zip/x")), nil, "a missing archive")
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

T.case("after a failed read a seek gives another try", function()
  local f <close> = assert(host.open(arc .. "/big.bin"))
  f:seek("set", 5000)
  host.failio("read", 1)
  local data, msg = f:read(10)
  T.ok(data == nil and msg, "the read fails")
  f:seek("set", 100)
  T.eq(f:read(10), big:sub(101, 110))
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
