#!/usr/bin/env bash
# Runs update-bench against the build's local update site (started here when it is not running).
#   tools/update-bench/run.sh [--rounds N]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$top/build
"$top/tools/update-site/site.sh" start "$build/update-site"
trap '"$top/tools/update-site/site.sh" stop "$build/update-site"' EXIT
"$top/tools/wine-exec.sh" "$build/bin/update-bench.exe" --port "$(cat "$build/update-site/port")" "$@"
