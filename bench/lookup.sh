#!/bin/sh
# Lookups that ignore case, at 100,000 and 1,000,000 entries: zip.LocateFile
# with "nocase" (and with "nodir") against the exact lookup by libzip's own
# hash, its one-time index build against zip.OpenArchive, entries added
# and looked up one by one against the adds alone, and adapter stats
# by a path in upper case against stats in the stored case. Prints BENCH
# lines (see CMakeLists.txt) and the cost of one lookup.
set -eu

NAME=lookup
. "$(dirname "$0")/lib/workplace.sh"

[ -f names100k.zip ] || "$PY" "$HERE/tree_archive.py" names100k.zip 500 200 1 5 names100k.list
[ -f names1m.zip ] || "$PY" "$HERE/tree_archive.py" names1m.zip 5000 200 1 5 names1m.list
settle names100k.zip names1m.zip

cat > lookups.lua <<'LUA'
-- arg: ARCHIVE LIST LABEL N; N names spread over the archive, looked up in
-- upper case and as stored.
require_plugin("zip", {installadapter = true})
local archive, label, n = arg[1], arg[3], tonumber(arg[4])
local all = {}
for name in io.lines(arg[2]) do all[#all + 1] = name end
local picked, x = {}, 7
for i = 1, n do
  x = (x * 1103515245 + 12345) % 2147483648
  picked[i] = all[x % #all + 1]
end
local clock = os.clock
-- The seconds fn takes for every picked name, given as stored and in upper case.
local function each(fn, upper)
  local t0 = clock()
  for i = 1, n do fn(upper and picked[i]:upper() or picked[i], picked[i]) end
  return clock() - t0
end
local function bench(what, ours, reference, theirs)
  print(string.format("BENCH %s-%s %.6f %s %.6f", what, label, ours, reference, theirs))
  print(string.format("# %s-%s: %.2f us each, %s %.2f us", what, label, ours * 1e6 / n, reference, theirs * 1e6 / n))
end

local t0 = clock()
zip.OpenArchive(1, archive)
local open = clock() - t0
t0 = clock()
assert(zip.LocateFile(1, picked[1]:upper(), {nocase = 1}) >= 0)
local build = clock() - t0
print(string.format("BENCH lookup-index-build-%s %.6f zip.OpenArchive %.6f", label, build, open))
t0 = clock()
assert(zip.LocateFile(1, picked[1]:upper():match("[^/]*$"), {nocase = 1, nodir = 1}) >= 0)
print(string.format("BENCH lookup-nodir-index-build-%s %.6f zip.OpenArchive %.6f", label, clock() - t0, open))
local exact = each(function(name) assert(zip.LocateFile(1, name) >= 0) end)
bench("lookup-nocase", each(function(name) assert(zip.LocateFile(1, name, {nocase = 1}) >= 0) end, true), "exact", exact)
local lastParts = each(function(name) assert(zip.LocateFile(1, name:match("[^/]*$"), {nocase = 1, nodir = 1}) >= 0) end, true)
bench("lookup-nocase-nodir", lastParts, "exact", exact)
zip.CloseArchive(1)
-- n new entries, each looked up ignoring case right after it was added
-- (the index built before).
local function adds(lookups)
  zip.OpenArchive(2, archive, 1004)
  if lookups then zip.LocateFile(2, "-", {nocase = 1}) end
  local t = clock()
  for i = 1, n do
    zip.AddDirectory(2, "new" .. i)
    if lookups then assert(zip.LocateFile(2, "NEW" .. i .. "/", {nocase = 1}) >= 0) end
  end
  t = clock() - t
  zip.CloseArchive(2, 1)
  return t
end
bench("lookup-adds-then-nocase", adds(true), "adds-only", adds(false))

t0 = clock()
assert(host.stat(archive .. "/" .. picked[1]:upper()))
print(string.format("BENCH adapter-stat-first-%s %.6f zip.OpenArchive %.6f", label, clock() - t0, open))
local stored = each(function(name) assert(host.stat(archive .. "/" .. name)) end)
bench("adapter-stat-other-case", each(function(name) assert(host.stat(archive .. "/" .. name)) end, true), "same-case", stored)
LUA

"$ORHOST" lookups.lua "$WORK/names100k.zip" names100k.list 100k 20000
"$ORHOST" lookups.lua "$WORK/names1m.zip" names1m.list 1m 20000
