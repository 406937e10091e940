#!/usr/bin/env bash
# The tests' update site (server.py) for one build: files below STATE/sites, its port in STATE/port.
#   site.sh start STATE   start it unless it runs (waits at most 10 s for its port)
#   site.sh stop STATE    stop it
set -euo pipefail
command=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# The pid file names our server only while that process still runs server.py.
ours() { [ -f "$state/pid" ] && grep -q server.py "/proc/$(cat "$state/pid")/cmdline" 2>/dev/null; }
running() { ours && [ -f "$state/port" ]; }
case $command in
start)
    exec 9>"$state/lock"
    flock 9
    running && exit 0
    rm -f "$state/port" "$state/pid"
    # Debian's own python3 (tools/deps.sh installs it), not whatever comes first on PATH.
    python=/usr/bin/python3
    [ -x "$python" ] || python=python3
    setsid "$python" "$here/server.py" --root "$state/sites" --port-file "$state/port" --pid-file "$state/pid" \
        </dev/null >>"$state/server.log" 2>&1 9>&- &
    for _ in $(seq 100); do
        [ -f "$state/port" ] && exit 0
        sleep 0.1
    done
    echo "the update site did not start; see $state/server.log" >&2
    exit 1
    ;;
stop)
    if ours; then
        kill "$(cat "$state/pid")" 2>/dev/null || true
    fi
    rm -f "$state/pid" "$state/port"
    ;;
*)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
