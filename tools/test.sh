#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh"
cd "$top/build"
# Serial: window tests share one desktop and the single-instance search.
ctest --output-on-failure "$@"
