#!/usr/bin/env bash
# How samples/sample.ntfs.img.gz was made (once; the shipped file is what the project reads,
# since mkntfs writes a new serial number and new times on every run): an 8 MiB NTFS volume
# with 4 KiB clusters and two small files in its root.
set -euo pipefail
out=${1:-sample.ntfs.img}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$out"
truncate -s 8M "$out"
mkntfs -q -F -Q -s 512 -c 4096 -p 0 -H 0 -S 0 -L SAMPLE "$out" >/dev/null
printf 'A small NTFS volume for the morvel console program.\n' >"$work/readme.txt"
seq 1 3000 >"$work/numbers.txt"
ntfscp -q "$out" "$work/readme.txt" readme.txt
ntfscp -q "$out" "$work/numbers.txt" numbers.txt
gzip -9 -n -f "$out"
