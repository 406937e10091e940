#!/usr/bin/env bash
# The Wine environment of a build's tests: one template prefix made once, a throwaway copy of it
# for each test run, a private X display and a persistent, warmed Wine server.
#   wine-env.sh up STATE            bring the environment up (idempotent)
#   wine-env.sh run STATE PROG ...  run a Windows program in it, bringing it up first
#   wine-env.sh down STATE          stop the server and the display, delete the run's prefix (and
#                                   those of the slots STATE/slot-N that tests side by side use)
#   wine-env.sh template STATE      print the template prefix, making it when missing
# DIALPASS_WINE_TEMPLATE (an absolute path) names a template shared with other states: the slots
# share their build's. DIALPASS_WINE_SLOT_FD names the descriptor of the slot's lock (tools/wine-exec.sh):
# the program run keeps it, what is left running for the slot (server, display, warm-up) must not.
set -euo pipefail
# A step that fails says so: ctest would otherwise show a failed test with no output at all.
trap 'echo "$0: line $LINENO: $BASH_COMMAND: status $?" >&2' ERR

WINE64=${WINE64:-$(cd "$(dirname "$0")" && pwd)/wine64.sh}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
# Errors only: a program that Wine cannot start (a DLL or memory it cannot map) says why instead of ending silently.
export WINEDEBUG=${WINEDEBUG:--all,err+all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

command=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
template=${DIALPASS_WINE_TEMPLATE:-$state/template}
prefix=$state/run
if [ -n "${DIALPASS_WINE_SLOT_FD:-}" ]; then
    slot_fd=$DIALPASS_WINE_SLOT_FD
else
    exec {slot_fd}</dev/null  # no lock: a descriptor that is harmless to close
fi
unset DIALPASS_WINE_SLOT_FD

# Raise when the template's content changes, so that older templates are made anew.
template_version=2

make_template() {
    [ "$(cat "$template/.ready" 2>/dev/null)" = "$template_version" ] && return
    # States that share the template make it once, one after the other.
    exec 8>"$template.lock"
    flock 8
    if [ "$(cat "$template/.ready" 2>/dev/null)" = "$template_version" ]; then
        flock -u 8
        return
    fi
    rm -rf "$template"
    WINEPREFIX=$template "$WINE64" wineboot -i >/dev/null 2>&1 {slot_fd}>&-
    # Debian's Wine does not look in its own font folder: give the prefix Tahoma and Marlett itself.
    cp /usr/share/wine/fonts/*.ttf "$template/drive_c/windows/Fonts/" 2>/dev/null || true
    # Without a window manager every close of a managed window stalls; crash dialogs would hang tests.
    WINEPREFIX=$template "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX=$template "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX=$template "$WINESERVER" -w
    echo "$template_version" >"$template/.ready"
    flock -u 8
}

start_display() {
    if [ -n "${DIALPASS_TEST_DISPLAY:-}" ]; then
        echo "$DIALPASS_TEST_DISPLAY" >"$state/display"
        return
    fi
    local fifo=$state/displayfd
    rm -f "$fifo"
    mkfifo "$fifo"
    setsid Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$fifo" </dev/null >"$state/xvfb.log" 2>&1 {slot_fd}>&- &
    echo $! >"$state/xvfb.pid"
    local number
    read -r -t 20 number <"$fifo"
    rm -f "$fifo"
    echo ":$number" >"$state/display"
}

up() {
    exec 9>"$state/lock"
    flock 9
    make_template
    # A run that was cut short left a prefix whose display is gone: start afresh.
    if [ -f "$prefix/.ready" ] && [ -f "$state/xvfb.pid" ] && ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
        WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
    if [ ! -f "$prefix/.ready" ]; then
        rm -rf "$prefix"
        # Hard links cost nothing; the registry files are rewritten by the server, so they are copied.
        cp -al "$template" "$prefix"
        for reg in "$prefix"/*.reg; do
            cp --remove-destination "$template/$(basename "$reg")" "$reg"
        done
        start_display
        export DISPLAY
        DISPLAY=$(cat "$state/display")
        WINEPREFIX=$prefix setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 {slot_fd}>&-
        WINEPREFIX=$prefix "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 {slot_fd}>&-
        touch "$prefix/.ready"
    fi
    flock -u 9
}

stop() {  # STATE: its server and display stopped, its run prefix deleted
    local state=$1 prefix=$1/run
    exec 9>"$state/lock"
    flock 9
    if [ -d "$prefix" ]; then
        WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
        WINEPREFIX=$prefix "$WINESERVER" -w 2>/dev/null || true
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -rf "$prefix" "$state/display"
    flock -u 9
}

down() {
    stop "$state"
    for slot in "$state"/slot-*; do
        [ -d "$slot" ] && stop "$slot"
    done
    return 0
}

case $command in
up) up ;;
down) down ;;
template)
    exec 9>"$state/lock"
    flock 9
    make_template
    echo "$template"
    ;;
run)
    up
    export WINEPREFIX=$prefix
    DISPLAY=$(cat "$state/display")
    export DISPLAY
    # A test that stands in for a full disk lowers its own file-size limit with prlimit: it needs its
    # Unix process id (exec keeps the subshell's), and to outlive a write past the limit, which Linux
    # would otherwise end with SIGXFSZ.
    trap '' XFSZ
    started=$(date +%s%N)
    status=0
    (DIALPASS_UNIX_PID=$BASHPID exec "$WINE64" "$@") || status=$?
    # A test that fails without a word of its own still shows how its program ended.
    if [ "$status" -ne 0 ]; then
        echo "wine-env.sh: $(basename "$1") ended with status $status after $((($(date +%s%N) - started) / 1000000)) ms" >&2
    fi
    exit "$status"
    ;;
*)
    echo "usage: $0 up|down|run|template STATE [PROGRAM ARGS...]" >&2
    exit 2
    ;;
esac
