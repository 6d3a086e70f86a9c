#!/usr/bin/env bash
# morvel.exe under Wine on image files whose names lie outside the ANSI code page: each is
# reported under its own name and read from its own file, not from a best-fit lookalike.
#   tests/e2e/console_names.sh morvel.exe sample.ntfs.img.gz
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
exe=$(realpath "$1")
sample=$(realpath "$2")
source "$top/scripts/wine-env.sh"
morvel_wine_prefix
# Wine reads the arguments it is given in the locale's encoding.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
gzip -dc "$sample" >"$dir/日本.img"
cp "$dir/日本.img" "$dir/Ωmega.img"
cp "$dir/日本.img" "$dir/𝔐.img"          # outside the Basic Multilingual Plane: a surrogate pair
head -c 1048576 /dev/zero >"$dir/Omega.img"  # what "Ωmega" would become in the ANSI code page

failures=0
# check NAME STATUS TEXT: morvel NAME exits with STATUS, and its output holds TEXT and the
# title naming the file.
check() {
  local name=$1 want=$2 text=$3 status=0 out
  out=$(timeout 120 wine "$exe" "Z:$dir/$name" 2>&1) || status=$?
  if [ "$status" -eq "$want" ] && grep -qF "NTFS VOLUME DATA OF [Z:$dir/$name] DRIVE" <<<"$out" &&
    grep -qF "$text" <<<"$out"; then
    echo "ok   $name: exit $status, \"$text\""
  else
    echo "FAIL $name: exit $status (want $want), want \"$text\"; output:"
    sed 's/^/     /' <<<"$out"
    failures=$((failures + 1))
  fi
}
check 日本.img 0 "Bytes per sector       : 512"
check Ωmega.img 0 "Bytes per sector       : 512"
check 𝔐.img 0 "Bytes per sector       : 512"
check Omega.img 1 "Error obtaining NTFS information:STATUS_INVALID_DEVICE_REQUEST"
echo "$failures check(s) failed"
[ "$failures" -eq 0 ]
