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
