#!/bin/sh
# Random access through the file adapter: 1,000 reads of 4 KiB at random
# positions of a 256 MiB stored entry and of a 256 MiB deflated one, through
# one handle, then again through a second handle after the first closed.
# References in the same run: the same reads on the plain file through the
# host (stored), one sequential read of the whole deflated entry through
# the adapter (deflated), and PhysicsFS mounting the same archive (its
# deflated reads on the first 100 positions, scaled to 1,000). All times are
# CPU seconds of the reading process, archive opening included.
# Prints BENCH lines (see CMakeLists.txt).
set -eu

READS=${BENCH_SEEK_READS:-1000}
MIB=${BENCH_SEEK_MIB:-256}
NAME=adapter-seek
. "$(dirname "$0")/lib/workplace.sh"
REF=$PROGRAMS/adapter_reference

if [ ! -f seek.zip ] || [ ! -f positions.txt ]; then
  "$PY" - "$MIB" "$READS" <<'PY'
import random, sys, zipfile
mib, reads = int(sys.argv[1]), int(sys.argv[2])
random.seed(11)
words = [b"archive", b"entry", b"deflate", b"header", b"central", b"stream", b"window", b"record"]
lines, written, n = [], 0, 0
while written < mib << 20:
    line = b"%08d %s\n" % (n, b" ".join(random.choice(words) for _ in range(12)))
    lines.append(line); written += len(line); n += 1
data = b"".join(lines)
open("seek.plain", "wb").write(data)
with zipfile.ZipFile("seek.zip", "w", allowZip64=True) as z:
    z.writestr(zipfile.ZipInfo("stored.dat"), data, compress_type=zipfile.ZIP_STORED)
    z.writestr(zipfile.ZipInfo("deflated.dat"), data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=6)
random.seed(42)
with open("positions.txt", "w") as out:
    for _ in range(reads):
        out.write("%d\n" % random.randrange(len(data) - 4096))
PY
fi
settle seek.zip

cat > seeks.lua <<'LUA'
-- arg: WORK; prints "what seconds" lines, CPU time of this process.
require_plugin("zip", {installadapter = true})
local work = arg[1]
local positions = {}
for line in io.lines(work .. "/positions.txt") do positions[#positions + 1] = tonumber(line) end

-- Opens path, reads 4 KiB at every position, closes: the seconds taken.
local function reads(path)
  local t0 = os.clock()
  local f = assert(host.open(path))
  for _, p in ipairs(positions) do
    f:seek("set", p)
    assert(#f:read(4096) == 4096)
  end
  f:close()
  return os.clock() - t0
end

local function sequential(path)
  local t0 = os.clock()
  local f = assert(host.open(path))
  repeat local s = f:read(65536) until not s or s == ""
  assert(f:eof(), "a read failed")
  f:close()
  return os.clock() - t0
end

local zip = work .. "/seek.zip/"
print("sequential", sequential(zip .. "deflated.dat"))
print("plain", reads(work .. "/seek.plain"))
print("stored-first", reads(zip .. "stored.dat"))
print("stored-second", reads(zip .. "stored.dat"))
print("deflated-first", reads(zip .. "deflated.dat"))
print("deflated-second", reads(zip .. "deflated.dat"))
assert(host.memory().blocks == 0)
LUA

# Both files in the page cache, for every way alike.
cat seek.plain seek.zip > /dev/null
"$ORHOST" seeks.lua "$WORK" > seeks.out
cat seeks.out
t() { awk -v k="$1" '$1 == k { print $2 }' seeks.out; }
pstored=$("$REF" physfs-seeks seek.zip stored.dat positions.txt "$READS")
pdeflated=$("$REF" physfs-seeks seek.zip deflated.dat positions.txt $((READS / 10)))
pdeflated=$(echo "$pdeflated * 10" | bc -l)
echo "BENCH adapter-seek-stored-first $(t stored-first) plain-file $(t plain)"
echo "BENCH adapter-seek-stored-second $(t stored-second) plain-file $(t plain)"
echo "BENCH adapter-seek-stored-first $(t stored-first) physfs $pstored"
echo "BENCH adapter-seek-deflated-first $(t deflated-first) sequential $(t sequential)"
echo "BENCH adapter-seek-deflated-second $(t deflated-second) sequential $(t sequential)"
echo "BENCH adapter-seek-deflated-first $(t deflated-first) physfs-x10 $pdeflated"
