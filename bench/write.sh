#!/bin/sh
# Writing benchmark: one 256 MiB compressible file, then 20,000 small files
# (fewer when the open-file limit is lower: every file added with zip.AddFile
# stays open until the close), each written once with zip.AddFile + zip.CloseArchive through orhost, with
# plain libzip (zip_source_file, same default compression) and with
# Info-ZIP's zip -6. Prints BENCH lines (see CMakeLists.txt) and the
# throughput of each way.
set -eu

ORHOST=${ORHOST:?the orhost to measure}
WORK=${BENCH_WORK:-/tmp/zip-bench-write}
PROGRAMS=${BENCH_PROGRAMS:-$(dirname "$ORHOST")/bench/programs}
mkdir -p "$WORK"
cd "$WORK"

# The data: made once, kept for later runs.
printf '%s/big/big.dat\tbig/big.dat\n' "$WORK" > big.list
if [ ! -f big/big.dat ] || [ ! -f small.list ]; then
  python3 - <<'PY'
import os, random
random.seed(7)
os.makedirs("big", exist_ok=True)
words = ["archive", "entry", "deflate", "header", "central", "directory", "stream", "source",
         "orvanel", "script", "libzip", "compress", "window", "buffer", "record", "checksum"]
with open("big/big.dat", "w") as f:
    written, n = 0, 0
    while written < 256 << 20:
        line = "%08d %s\n" % (n, " ".join(random.choice(words) for _ in range(12)))
        f.write(line); written += len(line); n += 1
    f.truncate(256 << 20)
os.makedirs("small", exist_ok=True)
with open("small.list", "w") as lst:
    for i in range(20000):
        name = "small/%05d.txt" % i
        with open(name, "w") as f:
            f.write(" ".join(random.choice(words) for _ in range(random.randint(16, 1200))))
        lst.write("%s/%s\t%s\n" % (os.getcwd(), name, name))
PY
fi

cat > add_files.lua <<'LUA'
-- arg[1]: the archive to write; arg[2]: the list of "path<TAB>name" lines.
require_plugin("zip")
zip.OpenArchive(1, arg[1], 1006)
for line in io.lines(arg[2]) do
  local path, name = line:match("^(.-)\t(.*)$")
  zip.AddFile(1, path, {newname = name})
end
zip.CloseArchive(1)
LUA

# As many small files as can be open at once, with room for the rest:
# zip.AddFile keeps each source open until the archive is written.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
limit=$(ulimit -n)
count=20000
if [ "$limit" != unlimited ] && [ "$limit" -lt $((count + 64)) ]; then count=$((limit - 64)); fi
head -n "$count" small.list > small.part
echo "# small: $count files (open-file limit $limit)"

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l | sed 's/^\./0./'; }

# measure WHAT LIST: one run of each way over the files of LIST.
measure() {
  what=$1 list=$2
  rm -f ours.zip plain.zip infozip.zip
  t0=$(now); "$ORHOST" add_files.lua "$WORK/ours.zip" "$list"; t1=$(now)
  ours=$(seconds "$t0" "$t1")
  plain=$("$PROGRAMS/write_libzip" "$WORK/plain.zip" "$list")
  cut -f2 "$list" > names
  t0=$(now); zip -q -6 infozip.zip -@ < names; t1=$(now)
  infozip=$(seconds "$t0" "$t1")
  unzip -tq ours.zip > /dev/null
  mb=$(cut -f1 "$list" | tr '\n' '\0' | du -cb --files0-from=- | tail -1 | awk '{printf "%.1f", $1 / 1048576}')
  echo "BENCH write-$what $ours libzip $plain"
  echo "BENCH write-$what $ours zip-6 $infozip"
  printf "# %s: %s MiB in; orhost %.1f MiB/s, libzip %.1f MiB/s, zip -6 %.1f MiB/s; ratio libzip/orhost %.3f\n" \
    "$what" "$mb" "$(echo "$mb / $ours" | bc -l)" "$(echo "$mb / $plain" | bc -l)" \
    "$(echo "$mb / $infozip" | bc -l)" "$(echo "$plain / $ours" | bc -l)"
  printf "# %s: archive sizes orhost %s, libzip %s, zip -6 %s bytes\n" "$what" \
    "$(stat -c %s ours.zip)" "$(stat -c %s plain.zip)" "$(stat -c %s infozip.zip)"
}

measure big big.list
measure small small.part
