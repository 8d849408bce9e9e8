-- zip.ExtractFile's progress reports: one per 64 KiB chunk, the fraction
-- formed before the multiplication by 100, exactly one report for entries
-- up to 64 KiB, none for empty ones, and the fields of the report table.
local T = require("testlib")
require_plugin("zip")

local sizes = {empty = 0, exact = 65536, plus = 65537, hundred = 6553600}
local data = {}
for name, size in pairs(sizes) do
  data[name] = string.rep("0123456789abcdef", size // 16 + 1):sub(1, size)
end
local archive = T.path("sizes.zip")
T.pyzip(archive, {
  {"empty", data.empty},                          -- 0
  {"exact", data.exact, method = "stored"},       -- 1
  {"plus", data.plus},                            -- 2
  {"hundred", data.hundred},                      -- 3
  {"dir/", "", method = "stored"},                -- 4
})

-- Extracts entry index of archive 1 to dst and returns the reports.
local function extract(index, dst, extra)
  local reports = {}
  local options = {callback = function(t) reports[#reports + 1] = t end}
  for k, v in pairs(extra or {}) do options[k] = v end
  zip.ExtractFile(1, index, dst, options)
  return reports
end

local function progressList(reports)
  local list = {}
  for i, r in ipairs(reports) do list[i] = r.progress end
  return table.concat(list, ",")
end

local function withArchive(fn) T.withArchive(archive, fn) end

T.case("an empty entry makes an empty file and no report", function()
  withArchive(function()
    local dst = T.path("empty.out")
    T.eq(#extract(0, dst), 0, "reports")
    T.eq(T.readfile(dst), "", "content")
    local dirOut = T.path("dir.out")
    T.eq(#extract(4, dirOut), 0, "directory reports")
    T.eq(T.readfile(dirOut), "", "directory content")
  end)
end)

T.case("an entry of exactly 64 KiB reports 100 once", function()
  withArchive(function()
    local dst = T.path("exact.out")
    T.eq(progressList(extract(1, dst)), "100", "progress")
    T.eq(T.readfile(dst), data.exact, "content")
  end)
end)

T.case("one byte more gives 99, then 100", function()
  withArchive(function()
    local dst = T.path("plus.out")
    T.eq(progressList(extract(2, dst)), "99,100", "progress")
    T.eq(T.readfile(dst), data.plus, "content")
  end)
end)

T.case("100 chunks report the chunk number, except 29, 57 and 58", function()
  withArchive(function()
    local dst = T.path("hundred.out")
    local want = {}
    for i = 1, 100 do want[i] = i end
    want[29], want[57], want[58] = 28, 56, 57
    T.eq(progressList(extract(3, dst)), table.concat(want, ","), "progress")
    T.eq(T.readfile(dst), data.hundred, "content")
  end)
end)

T.case("without userdata the report has action, id and progress only", function()
  withArchive(function()
    local r = extract(1, T.path("fields.out"))[1]
    local keys = {}
    for k in pairs(r) do keys[#keys + 1] = k end
    table.sort(keys)
    T.eq(table.concat(keys, ","), "action,id,progress", "fields")
    T.eq(r.action, "ExtractFile", "action")
    T.eq(r.id, 1, "numeric id")
    T.eq(math.type(r.progress), "integer", "progress is an integer")
  end)
end)

T.case("userdata comes back as the very value given, false included", function()
  withArchive(function()
    local token = {}
    T.eq(extract(2, T.path("u1.out"), {userdata = token})[2].userdata, token, "table userdata")
    T.eq(extract(1, T.path("u2.out"), {userdata = false})[1].userdata, false, "false userdata")
    T.eq(extract(1, T.path("u3.out"), {userdata = "x"})[1].userdata, "x", "string userdata")
  end)
end)

T.case("an automatic id is reported as the value OpenArchive returned", function()
  local id = zip.OpenArchive(nil, archive)
  local seen
  zip.ExtractFile(id, 1, T.path("auto.out"), {callback = function(t) seen = t.id end})
  zip.CloseArchive(id)
  T.eq(seen, id, "automatic id")
end)

T.case("a callback's return values never stop the extraction", function()
  withArchive(function()
    local calls = 0
    local dst = T.path("returns.out")
    zip.ExtractFile(1, 3, dst, {callback = function() calls = calls + 1; return false, "stop", 0 end})
    T.eq(calls, 100, "calls")
    T.eq(#T.readfile(dst), sizes.hundred, "size")
  end)
end)

T.case("a callback's error stops the extraction with that error", function()
  withArchive(function()
    local calls = 0
    local dst = T.path("stopped.out")
    local msg = T.err(function()
      zip.ExtractFile(1, 3, dst, {callback = function()
        calls = calls + 1
        if calls == 3 then error("enough now") end
      end})
    end, "enough now", true)
    T.eq(calls, 3, "calls")
    T.eq(#T.readfile(dst), 3 * 65536, "the partial file stays")
    T.ok(not msg:find("zip error"), "not a zip error")
    -- the archive is still usable and the stack was left clean
    zip.ExtractFile(1, 1, dst)
    T.eq(T.readfile(dst), data.exact, "extract after error")
  end)
end)

T.case("no table or a table without callback reports nothing", function()
  withArchive(function()
    local dst = T.path("plain.out")
    zip.ExtractFile(1, 2, dst)
    T.eq(T.readfile(dst), data.plus, "without table")
    zip.ExtractFile(1, 3, dst, {userdata = 5})
    T.eq(T.readfile(dst), data.hundred, "userdata only")
  end)
end)

T.finish()
