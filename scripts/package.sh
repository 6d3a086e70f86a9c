#!/usr/bin/env bash
# Builds the packages into build/packages/: the Debian package from the linux preset, and the
# Windows zip and installer from the windows preset (MinGW-w64 cross build, NSIS's makensis).
#   scripts/package.sh [deb] [windows]      (default: both)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=$PWD/build/packages
jobs=$(nproc)
version=$(sed -nE 's/^#define MORVEL_FILE_VERSION_TEXT "([0-9.]+)".*/\1/p' src/core/system/Version.h)
mkdir -p "$out"

# CPack stages its files in a folder of its own, then the package is moved into build/packages.
cpack_into_out() {
  local build=$1 generator=$2 work
  work=$(mktemp -d "$out/.cpack-XXXXXX")
  (cd "$build" && cpack -G "$generator" -B "$work" >/dev/null)
  find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) -exec mv -f {} "$out/" \;
  rm -rf "$work"
}

deb() {
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j "$jobs" --target morvel MorvelTest morvel_package_files
  cpack_into_out build/linux DEB
  echo "package: $out/morvel_${version}_amd64.deb"
}

windows() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs" --target morvel MorvelTest
  cpack_into_out build/windows ZIP
  local stage=build/windows/stage
  rm -rf "$stage"
  cmake --install build/windows --prefix "$stage" --strip >/dev/null
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
