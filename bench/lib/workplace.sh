# Sourced by the benchmark scripts once they have set NAME: the orhost to
# measure, the reference programs, python and the bench folder (HERE); then
# enters the work folder, BENCH_WORK or /tmp/zip-bench-NAME; and settle.
ORHOST=${ORHOST:?the orhost to measure}
WORK=${BENCH_WORK:-/tmp/zip-bench-$NAME}
PROGRAMS=${BENCH_PROGRAMS:-$(dirname "$ORHOST")/bench/programs}
PY=$(command -v /usr/bin/python3 || command -v python3)
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$WORK"
cd "$WORK"

# The adapter keeps an archive (and its restart points) only once its file
# has settled (a change within the file system's time stamp tick could go
# unseen otherwise): dates the named archives, made a moment ago, back like
# ones installed earlier.
settle() { touch -d '-1 minute' "$@"; }
