#!/usr/bin/env bash
# Every resource id the code names must be defined in resource.h and given a resource in dialpass.rc.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
dirs=$(for d in app base framework data pages phone platform; do [ -d "$d" ] && echo "$d"; done)
used=$(grep -rhoE '\bID[SDBIMR]_[A-Z0-9_]+' $dirs --include='*.cpp' --include='*.h' | sort -u || true)
status=0
for id in $used; do
    if ! grep -qE "^#define[[:space:]]+$id[[:space:]]" resources/resource.h; then
        echo "$id is used in the code but not defined in resources/resource.h"
        status=1
    elif ! grep -qE "\b$id\b" resources/dialpass.rc; then
        echo "$id is defined but has no resource in resources/dialpass.rc"
        status=1
    fi
done
[ $status -eq 0 ] && echo "$(echo "$used" | grep -c .) resource ids used by the code all exist"
exit $status
