#!/usr/bin/env bash
# Builds the packages into build/packages/: the Debian packages morvel and morvel-gui from one
# build in build/deb with Debian's build flags, and the Windows zip and installer from the windows
# preset (MinGW-w64 cross build, NSIS's makensis).
#   scripts/package.sh [deb] [windows]      (default: both)
# Every file time in them is SOURCE_DATE_EPOCH, by default the last commit's date: one commit
# built anywhere gives the same .deb files, byte for byte.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=$PWD/build/packages
jobs=$(nproc)
version=$(sed -nE 's/^#define MORVEL_FILE_VERSION_TEXT "([0-9.]+)".*/\1/p' src/core/system/Version.h)
mkdir -p "$out"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

# CPack stages its files in a folder of its own, then the package is moved into build/packages.
cpack_into_out() {
  local build=$1 generator=$2 work
  work=$(mktemp -d "$out/.cpack-XXXXXX")
  (cd "$build" && cpack -G "$generator" -B "$work" >/dev/null)
  find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) -exec mv -f {} "$out/" \;
  rm -rf "$work"
}

deb() {
  # Debian's flags: hardening (fortify, stack protector, format checks, relro) and the source
  # folder mapped to "." in whatever the compiler records. No tests in this build.
  local build=build/deb cppflags
  # The build writes SOURCE_DATE_EPOCH into what it makes (Qt's resource compiler stamps each
  # resource with it), and nothing is rebuilt when only the date changes: a build folder made
  # for another date starts afresh.
  [ "$(cat "$build/source-date-epoch" 2>/dev/null)" = "$SOURCE_DATE_EPOCH" ] || rm -rf "$build"
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_QT=ON -DMORVEL_TESTS=OFF \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  cmake --build "$build" -j "$jobs" --target morvel MorvelTest morvel_package_files
  echo "$SOURCE_DATE_EPOCH" >"$build/source-date-epoch"
  cpack_into_out "$build" DEB
  echo "package: $out/morvel_${version}_amd64.deb"
  echo "package: $out/morvel-gui_${version}_amd64.deb"
}

windows() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs" --target morvel MorvelTest
  cpack_into_out build/windows ZIP
  local stage=build/windows/stage
  rm -rf "$stage"
  cmake --install build/windows --prefix "$stage" --strip >/dev/null
  # The installer keeps each file's time: none later than the commit.
  find "$stage" -newermt "@$SOURCE_DATE_EPOCH" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
  makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DOUTFILE="$out/morvel-$version-win64-setup.exe" \
    "$PWD/packaging/windows/morvel.nsi"
  echo "package: $out/morvel-$version-win64.zip"
  echo "package: $out/morvel-$version-win64-setup.exe"
}

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(deb windows)
for target in "${targets[@]}"; do
  case $target in
    deb | windows) "$target" ;;
    *) echo "usage: scripts/package.sh [deb] [windows]" >&2 && exit 2 ;;
  esac
done
