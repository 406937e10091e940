#!/usr/bin/env bash
# Runs a console tool of the build (dpdb) under Wine while building: a prefix of its own beside the
# tests' one (STATE/tool, linked from the template once), no display, and a server of its own that
# is stopped when the tool ends. Usage: wine-tool.sh STATE PROGRAM [ARGS...]
set -euo pipefail
state=$(mkdir -p "$1" && cd "$1" && pwd)
shift
top=$(cd "$(dirname "$0")/../.." && pwd)
WINE64=${WINE64:-$top/tools/wine64.sh}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
template=$("$top/tools/wine-env.sh" template "$state")
prefix=$state/tool

exec 9>"$state/tool.lock"
flock 9
if [ ! -f "$prefix/.ready" ]; then
    rm -rf "$prefix"
    # As in wine-env.sh: hard links cost nothing; the registry files are rewritten, so they are copied.
    cp -al "$template" "$prefix"
    for reg in "$prefix"/*.reg; do
        cp --remove-destination "$template/$(basename "$reg")" "$reg"
    done
    touch "$prefix/.ready"
fi
# The loader's errors only: a tool that Wine cannot start says why instead of failing the build silently
# (with every error on, each run would also report the missing display).
export WINEPREFIX=$prefix WINEDEBUG=-all,err+module,err+virtual WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
status=0
"$WINE64" "$@" </dev/null || status=$?
"$WINESERVER" -k 2>/dev/null || true
exit $status
