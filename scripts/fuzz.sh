#!/usr/bin/env bash
# Builds the NTFS reader's libFuzzer target (preset fuzz: clang, ASan, UBSan) and runs it for
# a bounded time over seeds made here by mkntfs, sfdisk and sgdisk, plus the regression inputs
# under fuzz/corpus. Exits non-zero when the fuzzer finds a crash, a leak or a timeout; the
# input is left in build/fuzz/run/artifacts. Each input has 2 s: the reader's work is bounded,
# so an input that takes longer is a fault to mend, like a crash.
#   MORVEL_FUZZ_SECONDS  run time of the whole-path target (default 80); the record and index
#                        parsers then get a sixth of it on their own
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export PATH="$PATH:/usr/sbin:/sbin"
seconds=${MORVEL_FUZZ_SECONDS:-80}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target ntfs_fuzz ntfs_parsers_fuzz ntfs_fuzz_seed

run=build/fuzz/run
rm -rf "$run/seeds" "$run/images" "$run/records"
mkdir -p "$run/seeds" "$run/images" "$run/corpus" "$run/records" "$run/artifacts"
seed=build/fuzz/fuzz/ntfs_fuzz_seed

volume() {  # NAME SIZE SECTOR CLUSTER
  local image="$run/images/$1"
  truncate -s "$2" "$image"
  mkntfs -F -Q -s "$3" -c "$4" -p 0 -H 0 -S 0 "$image" >/dev/null 2>&1
  echo "$image"
}

field() { od -An -t "u$3" -j "$2" -N "$3" "$1" | tr -d ' '; }  # IMAGE OFFSET BYTES

# Seeds of the parsers' target: the first byte gives the record size in 512-byte strides
# less one, the record follows. Records 0 ($MFT), 5 (root), 6 ($Bitmap), 10 ($UpCase).
records() {  # IMAGE NAME
  local cluster=$(($(field "$1" 11 2) * $(field "$1" 13 1)))
  local mft=$(($(field "$1" 48 8) * cluster))
  local size=1024
  if [ "$(field "$1" 64 1)" -lt 128 ]; then size=$(($(field "$1" 64 1) * cluster)); fi
  for n in 0 5 6 10; do
    { printf "\\$(printf '%03o' $((size / 512 - 1)))"
      dd if="$1" bs=1 skip=$((mft + n * size)) count="$size" status=none; } >"$run/records/$2-$n"
  done
}

if command -v mkntfs >/dev/null; then
  for spec in "v512 2M 512 512" "v1k 3M 512 1024" "v4k 4M 512 4096" "s4k 8M 4096 4096"; do
    set -- $spec
    image=$(volume "$@")
    "$seed" "$image" "$run/seeds/$1"
    records "$image" "$1"
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
build/fuzz/fuzz/ntfs_fuzz -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=1024 -timeout=2 \
  -print_final_stats=1 -artifact_prefix="$run/artifacts/" "${corpora[@]}"
mkdir -p "$run/records-corpus"
build/fuzz/fuzz/ntfs_parsers_fuzz -max_total_time=$((seconds / 6 + 1)) -max_len=4097 -rss_limit_mb=1024 -timeout=2 \
  -print_final_stats=1 -artifact_prefix="$run/artifacts/" "$run/records-corpus" "$run/records"
