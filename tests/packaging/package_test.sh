#!/usr/bin/env bash
# The packages, built and checked as a user would meet them: scripts/package.sh makes them;
# lintian finds no error or warning in either Debian package; each package holds its own files
# and dependencies (morvel brings no Qt library); the commit built again in another folder gives
# the same .deb files, byte for byte; both packages unpacked into a scratch root run the console
# program and show their man pages; the desktop entry and AppStream metadata validate; the
# Windows zip holds its files; the installer installs (with and without the PATH entry) and
# uninstalls silently under Wine in a prefix of its own, and morvel.exe carries its icon and
# version resource. Prints each check; exits non-zero when any failed.
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
gui_deb=$packages/morvel-gui_${version}_amd64.deb
zip=$packages/morvel-$version-win64.zip
setup=$packages/morvel-$version-win64-setup.exe

# --- The Debian packages
check "lintian: no error or warning in morvel and morvel-gui" bash -c \
  'lintian --allow-root --display-info --pedantic --fail-on error,warning "$1" "$2" >"$3"' _ "$deb" "$gui_deb" "$scratch/lintian"
echo "     lintian said:" && sed 's/^/       /' "$scratch/lintian"

contents() {  # contents PACKAGE FILE...: the package holds these files (and their folders), no others
  local package=$1
  shift
  printf '%s\n' "$@" | sort >"$scratch/expected"
  dpkg-deb -c "$package" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort | diff "$scratch/expected" -
}
check "morvel holds the console program, its container readers, man page and completion" contents "$deb" \
  usr/bin/morvel usr/lib/morvel/modules/morvel-containers.so usr/share/bash-completion/completions/morvel \
  usr/share/man/man1/morvel.1.gz \
  usr/share/doc/morvel/changelog.gz usr/share/doc/morvel/copyright
icons=()
for size in 16 22 24 32 48 64 128 256; do icons+=("usr/share/icons/hicolor/${size}x$size/apps/morvel.png"); done
check "morvel-gui holds the desktop program, its link, man page, menu entry, icons, metainfo" contents "$gui_deb" \
  usr/bin/morvel-gui usr/libexec/morvel/MorvelTest usr/share/man/man1/morvel-gui.1.gz \
  usr/share/applications/org.example.morvel.desktop usr/share/metainfo/org.example.morvel.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/morvel.svg "${icons[@]}" \
  usr/share/doc/morvel-gui/changelog.gz usr/share/doc/morvel-gui/copyright

relations() {  # the names a package's field lists, one a line
  dpkg-deb -f "$1" "$2" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/[[:space:]]//g' | sed '/^$/d' | sort -u
}
dependencies() {
  local console gui library
  console=$(relations "$deb" Depends; relations "$deb" Recommends)
  gui=$(relations "$gui_deb" Depends)
  # The libraries the console program opens with dlopen (through its module) are declared; Qt and the C++ runtime
  # are not among its relations, nor anywhere apt would bring in with them.
  for library in libblkid1 libewf2 libqcow1 libvhdi1 libvmdk1; do
    grep -qx "$library" <<<"$console" || { echo "morvel does not declare $library" && return 1; }
  done
  ! grep -E '^(libqt|libstdc\+\+)' <<<"$console" || { echo "morvel depends on the above" && return 1; }
  # shellcheck disable=SC2086 # one package name a word
  apt-cache depends --recurse --no-suggests --no-conflicts --no-breaks --no-replaces --no-enhances \
    $console >"$scratch/closure" || return 1
  if grep -E 'libqt|qt6' "$scratch/closure" | sort -u; then echo "installing morvel brings the above" && return 1; fi
  dpkg-deb -f "$gui_deb" Depends | grep -q "^morvel (= $version), " ||
    { echo "morvel-gui does not depend on morvel (= $version)" && return 1; }
  grep -qx libqt6widgets6 <<<"$gui" || { echo "morvel-gui does not depend on Qt Widgets" && return 1; }
}
check "dependencies: morvel declares its container libraries and brings no Qt; morvel-gui needs morvel and Qt" dependencies

build_commit() {  # build_commit FOLDER: the last commit exported into FOLDER, its .deb files built there
  mkdir -p "$1" && git archive HEAD | tar -x -C "$1" || return 1
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) timeout 1500 "$1/scripts/package.sh" deb >"$1.log" 2>&1 ||
    { tail -n 20 "$1.log" && return 1; }
}
reproducible() {  # built again in a folder of another name: the same bytes
  local first=$packages file
  if ! git diff --quiet HEAD --; then  # the work tree is not the commit: build the commit twice
    build_commit "$scratch/first" || return 1
    first=$scratch/first/build/packages
  fi
  build_commit "$scratch/build-again" || return 1
  for file in "${deb##*/}" "${gui_deb##*/}"; do
    cmp "$first/$file" "$scratch/build-again/build/packages/$file" && continue
    diff <(dpkg-deb -c "$first/$file") <(dpkg-deb -c "$scratch/build-again/build/packages/$file")
    diff <(dpkg-deb -I "$first/$file" md5sums) <(dpkg-deb -I "$scratch/build-again/build/packages/$file" md5sums)
    return 1
  done
}
check "reproducible: the commit built again elsewhere gives the same .deb files" reproducible

root=$scratch/root
dpkg -x "$deb" "$root"
dpkg -x "$gui_deb" "$root"
check "morvel --version from the unpacked package" \
  bash -c '[ "$("$1"/usr/bin/morvel --version)" = "morvel $2" ]' _ "$root" "$version"
sample_report() {  # raw, and as a QCOW2 image read through the container readers it loads
  gzip -dc samples/sample.ntfs.img.gz >"$scratch/sample.img"
  "$root/usr/bin/morvel" "$scratch/sample.img" | grep -q '^Total clusters         : 2047$' || return 1
  qemu-img convert -O qcow2 "$scratch/sample.img" "$scratch/sample.qcow2" || return 1
  "$root/usr/bin/morvel" "$scratch/sample.qcow2" | grep -q '^Total clusters         : 2047$'
}
check "the unpacked morvel reports the sample, raw and in a container" sample_report
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
completion() {  # completion CURRENT CANDIDATES...: "morvel CURRENT" offers just those
  local got
  got=$(completes "$1") && shift && [ "$got" = "$*" ] || { echo "offered: $got" && return 1; }
}
while read -r current candidates; do
  check "bash completion of \"morvel $current\"" completion "$current" $candidates </dev/null
done <<'EOF'
--j        --json
--color=a  auto always
EOF

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
# The installer's pages as makensis compiles them from the same staged files: the licence shown
# for information (a Next button, no box to tick), the components (with the PATH entry, which the
# silent installs below show is off unless chosen), the folder, the files, a finish page
# offering to start MorvelTest; its own branding.
installer_pages() {
  makensis -V4 -DVERSION="$version" -DSTAGE="$PWD/build/windows/stage" -DOUTFILE="$scratch/pages-setup.exe" \
    "$PWD/packaging/windows/morvel.nsi" >"$scratch/nsis.log" 2>&1 || { tail -n 5 "$scratch/nsis.log" && return 1; }
  local pages
  pages=$(sed -nE 's/^!insertmacro: (MUI_PAGE_[A-Z]+)$/\1/p' "$scratch/nsis.log" | tr '\n' ' ')
  [ "$pages" = "MUI_PAGE_LICENSE MUI_PAGE_COMPONENTS MUI_PAGE_DIRECTORY MUI_PAGE_INSTFILES MUI_PAGE_FINISH " ] ||
    { echo "pages: $pages" && return 1; }
  grep -qx '!define: "MUI_LICENSEPAGE_BUTTON"="$(^NextBtn)"' "$scratch/nsis.log" &&
    ! grep -qE 'MUI_LICENSEPAGE_(CHECKBOX|RADIOBUTTONS)' "$scratch/nsis.log" || { echo "licence must be accepted" && return 1; }
  grep -qx "BrandingText: \"Morvel $version - NTFS volume layout report\"" "$scratch/nsis.log" &&
    grep -qx '!define: "MUI_FINISHPAGE_RUN_TEXT"="Start MorvelTest"' "$scratch/nsis.log" &&
    grep -qx 'Function: "StartMorvelTest"' "$scratch/nsis.log" || { echo "branding or finish page" && return 1; }
  grep -q '^Section: "Add morvel.exe to PATH"' "$scratch/nsis.log" || { echo "no PATH component" && return 1; }
}
check "installer pages: licence for information, components, folder, files, finish with Start MorvelTest; own branding" \
  installer_pages

settings_key='HKLM\Software\Morvel'
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
rm -rf "$installed" "$shortcut"
reg_value() {  # reg_value KEY NAME: the value's data as `reg query` prints it
  timeout 60 wine reg query "$1" /v "$2" | tr -d '\r' | sed -nE "s/^ +$2 +REG_[A-Z_]+ +//Ip"
}
# The machine's PATH as the installer meets it: an empty element, and a folder whose name
# begins with the program folder's; the uninstaller must give back exactly this.
path_before='%SystemRoot%\system32;%SystemRoot%;;C:\Program Files\Morvel Tools'
timeout 60 wine reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$path_before" /f >/dev/null
install_silently() {
  timeout 120 wine "$setup" /S && timeout 60 wineserver -w || return 1
  local file kib=0 size
  for file in morvel.exe MorvelTest.exe README.md LICENSE.txt Uninstall.exe; do
    [ -f "$installed/$file" ] || { echo "missing: $installed/$file" && return 1; }
  done
  [ -f "$shortcut" ] && grep -qa 'MorvelTest.exe' "$shortcut" || { echo "no Start menu entry" && return 1; }
  [ "$(timeout 60 wine 'C:\Program Files\Morvel\morvel.exe' --version | tr -d '\r')" = "morvel $version" ] &&
    [ -n "$(reg_value "$uninstall_key" QuietUninstallString)" ] || return 1
  # EstimatedSize: the installed files, each rounded up to whole KiB, as makensis counts them.
  for file in morvel.exe MorvelTest.exe README.md LICENSE.txt; do
    size=$(stat -c %s "$installed/$file")
    kib=$((kib + (size + 1023) / 1024))
  done
  [ "$(reg_value "$uninstall_key" EstimatedSize)" = "$(printf '0x%x' "$kib")" ] ||
    { echo "EstimatedSize $(reg_value "$uninstall_key" EstimatedSize), files $kib KiB" && return 1; }
  [ "$(reg_value "$environment_key" Path)" = "$path_before" ] || { echo "PATH changed unasked" && return 1; }
}
check "installer /S under Wine: files, Start menu entry, uninstall entry with EstimatedSize, PATH untouched" \
  install_silently
console_resources() {  # the installed morvel.exe: icon, manifest and a version resource from Version.h
  local exe=$installed/morvel.exe types
  types=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/Resource Directory section/,$p' |
    sed -nE 's/^[0-9a-f]{3}   Entry: ID: (0x[0-9a-f]+),.*/\1/p' | tr '\n' ' ')
  # RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST
  [ "$types" = "0x000003 0x00000e 0x000010 0x000018 " ] || { echo "resource types: $types" && return 1; }
  x86_64-w64-mingw32-objcopy -O binary --only-section=.rsrc "$exe" "$scratch/rsrc" || return 1
  strings -el "$scratch/rsrc" >"$scratch/rsrc-strings"
  [ "$(grep -A1 -x FileDescription "$scratch/rsrc-strings" | tail -n 1)" = "NTFS volume layout report (console)" ] &&
    [ "$(grep -A1 -x FileVersion "$scratch/rsrc-strings" | tail -n 1)" = "$version" ] &&
    [ "$(grep -A1 -x ProductVersion "$scratch/rsrc-strings" | tail -n 1)" = "$version" ] ||
    { echo "version strings:" && cat "$scratch/rsrc-strings" && return 1; }
}
check "morvel.exe carries its icon and version resource" console_resources
path_chosen() {  # installed again with the PATH component: the program folder added once, at the end
  timeout 120 wine "$setup" /S /ADDTOPATH && timeout 60 wineserver -w || return 1
  [ "$(reg_value "$environment_key" Path)" = "$path_before;C:\\Program Files\\Morvel" ] &&
    [ "$(reg_value "$settings_key" PathEntry)" = 'C:\Program Files\Morvel' ] ||
    { echo "PATH: $(reg_value "$environment_key" Path)" && return 1; }
}
check "installer /S /ADDTOPATH under Wine: the program folder on the machine's PATH" path_chosen
uninstall_silently() {
  timeout 120 wine 'C:\Program Files\Morvel\Uninstall.exe' /S && timeout 60 wineserver -w || return 1
  [ ! -e "$installed" ] && [ ! -e "$shortcut" ] || { echo "left behind: $(ls -d "$installed" "$shortcut" 2>/dev/null)" && return 1; }
  ! timeout 60 wine reg query "$uninstall_key" && ! timeout 60 wine reg query "$settings_key" || return 1
  [ "$(reg_value "$environment_key" Path)" = "$path_before" ] ||
    { echo "PATH after: $(reg_value "$environment_key" Path)" && return 1; }
}
check "uninstaller /S under Wine removes them, and only its own PATH entry" uninstall_silently
timeout 60 wineserver -k 2>/dev/null

echo "package_test: $failures failed"
[ "$failures" -eq 0 ]
