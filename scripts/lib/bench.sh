# Shared by the benchmark scripts (scripts/bench and its parts
# scripts/bench-*): build trees, their own Wine prefix, random test files and
# the rows of the results table.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

KAVI_BENCH_DIR="$KAVI_ROOT/build/bench"
# The Windows build that runs under Wine here: the shipped 32-bit one, or
# the 64-bit one where the kernel starts no 32-bit programs. Rows measured
# under Wine name it (KAVI_BENCH_WIN_LABEL).
kavi_choose_wine_arch
KAVI_BENCH_WIN_LABEL="$KAVI_WINE_ARCH-bit build"
# The usual build trees unless others are named (an engineer's own trees).
KAVI_BENCH_WIN_BUILD=${KAVI_BENCH_WIN_BUILD:-$KAVI_ROOT/build/$KAVI_WIN_BUILD}
KAVI_BENCH_NATIVE_BUILD=${KAVI_BENCH_NATIVE_BUILD:-$KAVI_ROOT/build/native}
# A Wine prefix of the benchmarks' own (build/bench/wine, or wine64): they
# end every Wine process of their prefix when done, which must not hit a
# test run in the project's prefix; and kavi.exe's single-instance mutex and
# the timings stay apart from other Wine programs.
[ "$KAVI_WINE_ARCH" = 64 ] && bench_wine=wine64 || bench_wine=wine
export KAVI_WINE_DIR=${KAVI_WINE_DIR:-$KAVI_BENCH_DIR/$bench_wine}

# kavi_bench_build win|native TARGET...: configures the tree the first time
# and builds the targets (win: the Windows build that runs here);
# scripts/bench builds everything once up front.
kavi_bench_build() {
  local preset=$1 dir output
  shift
  [ -z "${KAVI_BENCH_BUILT:-}" ] || return 0
  if [ "$preset" = win ]; then
    preset=$KAVI_WIN_BUILD
    dir=$KAVI_BENCH_WIN_BUILD
  else
    dir=$KAVI_BENCH_NATIVE_BUILD
  fi
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    output=$(cmake --preset "$preset" -B "$dir" 2>&1) || { echo "$output"; return 1; }
  fi
  output=$(cmake --build "$dir" -j2 --target "$@" 2>&1) || { echo "$output"; return 1; }
}

# The Windows form of a Linux path (Wine's Z: drive).
kavi_win_path() {
  local path=${1//\//\\}
  echo "Z:$path"
}

# kavi_bench_on_exit COMMAND: runs COMMAND when the script exits, before
# whatever was set to run then already. A clean-up that fails (a server
# already gone) must not turn the script's status into a failure under
# set -e, so each runs as a condition.
kavi_bench_on_exit() {
  local previous
  previous=$(trap -p EXIT)
  previous=${previous#"trap -- '"}
  previous=${previous%"' EXIT"}
  trap "{ $1; } || true; ${previous:-:}" EXIT
}

# A virtual display when there is none; when the script exits, the Wine
# processes of the benchmarks' prefix end (and the display, if ours).
kavi_bench_display() {
  kavi_before_display_stop() { WINEPREFIX="$KAVI_WINE_DIR/prefix" wineserver -k 2>/dev/null; }
  kavi_ensure_display
  # kavi_ensure_display has set its own exit trap when it started a display.
  [ -n "${KAVI_XVFB_PID:-}" ] || kavi_bench_on_exit kavi_before_display_stop
}

# kavi_bench_file SIZE_MB: prints the path of a file of SIZE_MB MiB of random
# bytes, written the first time and kept for later runs.
kavi_bench_file() {
  local bytes=$(($1 * 1048576))
  local path="$KAVI_BENCH_DIR/files/random-${1}m.bin"
  if [ ! -f "$path" ] || [ "$(stat -c %s "$path")" -ne "$bytes" ]; then
    mkdir -p "$KAVI_BENCH_DIR/files"
    echo "bench: writing a $1 MiB test file" >&2
    head -c "$bytes" /dev/urandom >"$path.part"
    mv "$path.part" "$path"
  fi
  echo "$path"
}

# The web server of the download benchmark, installed when missing. The
# package would start nginx as a system service on port 80; a temporary
# policy-rc.d keeps it from starting.
kavi_bench_need_nginx() {
  [ -x /usr/sbin/nginx ] && return 0
  local sudo="" policy=/usr/sbin/policy-rc.d ours=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "bench: installing nginx-light" >&2
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod +x "$policy"
    ours=1
  fi
  local status=0
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    --no-install-recommends nginx-light >/dev/null || status=$?
  [ -z "$ours" ] || $sudo rm -f "$policy"
  return $status
}

# Rows of the results table. A part run on its own prints a table of its
# rows; under scripts/bench every part adds to the one table.
kavi_bench_results_begin() {
  [ -z "${KAVI_BENCH_RESULTS:-}" ] || return 0
  mkdir -p "$KAVI_BENCH_DIR"
  export KAVI_BENCH_RESULTS="$KAVI_BENCH_DIR/results-$$.tsv"
  KAVI_BENCH_OWN_TABLE=1
  : >"$KAVI_BENCH_RESULTS"
}

# kavi_bench_record NAME OURS REFERENCE UNIT lower|higher
kavi_bench_record() {
  printf '%s\t%s\t%s\t%s\t%s\n' "$@" >>"$KAVI_BENCH_RESULTS"
}

kavi_bench_results_end() {
  [ -n "${KAVI_BENCH_OWN_TABLE:-}" ] || return 0
  echo
  python3 "$KAVI_ROOT/scripts/lib/bench_table.py" "$KAVI_BENCH_RESULTS"
  rm -f "$KAVI_BENCH_RESULTS"
}
