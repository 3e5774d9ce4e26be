# Shared by the scripts: the repository root and a virtual display.
KAVI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Starts Xvfb on a free display when DISPLAY is unset and exports DISPLAY.
# The server is stopped when the calling script exits. KAVI_SCREEN sets its
# size (default 1280x800; a window at 144 DPI needs more).
kavi_ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${KAVI_SCREEN:-1280x800}x24" -nolisten tcp >/dev/null 2>&1 &
  KAVI_XVFB_PID=$!
  trap kavi_stop_display EXIT
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}

# Wine programs on our display end with it; a script that ran Wine defines
# kavi_before_display_stop to end them cleanly first.
kavi_stop_display() {
  if declare -F kavi_before_display_stop >/dev/null; then kavi_before_display_stop || true; fi
  [ -n "${KAVI_XVFB_PID:-}" ] && kill "$KAVI_XVFB_PID" 2>/dev/null || true
}

# kavi_wait_for_file FILE PID: waits up to a minute for FILE to have
# content while process PID lives. Fails when it never does.
kavi_wait_for_file() {
  for _ in $(seq 600); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$1" ]
}

# kavi_shoot_window RECT_FILE OUT.png: the screen cut around the window
# whose "left top right bottom" RECT_FILE holds, with room for its shadow.
kavi_shoot_window() {
  local left top right bottom margin=12
  read -r left top right bottom < <(tr -d '\r' <"$1")
  import -window root \
    -crop "$((right - left + 2 * margin))x$((bottom - top + 2 * margin))+$((left - margin))+$((top - margin))" \
    +repage "$2"
}

# kavi_choose_wine_arch: which Windows build runs under Wine on this machine,
# exported as KAVI_WINE_ARCH (32 or 64) and KAVI_WIN_BUILD (win32 or win64).
# The shipped 32-bit build where the kernel starts 32-bit programs; the
# 64-bit build under Wine's 64-bit half where it refuses them (a kernel
# without IA-32 emulation). KAVI_WINE_ARCH=64 takes the 64-bit road on any
# machine; KAVI_WINE_ARCH=32 where 32-bit programs cannot start is an error.
kavi_choose_wine_arch() {
  case "${KAVI_WINE_ARCH:-}" in
    "")
      if python3 "$KAVI_ROOT/scripts/lib/runs_i386.py"; then KAVI_WINE_ARCH=32; else KAVI_WINE_ARCH=64; fi ;;
    32)
      if ! python3 "$KAVI_ROOT/scripts/lib/runs_i386.py"; then
        echo "KAVI_WINE_ARCH=32: this machine's kernel does not start 32-bit programs" >&2
        return 1
      fi ;;
    64) ;;
    *)
      echo "KAVI_WINE_ARCH is 32 or 64, not '$KAVI_WINE_ARCH'" >&2
      return 1 ;;
  esac
  KAVI_WIN_BUILD=win$KAVI_WINE_ARCH
  export KAVI_WINE_ARCH KAVI_WIN_BUILD
}

# kavi_wine_dir: the Wine folder (prefix, drive D:, service host state) of
# this run's build: build/wine for the 32-bit one, build/wine64 for the
# 64-bit one, with -dpiN when KAVI_WINE_DPI=N; KAVI_WINE_DIR names another.
kavi_wine_dir() {
  local arch="" dpi=${KAVI_WINE_DPI:-}
  [ "${KAVI_WINE_ARCH:-32}" = 64 ] && arch=64
  echo "${KAVI_WINE_DIR:-$KAVI_ROOT/build/wine$arch${dpi:+-dpi$dpi}}"
}
