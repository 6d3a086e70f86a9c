#!/usr/bin/env bash
# The main job: builds the console program and prints the report of the bundled sample
# volume, read as drive C through the drive letter link c:: (see the README). Needs a C++
# compiler, CMake and make; as root it installs the ones missing (Debian), otherwise it names them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# One line a step on stderr: standard output is the report alone.
say() { echo "run-sample: $*" >&2; }

missing=()
for tool in g++:g++ cmake:cmake make:make gzip:gzip; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "run-sample: needs ${missing[*]}; install them (apt-get install ${missing[*]}) or run as root" >&2
    exit 1
  fi
  say "installing ${missing[*]} (apt-get)"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The console program alone: no tests, no desktop program, no container libraries, so no
# test, Qt or image libraries needed.
build=build/sample
say "configuring the console program in $build"
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DMORVEL_TESTS=OFF -DMORVEL_QT=OFF -DMORVEL_CONTAINERS=OFF >/dev/null
say "building morvel (a minute the first time, nothing to do after)"
cmake --build "$build" -j "$(nproc)" --target morvel >/dev/null

work=$build/sample
say "unpacking samples/sample.ntfs.img.gz into $work and linking it as drive C"
mkdir -p "$work/config/morvel/dosdevices"
gzip -dc samples/sample.ntfs.img.gz >"$work/sample.ntfs.img"
ln -sfn "$PWD/$work/sample.ntfs.img" "$work/config/morvel/dosdevices/c::"
say "reporting drive C: morvel C"
XDG_CONFIG_HOME="$PWD/$work/config" exec "$build/src/app/cli/morvel" C
