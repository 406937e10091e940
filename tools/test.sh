#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh"
cd "$top/build"
# Side by side, one test per core: each Wine test takes a free Wine slot of its own (tools/wine-exec.sh),
# a prefix, display and server.
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
