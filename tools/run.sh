#!/usr/bin/env bash
# Installs what is missing, builds, and opens the applet in Wine's Control Panel host on a phone-sized
# screen (a 240x320 virtual desktop) with the sample database.
# With no display it runs headless under Xvfb instead, writes a PNG of each of the five pages into
# build/screenshots (or $DIALPASS_SCREENSHOTS), and at 320x240 into its folder 320x240, and closes the sheet.
# DIALPASS_INSTALL_DIR names another install directory than build/sample.
# tools/update-site/demo.sh shows a database update the same way: it publishes the sample database with
# a higher version, serves it on 127.0.0.1 and opens the applet on it (headless: pictures of the
# progress dialog and of the success message).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh" >/dev/null
build=$top/build

if [ -z "${DISPLAY:-}" ]; then
    out=${DIALPASS_SCREENSHOTS:-$build/screenshots}
    echo "No display: pictures of the pages, taken under Xvfb at 240x320 and at 320x240:"
    "$top/tools/screenshots.sh" "$build" "$out"
    exit 0
fi

state=$build/wine
template=$("$top/tools/wine-env.sh" template "$state")
prefix=$state/user
# The user's prefix is kept between runs, so what the applet saved is there next time.
if [ ! -f "$prefix/.ready" ]; then
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE64=/usr/lib/wine/wine64
install=${DIALPASS_INSTALL_DIR:-}
[ -z "$install" ] && [ -d "$build/sample" ] && install=$build/sample
if [ -n "$install" ]; then
    "$WINE64" reg add 'HKCU\Software\Kestrova\Dialpass' /v InstallDir /t REG_SZ \
        /d "$("$WINE64" winepath -w "$install" 2>/dev/null)" /f >/dev/null 2>&1
fi
applet=$("$WINE64" winepath -w "$build/bin/dialpass.cpl" 2>/dev/null)
echo "Opening $applet in Wine's Control Panel host on a 240x320 desktop"
"$WINE64" explorer /desktop=Phone,240x320 control "$applet"
