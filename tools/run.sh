#!/usr/bin/env bash
# Installs what is missing, builds, packages (tools/package.sh), installs the package into its Wine
# prefix with msiexec as a Windows user would, and opens the applet that the package registered with
# the Control Panel, in Wine's Control Panel host on a phone-sized screen (a 240x320 virtual desktop).
# With no display it runs headless under Xvfb instead, in a throwaway prefix: it installs the package,
# writes a PNG of Wine's Control Panel listing the applet (control-panel.png) and of each of the five
# pages into build/screenshots (or $DIALPASS_SCREENSHOTS), and at 320x240 into its folder 320x240, and
# closes the sheet.
# tools/update-site/demo.sh shows a database update the same way: it publishes the sample database with
# a higher version, serves it on 127.0.0.1 and opens the applet on it (headless: pictures of the
# progress dialog and of the success message).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh" >/dev/null
build=$top/build
package=$("$top/tools/package.sh")

if [ -z "${DISPLAY:-}" ]; then
    out=${DIALPASS_SCREENSHOTS:-$build/screenshots}
    echo "No display: pictures of the pages, taken under Xvfb at 240x320 and at 320x240:"
    DIALPASS_PACKAGE=$package "$top/tools/screenshots.sh" "$build" "$out"
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
WINE64=$top/tools/wine64.sh
# A rebuilt package of the same version would keep the installed programs (Windows Installer replaces
# a file only by a higher version): remove the installation first. Profiles and the dialer's settings stay.
"$WINE64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { key = $0 } /^ +DisplayName +REG_SZ +Kestrova Dialpass$/ { sub(/.*\\/, "", key); print key }' |
    while read -r product; do "$WINE64" msiexec /x "$product" /qn; done
"$WINE64" msiexec /i "$("$WINE64" winepath -w "$package" 2>/dev/null)" /qn
applet=$("$WINE64" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls' \
    /v 'Kestrova Dialpass' 2>/dev/null | tr -d '\r' | sed -n 's/^ *Kestrova Dialpass *REG_\(EXPAND_\)\{0,1\}SZ *//p')
[ -n "$applet" ] || { echo "run.sh: the package registered no applet with the Control Panel" >&2; exit 1; }
echo "Installed $package; opening $applet in Wine's Control Panel host on a 240x320 desktop"
"$WINE64" explorer /desktop=Phone,240x320 control "$applet"
