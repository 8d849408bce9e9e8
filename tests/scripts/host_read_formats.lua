-- f:read and f:lines speak Lua's formats alike on a plain file, a stored and
-- a deflated entry and a sequential handle, which refuses to seek back: the
-- host's read buffer must never need to.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local long = string.rep("x", 10000)  -- a line longer than the read buffer
-- content, then {formats, results...} in turn; false stands for nil.
local cases = {
  {"a\nbb\r\n\nlast", {{}, "a"}, {{"L"}, "bb\r\n"}, {{"l"}, ""}, {{"*l"}, "last"}, {{"l"}, false}, {{"a"}, ""},
    {{0}, false}, {{5}, false}},
  {" 12 -3.5e2\n0x1F 1e junk", {{"n", "n", "n"}, 12, -350.0, 31}, {{"n"}, false}, {{"a"}, " junk"}},
  {"abcdef", {{2, 0, 10}, "ab", "", "cdef"}, {{0}, false}, {{"a", "a"}, "", ""}},
  {"x\n", {{"l", "l", "l"}, "x", false}},
  {long .. "\nend", {{"L"}, long .. "\n"}, {{1, "l"}, "e", "nd"}},
}

local function results(...) return select("#", ...), {...} end

local arc = T.path("formats.zip")
local entries = {}
for i, case in ipairs(cases) do
  T.writefile(T.path(i .. ".txt"), case[1])
  entries[#entries + 1] = {"s" .. i, case[1], method = "stored"}
  entries[#entries + 1] = {"d" .. i, case[1]}
end
T.pyzip(arc, entries)
local places = {
  {"plain file", function(i) return T.path(i .. ".txt") end},
  {"stored entry", function(i) return arc .. "/s" .. i end},
  {"deflated entry", function(i) return arc .. "/d" .. i end},
  {"sequential entry", function(i) return arc .. "/d" .. i end, {sequential = true}},
}

for _, place in ipairs(places) do
  T.case("read formats on a " .. place[1], function()
    for i, case in ipairs(cases) do
      local f <close> = assert(host.open(place[2](i), "r", place[3]))
      for step = 2, #case do
        local formats, want = case[step][1], {table.unpack(case[step], 2)}
        local n, got = results(f:read(table.unpack(formats)))
        local what = string.format("case %d step %d", i, step)
        T.eq(n, #case[step] - 1, what .. " count")
        for k = 1, n do
          T.eq(got[k], want[k] or nil, what .. " result " .. k)
          T.eq(math.type(got[k]), math.type(want[k]), what .. " type " .. k)
        end
      end
    end
  end)

  T.case("lines, seeks and getc on a " .. place[1], function()
    local f <close> = assert(host.open(place[2](1), "r", place[3]))
    local lines = {}
    for line in f:lines("L") do lines[#lines + 1] = line end
    T.eq(table.concat(lines, "|"), "a\n|bb\r\n|\n|last", "lines")
    T.eq(f:read("a"), "", "the file stays open at its end")
    local g <close> = assert(host.open(place[2](2), "r", place[3]))
    local pairs = {}
    for a, b in g:lines(1, 2) do pairs[#pairs + 1] = a .. b end
    T.eq(table.concat(pairs, "|"), " 12| -3|.5e|2\n0|x1F| 1e| ju|nk", "lines with two counts")
    if place[3] then return end  -- a sequential handle moves only to the start or the end
    T.eq(f:seek("set", 2), 2, "seek from the end of the lines")
    T.eq(f:read("l"), "bb\r", "read after seek")
    T.eq(f:seek(), 6, "the position handed out, not the buffer's")
    T.eq(f:seek("cur", -4), 2, "back inside what was read ahead")
    T.eq(f:getc(), string.byte("b"), "getc")
    T.eq(f:read("l"), "b\r", "line after getc")
    T.eq(f:seek("end", -4), 7, "seek from the end")
    T.eq(f:read(2), "la", "read after seek from the end")
  end)
end

T.case("writes and putc go where the reader is, not where the buffer is", function()
  local path = T.path("rw.txt")
  T.writefile(path, "0123456789")
  local f <close> = assert(host.open(path, "rw"))
  T.eq(f:read(2), "01")
  T.eq(f:write("ab"), f)
  T.eq(f:read(2), "45")
  T.eq(f:putc(string.byte("Z")), true)
  T.eq(f:read("a"), "789")
  f:close()
  T.eq(T.readfile(path), "01ab45Z789")
end)

T.case("bad formats raise as in Lua; a closed file stops its lines", function()
  T.writefile(T.path("b.txt"), "b")
  local f = assert(host.open(T.path("b.txt")))
  T.raises(function() f:read("x") end, "bad argument #1 to 'read' (invalid format)")
  T.raises(function() f:read(-1) end, "bad argument #1 to 'read' (negative count)")
  T.raises(function() f:read(1.5) end, "bad argument #1 to 'read' (number has no integer representation)")
  local next = f:lines()
  f:close()
  T.raises(next, "file is already closed")
end)

T.finish()
