#!/bin/sh
# Archive reuse in the file adapter: reading every file of a 20,000-entry
# archive by path through host.open with no scan open, and listing every
# directory of a 100,000-entry archive, against PhysicsFS mounting the same
# archive, in the same run. Prints BENCH lines (see CMakeLists.txt).
set -eu

NAME=adapter-cache
. "$(dirname "$0")/lib/workplace.sh"
REF=$PROGRAMS/adapter_reference

if [ ! -f reuse20k.zip ] || [ ! -f reuse100k.zip ]; then
  "$PY" "$HERE/tree_archive.py" reuse20k.zip 100 200 60 7 reuse20k.list
  "$PY" "$HERE/tree_archive.py" reuse100k.zip 500 200 1 7
fi
settle reuse20k.zip reuse100k.zip

cat > read_all.lua <<'LUA'
-- arg: ARCHIVE LIST; reads every listed entry through host.open, no scan.
require_plugin("zip", {installadapter = true})
for name in io.lines(arg[2]) do
  local f = assert(host.open(arg[1] .. "/" .. name))
  for _ in f:lines(65536) do end
  f:close()
end
assert(host.memory().blocks == 0)
LUA

cat > list_all.lua <<'LUA'
-- arg: ARCHIVE; lists every directory with host.listdir.
require_plugin("zip", {installadapter = true})
local count = 0
local function walk(dir)
  for _, e in ipairs(host.listdir(dir)) do
    count = count + 1
    if e.type == "directory" then walk(dir .. "/" .. e.name) end
  end
end
walk(arg[1])
assert(count == 100000 + 500 + 2000, count)
LUA

now() { date +%s.%N; }
timed() { t0=$(now); "$@" >/dev/null; t1=$(now); echo "$t1 - $t0" | bc -l | sed 's/^\./0./'; }

physfs=$("$REF" physfs-read reuse20k.zip reuse20k.list)
ours=$(timed "$ORHOST" read_all.lua "$WORK/reuse20k.zip" reuse20k.list)
echo "BENCH adapter-cache-read-20k-without-scan $ours physfs $physfs"

plist=$("$REF" physfs-list reuse100k.zip)
olist=$(timed "$ORHOST" list_all.lua "$WORK/reuse100k.zip")
echo "BENCH adapter-cache-listdir-100k $olist physfs $plist"
