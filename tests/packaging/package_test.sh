#!/usr/bin/env bash
# The packages, built and checked as a user would meet them: scripts/package.sh makes them;
# lintian finds no error in the Debian package; the package unpacked into a scratch root runs
# its console program and shows its man pages; the desktop entry and AppStream metadata
# validate; the Windows zip holds its files; the installer installs and uninstalls silently
# under Wine in a prefix of its own. Prints each check; exits non-zero when any failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
version=$(sed -nE 's/^#define MORVEL_FILE_VERSION_TEXT "([0-9.]+)".*/\1/p' src/core/system/Version.h)
packages=build/packages
scratch=$(mktemp -d)
failures=0
trap 'rm -rf "$scratch"' EXIT

check() {  # check DESCRIPTION COMMAND...: runs the command, reports, counts a failure
  local what=$1
  shift
  if "$@" >"$scratch/out" 2>&1; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    sed 's/^/     /' "$scratch/out" | head -n 40
    failures=$((failures + 1))
  fi
}

timeout 1200 scripts/package.sh || { echo "FAIL scripts/package.sh" && exit 1; }
deb=$packages/morvel_${version}_amd64.deb
zip=$packages/morvel-$version-win64.zip
setup=$packages/morvel-$version-win64-setup.exe

# --- The Debian package
check "lintian: no error" bash -c 'lintian --allow-root --display-info --pedantic --fail-on error "$1" >"$2"' _ \
  "$deb" "$scratch/lintian"
echo "     lintian said:" && sed 's/^/       /' "$scratch/lintian"

root=$scratch/root
dpkg -x "$deb" "$root"
check "morvel --version from the unpacked package" \
  bash -c '[ "$("$1"/usr/bin/morvel --version)" = "morvel $2" ]' _ "$root" "$version"
sample_report() {
  gzip -dc samples/sample.ntfs.img.gz >"$scratch/sample.img"
  "$root/usr/bin/morvel" "$scratch/sample.img" | grep -q '^Total clusters         : 2047$'
}
check "the unpacked morvel reports the sample" sample_report
gui_starts() {  # the link leads to the program, which is still up with its window after 5 s
  [ "$(readlink -f "$root/usr/bin/morvel-gui")" = "$(readlink -f "$root/usr/libexec/morvel/MorvelTest")" ] || return 1
  QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/morvel-gui"
  [ $? -eq 124 ]
}
check "morvel-gui starts the installed desktop program" gui_starts
stripped() {  # no symbol table, no debug sections; the desktop program still tells its version
  local program
  for program in "$root/usr/bin/morvel" "$root/usr/libexec/morvel/MorvelTest"; do
    readelf -S "$program" >"$scratch/sections" || return 1
    ! grep -qE '\.symtab|\.debug_' "$scratch/sections" || { echo "not stripped: $program" && return 1; }
  done
  [ "$(QT_QPA_PLATFORM=offscreen "$root/usr/libexec/morvel/MorvelTest" --version)" = "MorvelTest $version" ]
}
check "binaries stripped, the desktop program's version kept" stripped
man_page() {  # renders without warnings; every option of --help is documented
  local page=$root/usr/share/man/man1/$1.1.gz text
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$scratch/man-warnings") || return 1
  [ ! -s "$scratch/man-warnings" ] || { cat "$scratch/man-warnings" && return 1; }
  grep -q "^NAME" <<<"$text" && grep -q "$1 - " <<<"$text" || return 1
  [ "$1" = morvel ] || return 0
  local option
  for option in $("$root/usr/bin/morvel" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$text" || { echo "$option is not in the man page" && return 1; }
  done
}
check "man -l morvel.1.gz" man_page morvel
check "man -l morvel-gui.1.gz" man_page morvel-gui
completes() {  # completes "morvel CURRENT" with the packaged script; prints the candidates
  bash -c 'source /usr/share/bash-completion/bash_completion && source "$1/usr/share/bash-completion/completions/morvel" &&
    COMP_WORDS=("$1/usr/bin/morvel" "$2") COMP_CWORD=1 COMP_LINE="morvel $2" COMP_POINT=$((7 + ${#2})) &&
    _morvel "$1/usr/bin/morvel" "$2" morvel && echo "${COMPREPLY[*]}"' _ "$root" "$1"
}
check "bash completion of options" test "$(completes --j)" = --json

check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/org.example.morvel.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.morvel.metainfo.xml"
icons() {
  local size
  for size in 16 22 24 32 48 64 128 256; do
    file "$root/usr/share/icons/hicolor/${size}x$size/apps/morvel.png" | grep -q "$size x $size" || return 1
  done
}
check "hicolor icons 16-256 px" icons

# --- Windows
zip_files() {
  unzip -Z1 "$zip" | sort >"$scratch/zip"
  local file
  for file in LICENSE.txt MorvelTest.exe README.md morvel.exe; do echo "morvel-$version-win64/$file"; done |
    sort | diff - "$scratch/zip"
}
check "zip holds both programs, README and LICENSE" zip_files

source scripts/wine-env.sh
export WINEPREFIX=$WINEPREFIX-installer
unset DISPLAY  # a silent installer opens no window
morvel_wine_prefix
installed="$WINEPREFIX/drive_c/Program Files/Morvel"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/MorvelTest.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvel'
rm -rf "$installed" "$shortcut"
install_silently() {
  timeout 120 wine "$setup" /S && timeout 60 wineserver -w || return 1
  local file
  for file in morvel.exe MorvelTest.exe README.md LICENSE.txt Uninstall.exe; do
    [ -f "$installed/$file" ] || { echo "missing: $installed/$file" && return 1; }
  done
  [ -f "$shortcut" ] && grep -qa 'MorvelTest.exe' "$shortcut" || { echo "no Start menu entry" && return 1; }
  [ "$(timeout 60 wine 'C:\Program Files\Morvel\morvel.exe' --version | tr -d '\r')" = "morvel $version" ] &&
    timeout 60 wine reg query "$uninstall_key" /v QuietUninstallString
}
check "installer /S under Wine: files, Start menu entry, uninstall entry" install_silently
uninstall_silently() {
  timeout 120 wine 'C:\Program Files\Morvel\Uninstall.exe' /S && timeout 60 wineserver -w || return 1
  [ ! -e "$installed" ] && [ ! -e "$shortcut" ] || { echo "left behind: $(ls -d "$installed" "$shortcut" 2>/dev/null)" && return 1; }
  ! timeout 60 wine reg query "$uninstall_key"
}
check "uninstaller /S under Wine removes them" uninstall_silently
timeout 60 wineserver -k 2>/dev/null

echo "package_test: $failures failed"
[ "$failures" -eq 0 ]
