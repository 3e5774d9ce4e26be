#!/usr/bin/env bash
# Screenshots of the program's skins under Wine: the main window on each of
# its four pages and the data backup window, shown by the skin host. Each
# picture is the screen cut around the window and its shadow, saved in
# OUT_DIR for review. Leaves a JUnit report in REPORT when given.
#   screenshots.sh SKIN_HOST.EXE OUT_DIR [REPORT]
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
host=$1
out=$2
report=${3:-}
mkdir -p "$out"
kavi_before_display_stop() { WINEPREFIX="$(kavi_wine_dir)/prefix" wineserver -k 2>/dev/null; }
kavi_ensure_display

work=$(mktemp -d)
trap 'rm -rf "$work"' RETURN
failures=0
cases=0
results=""

shoot() {  # name, hover offset in the window ("-" for none), host arguments...
  local name=$1 hover=$2; shift 2
  local ready="$work/$name.ready"
  cases=$((cases + 1))
  "${KAVI_WINE:-$KAVI_ROOT/scripts/wine}" "$host" "$@" --ready "Z:$ready" --exit-after 60000 &
  local pid=$!
  if ! kavi_wait_for_file "$ready" "$pid"; then
    echo "screenshots: $name was not shown" >&2
    failures=$((failures + 1))
    results+="<testcase name=\"$name\"><failure message=\"window not shown\"/></testcase>"
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    return
  fi
  read -r left top right bottom < <(tr -d '\r' < "$ready")
  if [ "$hover" != "-" ]; then  # the mouse over a control: hot state and tooltip
    xdotool mousemove $((left + ${hover%,*})) $((top + ${hover#*,}))
    sleep 1.5
  else
    xdotool mousemove 0 0
  fi
  kavi_shoot_window "$ready" "$out/$name.png"
  echo "screenshots: $out/$name.png"
  results+="<testcase name=\"$name\"/>"
  rm -f "$ready"  # the host ends when its ready file goes
  wait "$pid" 2>/dev/null
}

for page in 0 1 2 3; do shoot "main-page$page" - --page "$page"; done
shoot "main-page0-hot" 286,270 --page 0
shoot "main-page2-tooltip" 200,472 --page 2
shoot "databackup" - --backup

if [ -n "$report" ]; then
  printf '<?xml version="1.0"?>\n<testsuites tests="%d" failures="%d"><testsuite name="screenshots" tests="%d" failures="%d">%s</testsuite></testsuites>\n' \
    "$cases" "$failures" "$cases" "$failures" "$results" > "$report"
fi
[ "$failures" -eq 0 ]
