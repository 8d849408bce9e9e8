#!/bin/sh
# Writing benchmark: one 64 MiB compressible text file, then 5,000 small
# files (fewer when the open-file limit is lower: every file added with
# zip.AddFile stays open until the close), each written once with
# zip.AddFile + zip.CloseArchive through orhost with the worker threads
# capped at 1 and at 2 (ZIP_THREADS), with plain libzip (zip_source_file,
# same default compression) and with Info-ZIP's zip -6, best of
# BENCH_ROUNDS runs (default 3). Prints BENCH lines (see CMakeLists.txt),
# the throughput of each way and the archive sizes.
set -eu

NAME=write
. "$(dirname "$0")/lib/workplace.sh"

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
    while written < 64 << 20:
        line = "%08d %s\n" % (n, " ".join(random.choice(words) for _ in range(12)))
        f.write(line); written += len(line); n += 1
    f.truncate(64 << 20)
os.makedirs("small", exist_ok=True)
with open("small.list", "w") as lst:
    for i in range(5000):
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
count=5000
if [ "$limit" != unlimited ] && [ "$limit" -lt $((count + 64)) ]; then count=$((limit - 64)); fi
head -n "$count" small.list > small.part
echo "# small: $count files (open-file limit $limit)"

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l | sed 's/^\./0./'; }

# ours THREADS LIST: seconds of one orhost run over LIST with at most
# THREADS worker threads, writing ours-THREADS.zip.
ours() {
  rm -f "ours-$1.zip"
  t0=$(now); ZIP_THREADS=$1 "$ORHOST" add_files.lua "$WORK/ours-$1.zip" "$2"; t1=$(now)
  unzip -tq "ours-$1.zip" > /dev/null
  seconds "$t0" "$t1"
}

# The smaller of two times.
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# The machine is shared: each way runs ROUNDS times, interleaved with the
# others, and its best run counts.
ROUNDS=${BENCH_ROUNDS:-3}

# measure WHAT LIST: the best of ROUNDS runs of each way over the files of
# LIST.
measure() {
  what=$1 list=$2
  one='' two='' plain='' infozip=''
  cut -f2 "$list" > names
  round=0
  while [ "$round" -lt "$ROUNDS" ]; do
    rm -f plain.zip infozip.zip
    one=$(best "$one" "$(ours 1 "$list")")
    two=$(best "$two" "$(ours 2 "$list")")
    plain=$(best "$plain" "$("$PROGRAMS/write_libzip" "$WORK/plain.zip" "$list")")
    t0=$(now); zip -q -6 infozip.zip -@ < names; t1=$(now)
    infozip=$(best "$infozip" "$(seconds "$t0" "$t1")")
    round=$((round + 1))
  done
  mb=$(cut -f1 "$list" | tr '\n' '\0' | du -cb --files0-from=- | tail -1 | awk '{printf "%.1f", $1 / 1048576}')
  echo "BENCH write-$what-1-thread $one libzip $plain"
  echo "BENCH write-$what-2-threads $two libzip $plain"
  echo "BENCH write-$what-2-threads $two zip-6 $infozip"
  printf "# %s: %s MiB in; orhost %.1f MiB/s (1 thread), %.1f MiB/s (2), libzip %.1f MiB/s, zip -6 %.1f MiB/s\n" \
    "$what" "$mb" "$(echo "$mb / $one" | bc -l)" "$(echo "$mb / $two" | bc -l)" "$(echo "$mb / $plain" | bc -l)" \
    "$(echo "$mb / $infozip" | bc -l)"
  printf "# %s: speed against libzip %.2fx (1 thread), %.2fx (2 threads)\n" "$what" \
    "$(echo "$plain / $one" | bc -l)" "$(echo "$plain / $two" | bc -l)"
  printf "# %s: archive sizes orhost %s (1 thread), %s (2), libzip %s, zip -6 %s bytes\n" "$what" \
    "$(stat -c %s ours-1.zip)" "$(stat -c %s ours-2.zip)" "$(stat -c %s plain.zip)" "$(stat -c %s infozip.zip)"
}

measure big big.list
measure small small.part
