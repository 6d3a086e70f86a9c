#!/usr/bin/env bash
# The information window, end to end: runs the driver against MorvelTest.exe under Wine on a
# virtual X display and keeps a PNG picture of the window in the output folder.
#   info_e2e.sh MorvelTest.exe info_driver.exe OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../../scripts/wine-env.sh"

if [ "${1:-}" = --on-display ]; then
  # Inside xvfb-run: one wineserver for this display, gone again at the end.
  shift
  rc=0
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 180 wine "$1" "$(winepath -w "$2")" "$(winepath -w "$3")" || rc=$?
  timeout 60 wineserver -w || true
  timeout 30 wineserver -k 2>/dev/null || true
  exit "$rc"
fi

exe=$(realpath "$1") driver=$(realpath "$2") out=$(realpath -m "$3")
morvel_wine_prefix
mkdir -p "$out"
rm -f "$out/info-window.bmp" "$out/info-window.png"
rc=0
timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" "$here/info_e2e.sh" --on-display "$driver" "$exe" \
  "$out/info-window.bmp" || rc=$?
if [ -f "$out/info-window.bmp" ]; then
  convert "$out/info-window.bmp" "$out/info-window.png" && rm -f "$out/info-window.bmp"
  echo "picture: $out/info-window.png"
fi
exit "$rc"
