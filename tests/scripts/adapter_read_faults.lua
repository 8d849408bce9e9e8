-- Allocation and host I/O failures while reading and scanning: a clean
-- failure, nothing leaked, and the registry still working afterwards.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local arc = T.path("f.zip")
T.pyzip(arc, {{"d1/", ""}, {"d1/a", "A"}, {"d1/b", "B"}, {"d2/c", "C"}, {"d3/e/f", "F"}, {"top", "TOP"}})

local function names(list)
  local out = {}
  for i, e in ipairs(list) do out[i] = e.name end
  return table.concat(out, ",")
end

-- Runs op with the n-th allocation (of tag, or of any tag) failing, for
-- n = 1 .. 8: each run must give the good result or a clean failure (nil)
-- and leave no host memory behind.
local function sweep(tag, op, good)
  for n = 1, 8 do
    host.failalloc(n, tag)
    local result = op()
    host.failalloc(0)
    local what = tostring(tag) .. " failure " .. n
    T.eq(T.blocks(), 0, what .. " leaked")
    if result ~= nil then T.eq(result, good, what) end
  end
  T.eq(op(), good, "after the failures")
end

local function listRoot()
  local ok, list = pcall(host.listdir, arc)
  if not ok or not list then return nil end
  local s = names(list)
  return s ~= "" and s or nil
end

local function readTop()
  local f = host.open(arc .. "/top")
  if not f then return nil end
  local s = f:read(10)
  if s == "" and not f:eof() then s = nil end  -- a failed read
  f:close()
  return s
end

T.case("allocation failures while scanning", function()
  for _, tag in ipairs({"zipplug", "zipentries"}) do
    sweep(tag, listRoot, "d1,d2,d3,top")
  end
end)

T.case("allocation failures while opening a file", function()
  sweep("zipfile", readTop, "TOP")
  sweep("scb", readTop, "TOP")
  sweep(nil, readTop, "TOP")
end)

T.case("allocation failure of an allocated name", function()
  local d = assert(host.opendir(arc .. "/d1"))
  local f = assert(host.open(arc .. "/top"))
  host.failalloc(1, "fullpath")
  T.eq(f:stat({fullname = true}), nil)
  host.failalloc(1, "fullpath")
  T.eq(d:stat({fullname = true}), nil)
  T.eq(f:stat({fullname = true}).name, arc .. "/top")
  -- without the flag the name lies in the shared buffer: nothing allocated
  host.failalloc(1, "fullpath")
  T.eq(f:stat().name, arc .. "/top")
  T.eq(d:stat().name, arc .. "/d1")
  T.eq(f:stat({fullname = true}), nil, "the planned failure is still ahead")
  f:close() d:close()
end)

T.case("a failing child scan leaves its root registered and working", function()
  local d = assert(host.opendir(arc))
  host.failalloc(1, "zipentries")
  T.eq(host.opendir(arc .. "/d1"), nil)
  T.eq(names(host.listdir(arc .. "/d1")), "a,b")
  host.failalloc(1, "zipfile")
  T.eq(host.open(arc .. "/top"), nil)
  T.eq(host.readfile(arc .. "/top"), "TOP")
  T.eq(d:next().name, "d1")
  d:close()
end)

T.case("host I/O failures while opening and reading", function()
  for _, op in ipairs({"open", "read", "seek"}) do
    for n = 1, 6 do
      host.failio(op, n)
      local f = host.open(arc .. "/top")
      local s = f and f:read(10)
      if f then f:close() end
      host.failio(op, 0)
      T.ok(s == nil or s == "TOP" or s == "", op .. " failure " .. n .. " gave " .. tostring(s))
      T.eq(T.blocks(), 0, op .. " failure " .. n .. " leaked")
    end
  end
  T.eq(readTop(), "TOP")
end)

T.finish()
