#!/usr/bin/env bash
# A picture of the data backup window after a backup, as Wine draws it on a
# virtual display: the screen cut around the window and its shadow.
#   screenshot.sh WINDOW_TESTS.EXE OUT.png
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
exe=$1
out=$2
kavi_before_display_stop() { WINEPREFIX="$KAVI_ROOT/build/wine/prefix" wineserver -k 2>/dev/null; }
kavi_ensure_display

work=$(mktemp -d)
trap 'rm -rf "$work"' RETURN
ready="$work/ready"
KAVI_BACKUP_WINDOW_READY="Z:$ready" "$KAVI_ROOT/scripts/wine" "$exe" \
  --gtest_filter='*PictureForReview' >/dev/null 2>&1 &
pid=$!
for _ in $(seq 600); do
  [ -s "$ready" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$ready" ]; then
  echo "screenshot: the window was not shown" >&2
  kill "$pid" 2>/dev/null
  exit 1
fi
read -r left top right bottom < <(tr -d '\r' < "$ready")
margin=12
import -window root -crop "$((right - left + 2 * margin))x$((bottom - top + 2 * margin))+$((left - margin))+$((top - margin))" \
  +repage "$out"
rm -f "$ready"
wait "$pid"
echo "screenshot: $out"
