#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmark need.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth fonts-ipafont-gothic imagemagick
  # Wine's own fonts (only recommended by Wine): without Marlett, windows draw their caption
  # buttons as the letters "0 1 r".
  fonts-wine
  qt6-base-dev qt6-base-dev-tools libgl-dev
  ntfs-3g fdisk gdisk fonts-liberation
  libewf-dev libvhdi-dev libvmdk-dev libqcow-dev libbfio-dev libblkid-dev qemu-utils ewf-tools exfatprogs cryptsetup-bin dosfstools e2fsprogs
  python3 python3-jsonschema time locales sleuthkit
  # Volumes Windows made, which the consistency check must find healthy.
  forensics-samples-ntfs forensics-samples-multiple
  # setfattr: compressed folders on an ntfs-3g mount.
  attr
  librsvg2-bin nsis lintian appstream desktop-file-utils man-db file unzip bash-completion
  # A common desktop font that shadows Japanese faces: installed so the tests prove they do not
  # depend on the machine's fonts (the Wine prefix maps the main window's face to IPAGothic).
  fonts-droid-fallback
  libxml2-utils
  # Not here on purpose: libc6-dbg. With it, sanitizers name glibc's frames by their internal
  # names (__argz_add_sep, not argz_add_sep); the tests must pass on a plain Debian either way.
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
