#!/usr/bin/env bash
# Builds the NTFS reader's libFuzzer target (preset fuzz: clang, ASan, UBSan) and runs it for
# a bounded time over seeds made here by mkntfs, sfdisk and sgdisk, plus the regression inputs
# under fuzz/corpus. Exits non-zero when the fuzzer finds a crash, a leak or a timeout; the
# input is left in build/fuzz/run/artifacts.
#   MORVEL_FUZZ_SECONDS  run time (default 90)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export PATH="$PATH:/usr/sbin:/sbin"
seconds=${MORVEL_FUZZ_SECONDS:-90}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target ntfs_fuzz ntfs_fuzz_seed

run=build/fuzz/run
rm -rf "$run/seeds" "$run/images"
mkdir -p "$run/seeds" "$run/images" "$run/corpus" "$run/artifacts"
seed=build/fuzz/fuzz/ntfs_fuzz_seed

volume() {  # NAME SIZE SECTOR CLUSTER
  local image="$run/images/$1"
  truncate -s "$2" "$image"
  mkntfs -F -Q -s "$3" -c "$4" -p 0 -H 0 -S 0 "$image" >/dev/null 2>&1
  echo "$image"
}

if command -v mkntfs >/dev/null; then
  for spec in "v512 2M 512 512" "v1k 3M 512 1024" "v4k 4M 512 4096" "s4k 8M 4096 4096"; do
    set -- $spec
    "$seed" "$(volume "$@")" "$run/seeds/$1"
  done
  part=$(volume part 2M 512 1024)
  if command -v sfdisk >/dev/null; then
    disk="$run/images/mbr"
    truncate -s 8M "$disk"
    printf 'start=2048, size=4096, type=7\nstart=6144, size=8192, type=5\nstart=8192, size=4096, type=7\n' |
      sfdisk -q "$disk" >/dev/null
    dd if="$part" of="$disk" bs=512 seek=8192 conv=notrunc status=none
    "$seed" "$disk" "$run/seeds/mbr"
  fi
  if command -v sgdisk >/dev/null; then
    disk="$run/images/gpt"
    truncate -s 8M "$disk"
    sgdisk -n 1:2048:+2M -t 1:0700 "$disk" >/dev/null
    dd if="$part" of="$disk" bs=512 seek=2048 conv=notrunc status=none
    "$seed" "$disk" "$run/seeds/gpt"
  fi
else
  echo "mkntfs (ntfs-3g) not found: fuzzing from the regression inputs alone" >&2
fi
rm -rf "$run/images"

corpora=("$run/corpus" "$run/seeds")
if [ -d fuzz/corpus ]; then corpora+=(fuzz/corpus); fi  # regression inputs, when any
# libFuzzer exits non-zero on a crash, a leak, an out-of-memory or a timeout.
build/fuzz/fuzz/ntfs_fuzz -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=1024 -timeout=20 \
  -print_final_stats=1 -artifact_prefix="$run/artifacts/" "${corpora[@]}"
