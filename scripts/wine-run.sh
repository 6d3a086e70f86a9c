#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (made on first use).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
morvel_wine_prefix
exec timeout "${MORVEL_WINE_TIMEOUT:-300}" wine "$@"
