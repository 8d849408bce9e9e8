#!/bin/sh
# File adapter benchmark: reading by path through host.open (without and
# with an open scan, and walking a scan), listing every directory with
# host.listdir, random seeks in a large deflated entry and reading it from
# start to end, and writing small files one host.open per file. References
# in the same run: PhysicsFS mounting the same archive, a plain libzip loop,
# zip.AddFile, zip -g.
# Prints BENCH lines (see CMakeLists.txt) and per-file costs.
set -eu

NAME=adapter
. "$(dirname "$0")/lib/workplace.sh"
REF=$PROGRAMS/adapter_reference

# The archives: made once, kept for later runs.
if [ ! -f files20k.zip ] || [ ! -f files200.list ] || [ ! -f files100k.zip ] || [ ! -f big.zip ]; then
  "$PY" "$HERE/tree_archive.py" files20k.zip 100 200 60 11 files20k.list
  awk 'NR % 100 == 1' files20k.list > files200.list
  "$PY" "$HERE/tree_archive.py" files100k.zip 500 200 1 11
  "$PY" - <<'PY'
import random, zipfile
random.seed(11)
words = [b"archive", b"entry", b"deflate", b"header", b"central", b"stream", b"window", b"record"]
with zipfile.ZipFile("big.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("big.dat", "w", force_zip64=True) as out:
        written, n = 0, 0
        while written < 256 << 20:
            line = b"%08d %s\n" % (n, b" ".join(random.choice(words) for _ in range(12)))
            out.write(line); written += len(line); n += 1
PY
fi

cat > read_paths.lua <<'LUA'
-- arg: ARCHIVE LIST [scan]; reads every listed entry through host.open.
require_plugin("zip", {installadapter = true})
local scan = arg[3] == "scan" and assert(host.opendir(arg[1]))
local t0 = os.clock()
for name in io.lines(arg[2]) do
  local f = assert(host.open(arg[1] .. "/" .. name))
  for _ in f:lines(65536) do end
  f:close()
end
if scan then scan:close() end
assert(host.memory().blocks == 0)
LUA

cat > walk_scan.lua <<'LUA'
-- arg: ARCHIVE; walks every directory and reads each file right after the
-- scan returned it.
require_plugin("zip", {installadapter = true})
local function walk(dir)
  local d = assert(host.opendir(dir))
  local subdirs = {}
  for e in d.next, d do
    if e.type == "directory" then subdirs[#subdirs + 1] = dir .. "/" .. e.name
    else
      local f = assert(host.open(dir .. "/" .. e.name))
      for _ in f:lines(65536) do end
      f:close()
    end
  end
  for _, s in ipairs(subdirs) do walk(s) end
  d:close()
end
walk(arg[1])
LUA

cat > list_dirs.lua <<'LUA'
-- arg: ARCHIVE [LIMIT]; lists directories with host.listdir: all of them
-- while a scan of the root holds the archive, or only the first LIMIT
-- without one (each listing then opens the archive again).
require_plugin("zip", {installadapter = true})
local limit = tonumber(arg[2])
local root = not limit and assert(host.opendir(arg[1]))
local listed = 0
local function walk(dir)
  if limit and listed >= limit then return end
  listed = listed + 1
  for _, e in ipairs(host.listdir(dir)) do
    if e.type == "directory" then walk(dir .. "/" .. e.name) end
  end
end
walk(arg[1])
if root then root:close() end
LUA

cat > seeks.lua <<'LUA'
-- arg: ARCHIVE NAME N; N seeks to random positions, 4 KiB read at each.
require_plugin("zip", {installadapter = true})
local f = assert(host.open(arg[1] .. "/" .. arg[2]))
local size = f:seek("end", 0) and f:seek("cur", 0)
local x = 42
for _ = 1, tonumber(arg[3]) do
  x = (x * 1103515245 + 12345) % 2147483648
  f:seek("set", x % (size - 4096))
  assert(#f:read(4096) == 4096)
end
f:close()
LUA

cat > read_sequential.lua <<'LUA'
-- arg: ARCHIVE NAME; reads the entry from start to end, f:read(65536).
require_plugin("zip", {installadapter = true})
local f = assert(host.open(arg[1] .. "/" .. arg[2]))
repeat local s = f:read(65536) until not s or s == ""
assert(f:eof(), "a read failed")
f:close()
LUA

cat > write_files.lua <<'LUA'
-- arg: ARCHIVE N [addfile]; N small files, one host.open(..., "w") each,
-- or all with zip.AddFile and one close. Prints the seconds of each 100.
require_plugin("zip", {installadapter = true})
local n = tonumber(arg[2])
local data = string.rep("small file contents ", 20)
if arg[3] == "addfile" then
  for i = 1, n do host.writefile(string.format("src/%04d.txt", i), data) end
  zip.OpenArchive(1, arg[1], 1006)
  for i = 1, n do zip.AddFile(1, string.format("src/%04d.txt", i), {newname = string.format("f%04d.txt", i)}) end
  zip.CloseArchive(1)
  return
end
local t = os.time()
local clock = os.clock
local last = clock()
for i = 1, n do
  local f = assert(host.open(string.format("%s/f%04d.txt", arg[1], i), "w"))
  f:write(data)
  assert(f:close())
  if i % 250 == 0 then
    io.write(string.format("# adapter write: files %d-%d cost %.2f ms per file\n", i - 249, i, (clock() - last) * 1000 / 250))
    last = clock()
  end
end
LUA

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l | sed 's/^\./0./'; }
# timed COMMAND...: the wall-clock seconds the command took.
timed() { t0=$(now); "$@" >/dev/null; t1=$(now); seconds "$t0" "$t1"; }
ratio() { echo "$1 / $2" | bc -l | xargs printf "%.2f"; }

# (a) read 20,000 files by path
physfs=$("$REF" physfs-read files20k.zip files20k.list)
libzip=$("$REF" libzip-read files20k.zip files20k.list)
scan=$(timed "$ORHOST" read_paths.lua "$WORK/files20k.zip" files20k.list scan)
walk=$(timed "$ORHOST" walk_scan.lua "$WORK/files20k.zip")
echo "BENCH adapter-read-20k-with-scan $scan physfs $physfs"
echo "BENCH adapter-read-20k-with-scan $scan libzip $libzip"
echo "BENCH adapter-read-20k-walking-scan $walk physfs $physfs"
# Without a scan every open reads the central directory again: measured on
# every 100th file and scaled to per-file cost against PhysicsFS's.
physfs200=$("$REF" physfs-read files20k.zip files200.list)
noscan=$(timed "$ORHOST" read_paths.lua "$WORK/files20k.zip" files200.list)
echo "BENCH adapter-read-200-of-20k-without-scan $noscan physfs $physfs200"
printf "# (a) per file: physfs %.1f us, libzip %.1f us, adapter with scan %.1f us, walking a scan %.1f us, without scan %.1f us\n" \
  "$(echo "$physfs * 50" | bc -l)" "$(echo "$libzip * 50" | bc -l)" "$(echo "$scan * 50" | bc -l)" \
  "$(echo "$walk * 50" | bc -l)" "$(echo "$noscan * 5000" | bc -l)"

# (b) list every directory (2,501) of a 100,000-entry archive; without a
# scan holding the archive only the first 50 listings, scaled per directory.
plist=$("$REF" physfs-list files100k.zip)
alist=$(timed "$ORHOST" list_dirs.lua "$WORK/files100k.zip")
alist50=$(timed "$ORHOST" list_dirs.lua "$WORK/files100k.zip" 50)
echo "BENCH adapter-listdir-100k-with-scan $alist physfs $plist"
printf "# (b) per directory: physfs %.2f ms, adapter with a scan %.2f ms, without %.2f ms\n" \
  "$(echo "$plist * 1000 / 2501" | bc -l)" "$(echo "$alist * 1000 / 2501" | bc -l)" "$(echo "$alist50 * 1000 / 50" | bc -l)"

# (c) random seeks + reads in a 256 MiB deflated entry
pseek=$("$REF" physfs-seek big.zip big.dat 40)
lseek=$("$REF" libzip-seek big.zip big.dat 40)
aseek=$(timed "$ORHOST" seeks.lua "$WORK/big.zip" big.dat 40)
echo "BENCH adapter-seek-256MiB $aseek physfs $pseek"
echo "BENCH adapter-seek-256MiB $aseek libzip $lseek"

# (d) reading the 256 MiB deflated entry from start to end in 64 KiB reads
echo big.dat > big.list
lread=$("$REF" libzip-read big.zip big.list)
aread=$(timed "$ORHOST" read_sequential.lua "$WORK/big.zip" big.dat)
echo "BENCH adapter-read-256MiB $aread libzip $lread"
printf "# (d) sequential read: speed-up over libzip %.2fx\n" "$(echo "$lread / $aread" | bc -l)"

# Writing 1,000 small files, one host.open per file, against zip.AddFile
# with one close and zip -g per file.
rm -rf wsrc written.zip addfile.zip infozip.zip && mkdir -p wsrc
cd wsrc
awrite=$( { t0=$(now); "$ORHOST" ../write_files.lua "$WORK/written.zip" 1000 >../write_costs.txt; t1=$(now); seconds "$t0" "$t1"; } )
mkdir -p src
add=$(timed "$ORHOST" ../write_files.lua "$WORK/addfile.zip" 1000 addfile)
t0=$(now); for f in src/*.txt; do zip -q -g ../infozip.zip "$f"; done; t1=$(now)
zipg=$(seconds "$t0" "$t1")
cd ..
unzip -tq written.zip >/dev/null
echo "BENCH adapter-write-1000-files $awrite zip.AddFile $add"
echo "BENCH adapter-write-1000-files $awrite zip-g $zipg"
cat write_costs.txt
printf "# write per file: adapter %.2f ms, zip.AddFile %.2f ms, zip -g %.2f ms\n" \
  "$(echo "$awrite" | bc -l)" "$(echo "$add" | bc -l)" "$(echo "$zipg" | bc -l)"
