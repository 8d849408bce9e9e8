#!/bin/sh
# Joining libdeflate outputs against the parallel close's zlib blocks (see
# join_libdeflate.cpp), at levels 6 and 9 (libzip's default), on two
# files: big.dat, the 64 MiB text of write.sh (same words and seed), and a
# corpus of real text, the C headers under /usr/include in name order, cut
# at 64 MiB. BENCH_JOIN_MIB cuts both shorter; BENCH_ROUNDS (default 1)
# runs take the best.
set -eu

WORK=${BENCH_WORK:-/tmp/zip-bench-join}
PROGRAMS=${BENCH_PROGRAMS:?the benchmark programs}
MIB=${BENCH_JOIN_MIB:-64}
mkdir -p "$WORK"
cd "$WORK"

python3 - "$MIB" <<'PY'
import random, sys
random.seed(7)
words = ["archive", "entry", "deflate", "header", "central", "directory", "stream", "source",
         "orvanel", "script", "libzip", "compress", "window", "buffer", "record", "checksum"]
size = int(sys.argv[1]) << 20
with open("big.dat", "w") as f:
    written, n = 0, 0
    while written < size:
        line = "%08d %s\n" % (n, " ".join(random.choice(words) for _ in range(12)))
        f.write(line); written += len(line); n += 1
    f.truncate(size)
PY
find /usr/include -name '*.h' -type f | LC_ALL=C sort | xargs cat 2>/dev/null | head -c "$((MIB << 20))" > headers.txt || true

for file in big.dat headers.txt; do
  for level in 6 9; do
    "$PROGRAMS/join_libdeflate" "$file" "$level" "${BENCH_ROUNDS:-1}"
  done
done
