#!/bin/sh
# Appending benchmark: 20 small files written one by one through the file
# adapter (host.writefile) into a 104 MB archive, against plain libzip's
# zip_open, zip_file_add and zip_close per file. Every write keeps the
# archive's data as it is, so the module's source copies it with
# copy_file_range where libzip reads and writes it in 8 KiB steps. The
# limit beside them: the same number of bare synced copies of the archive.
# Prints BENCH lines (see CMakeLists.txt) and the cost per write.
set -eu

COUNT=20
NAME=append
. "$(dirname "$0")/lib/workplace.sh"

# The archive: 400 stored entries of 260,000 random bytes (104 MB).
if [ ! -f big.zip ]; then
  python3 - <<'PY'
import random, zipfile
random.seed(5)
with zipfile.ZipFile("big.zip", "w", zipfile.ZIP_STORED) as z:
    for i in range(400):
        z.writestr("data/%03d.bin" % i, random.randbytes(260000))
PY
fi

cat > append.lua <<'LUA'
-- arg: ARCHIVE COUNT; writes COUNT small files into ARCHIVE by path.
require_plugin("zip", {installadapter = true})
for i = 1, tonumber(arg[2]) do
  assert(host.writefile(string.format("%s/added/%d.txt", arg[1], i), string.format("small entry %d\n", i)))
end
LUA

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l | sed 's/^\./0./'; }

cp big.zip ours.zip
cp big.zip plain.zip
cp big.zip floor.zip
sync
t0=$(now); "$ORHOST" append.lua "$WORK/ours.zip" "$COUNT"; t1=$(now)
ours=$(seconds "$t0" "$t1")
plain=$("$PROGRAMS/append_libzip" "$WORK/plain.zip" "$COUNT")
floor=$("$PROGRAMS/append_floor" "$WORK/floor.zip" "$COUNT")
unzip -tq ours.zip >/dev/null
[ "$(unzip -Z1 ours.zip | wc -l)" -eq $((400 + COUNT)) ]
echo "BENCH append-20-into-104MB $ours libzip $plain"
echo "BENCH append-20-into-104MB $ours synced-copy $floor"
per_write() { echo "$1 * 1000 / $COUNT" | bc -l; }
printf "# per write into %s bytes: adapter %.1f ms, libzip %.1f ms, synced copy alone %.1f ms; libzip/adapter %.2f\n" \
  "$(stat -c %s big.zip)" "$(per_write "$ours")" "$(per_write "$plain")" "$(per_write "$floor")" "$(echo "$plain / $ours" | bc -l)"
