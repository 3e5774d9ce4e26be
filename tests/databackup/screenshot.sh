#!/usr/bin/env bash
# A picture of the data backup window after a backup, as Wine draws it on a
# virtual display: the screen cut around the window and its shadow. CTest
# runs it as databackup_screenshot; the picture goes to build/screenshots.
#   screenshot.sh WINDOW_TESTS.EXE OUT.png
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
exe=$1
out=$2
mkdir -p "$(dirname "$out")"
kavi_before_display_stop() { WINEPREFIX="$(kavi_wine_dir)/prefix" wineserver -k 2>/dev/null; }
kavi_ensure_display

work=$(mktemp -d)
trap 'rm -rf "$work"' RETURN
ready="$work/ready"
KAVI_BACKUP_WINDOW_READY="Z:$ready" "$KAVI_ROOT/scripts/wine" "$exe" \
  --gtest_filter='*PictureForReview' >/dev/null 2>&1 &
pid=$!
if ! kavi_wait_for_file "$ready" "$pid"; then
  echo "screenshot: the window was not shown" >&2
  kill "$pid" 2>/dev/null
  exit 1
fi
kavi_shoot_window "$ready" "$out"
rm -f "$ready"
wait "$pid"
echo "screenshot: $out"
