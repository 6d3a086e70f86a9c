#!/usr/bin/env bash
# Runs an end-to-end driver of the desktop program under Wine on a display of its own (Xvfb):
#   scripts/e2e.sh DRIVER.exe MorvelTest.exe SCREENSHOT.png [FILE...]
# The driver gets the program's path, the path of a BMP screenshot to write, and the Windows
# paths of the FILEs; the picture is kept as SCREENSHOT.png. Exits with the driver's exit code.
# MORVEL_E2E_DPI=N runs on a screen of N dots per inch, MORVEL_E2E_FONT_MAP=0 without the main
# window's font replacement (scripts/wine-env.sh), each in a prefix of its own.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ $# -lt 3 ]; then
  echo "usage: $0 DRIVER.exe MorvelTest.exe SCREENSHOT.png [FILE...]" >&2
  exit 2
fi
driver=$(realpath "$1")
program=$(realpath "$2")
png=$(realpath -m "$3")
shift 3
files=()
for file in "$@"; do files+=("$(realpath "$file")"); done

if [ -z "${MORVEL_E2E_ON_XVFB:-}" ]; then
  export MORVEL_E2E_ON_XVFB=1
  exec timeout 280 xvfb-run -a -s "-screen 0 1024x768x24" bash "${BASH_SOURCE[0]}" "$driver" "$program" "$png" \
    ${files[@]+"${files[@]}"}
fi

source "$here/wine-env.sh"
if [ -z "$(fc-list IPAGothic family)" ]; then
  echo "e2e: the font IPAGothic is missing (Debian package fonts-ipafont-gothic; scripts/install-deps.sh)" >&2
  exit 1
fi
# A prefix apart from the one the unit tests use: every run here ends by stopping its
# wineserver, which must not cut short a test running next to it.
export WINEPREFIX="$WINEPREFIX-e2e${MORVEL_E2E_DPI:+-dpi$MORVEL_E2E_DPI}"
# MORVEL_E2E_FONT_MAP=0: a prefix of its own without the main window's font replacement.
if [ "${MORVEL_E2E_FONT_MAP:-1}" = 0 ]; then
  export WINEPREFIX="$WINEPREFIX-nofontmap" MORVEL_WINE_FONT_MAP=0
fi
morvel_wine_prefix
# MORVEL_E2E_DPI: a screen of that many dots per inch, in a prefix of its own.
if [ -n "${MORVEL_E2E_DPI:-}" ]; then
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    timeout 60 wine reg add "$key" /v LogPixels /t REG_DWORD /d "$MORVEL_E2E_DPI" /f >/dev/null 2>&1
  done
fi
# A wineserver left from an earlier display keeps its desktop on that dead display, and the
# windows of the next program would never appear.
timeout 30 wineserver -k 2>/dev/null || true
morvel_wine_desktop "$(basename "$driver")" "$(basename "$program")"

bmp="${png%.png}.bmp"
rm -f "$bmp" "$png" "${png%.png}"-*.bmp "${png%.png}"-*.png
status=0
windowsFiles=()
for file in ${files[@]+"${files[@]}"}; do windowsFiles+=("$(winepath -w "$file")"); done
timeout 180 wine "$driver" "$(winepath -w "$program")" "$(winepath -w "$bmp")" ${windowsFiles[@]+"${windowsFiles[@]}"} ||
  status=$?
timeout 60 wineserver -w || true
# The screenshot, and any further one the driver saved beside it (NAME-*.bmp).
for picture in "$bmp" "${png%.png}"-*.bmp; do
  [ -f "$picture" ] || continue
  timeout 60 convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
done
timeout 30 wineserver -k || true
echo "e2e: driver exit status $status; screenshot: $png"
exit "$status"
