#!/usr/bin/env bash
# Builds the 64-bit applet with its tests and tools (build/) and checks that the 32-bit one links (build-i686/).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
for target in x86_64 i686; do
    dir=$top/build
    [ "$target" = i686 ] && dir=$top/build-i686
    cmake -S "$top" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$top/tools/cmake/mingw-$target.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DDIALPASS_WERROR=ON >/dev/null
    cmake --build "$dir" -j "$jobs"
done
