#!/bin/sh
# Extraction benchmark: one 256 MiB compressible entry (deflated, then
# stored) and 20,000 small entries, each archive extracted whole with
# zip.ExtractFile through orhost, with a plain libzip loop (extract_libzip),
# with unzip, with bsdtar (libarchive) and with the ISA-L loop
# (extract_isal, the limit), best of BENCH_ROUNDS runs (default 3). Prints
# BENCH lines (see CMakeLists.txt), the throughput of each way and the peak
# memory of orhost and of the libzip loop.
set -eu

NAME=extract
. "$(dirname "$0")/lib/workplace.sh"

# The archives: made once, kept for later runs.
if [ ! -f big-deflated.zip ] || [ ! -f big-stored.zip ] || [ ! -f small.zip ]; then
  python3 - <<'PY'
import os, random
random.seed(11)
words = ["archive", "entry", "deflate", "header", "central", "directory", "stream", "source",
         "orvanel", "script", "libzip", "extract", "window", "buffer", "record", "checksum"]
os.makedirs("data/small", exist_ok=True)
with open("data/big.dat", "w") as f:
    written, n = 0, 0
    while written < 256 << 20:
        line = "%08d %s\n" % (n, " ".join(random.choice(words) for _ in range(12)))
        f.write(line); written += len(line); n += 1
    f.truncate(256 << 20)
for i in range(20000):
    with open("data/small/%05d.txt" % i, "w") as f:
        f.write(" ".join(random.choice(words) for _ in range(random.randint(16, 1200))))
PY
  (cd data && zip -q -6 ../big-deflated.zip big.dat && zip -q -0 ../big-stored.zip big.dat && zip -q -6 -r ../small.zip small)
  rm -rf data
fi

cat > extract_all.lua <<'LUA'
-- arg[1]: the archive; arg[2]: the folder to extract every entry into.
-- Prints the peak resident set of the process in KiB.
require_plugin("zip")
zip.OpenArchive(1, arg[1])
local count = host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
for i = 0, count - 1 do
  local name = zip.GetFileAtIndex(1, i)
  if name:sub(-1) == "/" then
    host.mkdir(arg[2] .. "/" .. name)
  else
    zip.ExtractFile(1, i, arg[2] .. "/" .. name)
  end
end
zip.CloseArchive(1)
for line in io.lines("/proc/self/status") do
  local peak = line:match("^VmHWM:%s*(%d+)")
  if peak then print(peak) end
end
LUA

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l | sed 's/^\./0./'; }
smaller() { echo "if ($1 < $2) $1 else $2" | bc -l | sed 's/^\./0./'; }
fresh() { rm -rf "$1" && mkdir -p "$1"; }

# The machine is shared: each way runs ROUNDS times, interleaved with the
# others so that load hits all of them alike, and its best time counts.
ROUNDS=${BENCH_ROUNDS:-3}

# measure WHAT ARCHIVE: the best of ROUNDS runs of each way, after one run
# to warm the cache; the outputs of all ways must be identical.
measure() {
  what=$1 archive=$2
  mb=$(unzip -Zt "$archive" | awk '{printf "%.1f", $3 / 1048576}')
  fresh out.warm && unzip -q "$archive" -d out.warm && rm -rf out.warm
  ours=999999 plain=999999 unzipped=999999 bsd=999999 isal=999999
  round=0
  while [ "$round" -lt "$ROUNDS" ]; do
    round=$((round + 1))
    fresh out.ours
    t0=$(now); peak=$("$ORHOST" extract_all.lua "$WORK/$archive" "$WORK/out.ours" | tail -n 1); t1=$(now)
    ours=$(smaller "$(seconds "$t0" "$t1")" "$ours")
    fresh out.plain
    t0=$(now); plainpeak=$("$PROGRAMS/extract_libzip" "$archive" out.plain); t1=$(now)
    plain=$(smaller "$(seconds "$t0" "$t1")" "$plain")
    fresh out.unzip
    t0=$(now); unzip -q "$archive" -d out.unzip; t1=$(now)
    unzipped=$(smaller "$(seconds "$t0" "$t1")" "$unzipped")
    fresh out.bsdtar
    t0=$(now); bsdtar -xf "$archive" -C out.bsdtar; t1=$(now)
    bsd=$(smaller "$(seconds "$t0" "$t1")" "$bsd")
    fresh out.isal
    t0=$(now); "$PROGRAMS/extract_isal" "$archive" out.isal > /dev/null; t1=$(now)
    isal=$(smaller "$(seconds "$t0" "$t1")" "$isal")
    for other in out.ours out.plain out.bsdtar out.isal; do diff -r "$other" out.unzip > /dev/null; done
  done
  rm -rf out.ours out.plain out.unzip out.bsdtar out.isal
  echo "BENCH extract-$what $ours libzip $plain"
  echo "BENCH extract-$what $ours unzip $unzipped"
  echo "BENCH extract-$what $ours bsdtar $bsd"
  echo "BENCH extract-$what $ours isal-loop $isal"
  printf "# %s: %s MiB out; orhost %.1f MiB/s, libzip %.1f MiB/s, unzip %.1f MiB/s, bsdtar %.1f MiB/s, ISA-L loop %.1f MiB/s\n" \
    "$what" "$mb" "$(echo "$mb / $ours" | bc -l)" "$(echo "$mb / $plain" | bc -l)" \
    "$(echo "$mb / $unzipped" | bc -l)" "$(echo "$mb / $bsd" | bc -l)" "$(echo "$mb / $isal" | bc -l)"
  printf "# %s: speed-up over libzip: orhost %.2fx, bsdtar %.2fx, ISA-L loop %.2fx\n" \
    "$what" "$(echo "$plain / $ours" | bc -l)" "$(echo "$plain / $bsd" | bc -l)" "$(echo "$plain / $isal" | bc -l)"
  printf "# %s: peak resident set orhost %s KiB, libzip loop %s KiB\n" "$what" "$peak" "$plainpeak"
}

measure big-deflated big-deflated.zip
measure big-stored big-stored.zip
measure small small.zip
