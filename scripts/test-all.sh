#!/usr/bin/env bash
# Builds every configuration and runs every test: Linux, Linux with sanitizers, the Windows
# cross build (tests under Wine, the desktop program driven under Wine and Xvfb), and a short
# fuzzing run of the NTFS reader.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)

step() { printf '\n== %s\n' "$*"; }

for preset in linux linux-asan windows; do
  step "configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

for preset in linux linux-asan windows; do
  step "tests: $preset"
  ctest --preset "$preset" -j "$jobs"
done

step "configure, build and test: linux-qt (the desktop program, offscreen)"
cmake --preset linux-qt >/dev/null
cmake --build --preset linux-qt -j "$jobs"
ctest --preset linux-qt -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
  step "fuzzing the NTFS reader"
  scripts/fuzz.sh
fi
echo
echo "all tests passed"
