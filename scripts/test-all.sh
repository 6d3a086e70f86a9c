#!/usr/bin/env bash
# Builds every configuration and runs every test: Linux, Linux with sanitizers, the Windows
# cross build (tests under Wine, the desktop program driven under Wine and Xvfb), a short
# fuzzing run of the NTFS reader, and the packages built and checked. Ends with one line
# counting the test programs that passed and failed; exits non-zero when any failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)
presets=(linux linux-asan windows)

step() { printf '\n== %s\n' "$*"; }

for preset in "${presets[@]}"; do
  step "configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
  step "tests: $preset"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || true
  # "100% tests passed, 0 tests failed out of 7"
  summary=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    echo "ctest --preset $preset printed no summary" >&2
    failed=$((failed + 1))
    continue
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done

step "fuzzing the NTFS reader"
if scripts/fuzz.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

step "packages: the .deb, the Windows zip and installer"
if tests/packaging/package_test.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo
echo "test-all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
