#!/usr/bin/env bash
# Installs what is missing, builds, and opens the applet in Wine's Control Panel host.
# With a display it shows there; without one it runs under a private Xvfb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh" >/dev/null

state=$top/build/wine
template=$("$top/tools/wine-env.sh" template "$state")
prefix=$state/user
# The user's prefix is kept between runs, so what the applet saved is there next time.
if [ ! -f "$prefix/.ready" ]; then
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
applet=$(winepath=/usr/lib/wine/wine64; "$winepath" winepath -w "$top/build/bin/dialpass.cpl" 2>/dev/null)

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
    Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:97
    sleep 1
    echo "No display: running under Xvfb on $DISPLAY."
fi

echo "Opening Wine's Control Panel host on $applet"
/usr/lib/wine/wine64 control "$applet"
echo "The host loaded dialpass.cpl and sent CPL_INIT, CPL_GETCOUNT, CPL_INQUIRE and CPL_NEWINQUIRE (name,"
echo "description, icon), CPL_STARTWPARMS, CPL_DBLCLK (search for an open sheet), CPL_STOP and CPL_EXIT."
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
exit 0
