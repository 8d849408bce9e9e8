# Shared by tools/demo, tools/test and bench/run: where the project lives,
# where builds go, and installing the Debian packages a command needs.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Every build directory lies under here (gitignored); BUILD_ROOT moves them.
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
# The machine has few cores, shared with others: never more than two jobs.
JOBS=${JOBS:-2}

# Installs those of the named Debian packages that are missing; runs
# apt-get update once, and only when something has to be installed.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  ((${#missing[@]} == 0)) && return 0
  echo "== installing: ${missing[*]}"
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "run as root to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What every build of the module and orhost needs.
BUILD_PACKAGES=(build-essential g++ cmake pkg-config libzip-dev liblua5.4-dev zlib1g-dev libssl-dev libisal-dev libicu-dev)

# Configures (once) and builds one build directory: configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" "$@" >/dev/null &&
  cmake --build "$dir" -j "$JOBS"
}

# Builds the libFuzzer programs (clang, ASan+UBSan) in DIR: build_fuzz_targets DIR
build_fuzz_targets() {
  local dir=$1
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZIP_FUZZ=ON -DZIP_TESTS=OFF >/dev/null &&
  cmake --build "$dir" -j "$JOBS" --target fuzz_targets
}

# The fuzz programs built in DIR, one a line: every target of fuzz/CMakeLists.txt.
fuzz_target_programs() {
  local target
  for target in "$1"/fuzz/fuzz_*; do
    [[ -f $target && -x $target ]] && echo "$target"
  done
}

# The regression folder of fuzz program NAME: fuzz_X keeps the inputs that
# once broke it in tests/data/fuzz-regressions/X (the folder may not exist).
fuzz_regression_folder() { echo "$ROOT/tests/data/fuzz-regressions/${1#fuzz_}"; }
