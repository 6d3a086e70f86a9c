#!/usr/bin/env bash
# The main job: builds the console program and prints the report of the bundled sample
# volume, read as drive C through the drive letter link c:: (see the README).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh >/dev/null
cmake --preset linux >/dev/null
cmake --build --preset linux --target morvel >/dev/null

work=build/linux/sample
mkdir -p "$work/config/morvel/dosdevices"
gzip -dc samples/sample.ntfs.img.gz >"$work/sample.ntfs.img"
ln -sfn "$PWD/$work/sample.ntfs.img" "$work/config/morvel/dosdevices/c::"
XDG_CONFIG_HOME="$PWD/$work/config" exec build/linux/src/app/cli/morvel C
