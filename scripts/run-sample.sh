#!/usr/bin/env bash
# The main job: builds the console program and prints the report of the bundled sample volume.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh >/dev/null
cmake --preset linux >/dev/null
cmake --build --preset linux --target morvel >/dev/null
exec build/linux/src/app/cli/morvel C
