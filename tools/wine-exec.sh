#!/usr/bin/env bash
# Runs a test program of the build under Wine; the build's Wine state lies beside its bin folder.
# A test that holds one of ctest's Wine slots (tools/test.sh) runs in that slot's state: a prefix,
# display and server of its own, so tests side by side share no registry, drive C: or window.
program=$1
shift
bin=$(cd "$(dirname "$program")" && pwd)
state=${DIALPASS_WINE_STATE:-$bin/../wine}
slot=${CTEST_RESOURCE_GROUP_0_WINE:-}  # "id:N,slots:1"
if [ -n "$slot" ]; then
    slot=${slot#id:}
    export DIALPASS_WINE_TEMPLATE=${DIALPASS_WINE_TEMPLATE:-$state/template}
    state=$state/slot-${slot%%,*}
fi
exec "$(dirname "$0")/wine-env.sh" run "$state" "$program" "$@"
