#!/usr/bin/env bash
# Runs a test program of the build under Wine; the build's Wine state lies beside its bin folder.
program=$1
shift
bin=$(cd "$(dirname "$program")" && pwd)
exec "$(dirname "$0")/wine-env.sh" run "${DIALPASS_WINE_STATE:-$bin/../wine}" "$program" "$@"
