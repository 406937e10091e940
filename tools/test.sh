#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh"
cd "$top/build"
# Side by side, one test per core: each Wine test holds one of as many Wine slots (tools/wine-exec.sh),
# a prefix, display and server of its own.
jobs=$(nproc 2>/dev/null || echo 2)
slots=
for ((i = 0; i < jobs; i++)); do
    slots+="${slots:+,}{\"id\":\"$i\",\"slots\":1}"
done
echo "{\"version\":{\"major\":1,\"minor\":0},\"local\":[{\"wine\":[$slots]}]}" >wine-slots.json
ctest --output-on-failure -j "$jobs" --resource-spec-file wine-slots.json "$@"
