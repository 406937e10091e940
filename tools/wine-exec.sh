#!/usr/bin/env bash
# Runs a test program of the build under Wine; the build's Wine state lies beside its bin folder.
# The program runs in the first free Wine slot of that state (slot-K, K from 0 up, made on demand): a
# prefix, display and server of its own, so that tests side by side (ctest -j N) share no registry,
# drive C: or window, and at most N slots ever exist.
set -euo pipefail
# A step that fails says so: ctest would otherwise show a failed test with no output at all.
trap 'echo "$0: line $LINENO: $BASH_COMMAND: status $?" >&2' ERR
program=$1
shift
bin=$(cd "$(dirname "$program")" && pwd)
state=${DIALPASS_WINE_STATE:-$bin/../wine}
mkdir -p "$state"
export DIALPASS_WINE_TEMPLATE=${DIALPASS_WINE_TEMPLATE:-$(cd "$state" && pwd)/template}
# A slot is free when nobody holds its lock. The program keeps the lock (exec keeps the descriptor)
# until it ends; wine-env.sh closes it for the server, display and warm-up it leaves running, or
# the slot would stay taken after the program.
slot=0
while :; do
    exec {lock}>"$state/slot-$slot.lock"
    flock -n "$lock" && break
    exec {lock}>&-
    slot=$((slot + 1))
done
export DIALPASS_WINE_SLOT_FD=$lock
exec "$(dirname "$0")/wine-env.sh" run "$state/slot-$slot" "$program" "$@"
