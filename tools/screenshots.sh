#!/usr/bin/env bash
# Opens the applet in Wine's Control Panel host on a phone-sized screen (240x320) under a private
# Xvfb, walks through it as a new user does (a profile, the location, a sequence) and writes a PNG
# of each step and of each of its five pages into OUT, then closes the sheet without saving; then
# does the same on the phone turned sideways (320x240), into OUT/320x240. These pictures are drawn
# without a theme; the same with Wine's "Light" theme on go into OUT/themed (and OUT/themed/320x240),
# and the five pages with high contrast on into OUT/high-contrast.
#   tools/screenshots.sh BUILD OUT [SIZE [LOOK]]   (SIZE: only that screen, WIDTHxHEIGHT, into OUT;
#                                                  LOOK: classic, themed or high-contrast, classic unless given)
# The Wine prefix is a throwaway copy of the build's template (BUILD/wine/shots-SIZE). InstallDir is
# set to $DIALPASS_INSTALL_DIR, else to BUILD/sample when that exists. With $DIALPASS_PACKAGE (an .msi)
# the package is installed into the prefix instead, the applet is the one its Control Panel
# registration names, and OUT/control-panel.png shows Wine's Control Panel listing it.
set -euo pipefail
# Most steps are quiet (their output would only be noise): a failing one at least says where it stopped.
trap 'echo "screenshots.sh ${3:-240x320} ${4:-classic}: line $LINENO failed (exit $?)" >&2' ERR
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
size=${3:-240x320}
look=${4:-classic}
WINE64=${WINE64:-$(cd "$(dirname "$0")" && pwd)/wine64.sh}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

state=$build/wine
template=$("$top/tools/wine-env.sh" template "$state")
export WINEPREFIX=$state/shots-$size
rm -rf "$WINEPREFIX"
cp -al "$template" "$WINEPREFIX"
for reg in "$WINEPREFIX"/*.reg; do cp --remove-destination "$template/$(basename "$reg")" "$reg"; done

# The X screen is the phone's screen; Wine's desktop "Phone" covers it.
fifo=$(mktemp -u)
mkfifo "$fifo"
setsid Xvfb -displayfd 5 -screen 0 ${size}x24 -nolisten tcp 5>"$fifo" </dev/null >/dev/null 2>&1 &
xvfb=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
export DISPLAY=:$number
host=
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    [ -n "$host" ] && wait "$host" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# The look: Wine's "Light" theme on or off, and the high-contrast setting as Windows keeps it (Wine's
# SystemParametersInfo has none; the applet reads this value then).
theme=0
[ "$look" = themed ] && theme=1
"$WINE64" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d $theme /f >/dev/null 2>&1
if [ "$look" = high-contrast ]; then
    "$WINE64" reg add 'HKCU\Control Panel\Accessibility\HighContrast' /v Flags /t REG_SZ /d 127 /f >/dev/null 2>&1
    # The colours of Windows' "High Contrast Black", which Wine reads as a program starts.
    for colour in ButtonFace=0,0,0 ButtonText=255,255,255 Window=0,0,0 WindowText=255,255,255 \
        Hilight=26,235,255 HilightText=0,0,0 GrayText=63,242,63 Menu=0,0,0 MenuText=255,255,255 \
        ButtonShadow=128,128,128 ButtonHilight=255,255,255; do
        "$WINE64" reg add 'HKCU\Control Panel\Colors' /v "${colour%%=*}" /t REG_SZ \
            /d "$(echo "${colour#*=}" | tr , ' ')" /f >/dev/null 2>&1
    done
fi
# Every program of this prefix runs in the one virtual desktop, so sheetctl finds the sheet.
"$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Phone /f >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Phone /t REG_SZ /d "$size" /f >/dev/null 2>&1
install=${DIALPASS_INSTALL_DIR:-}
[ -z "$install" ] && [ -d "$build/sample" ] && install=$build/sample
package=${DIALPASS_PACKAGE:-}
if [ -n "$package" ]; then
    "$WINE64" msiexec /i "$("$WINE64" winepath -w "$package" 2>/dev/null)" /qn
    applet=$("$WINE64" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls' \
        /v 'Kestrova Dialpass' 2>/dev/null | tr -d '\r' | sed -n 's/^ *Kestrova Dialpass *REG_\(EXPAND_\)\{0,1\}SZ *//p')
    [ -n "$applet" ] || { echo "screenshots.sh: the package registered no applet" >&2; exit 1; }
    # The applet works in the folder the package installed, so that is the folder whose lock is held below.
    installed=$("$WINE64" reg query 'HKCU\Software\Kestrova\Dialpass' /v InstallDir 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *InstallDir *REG_SZ *//p')
    install=$("$WINE64" winepath -u "$installed" 2>/dev/null)
else
    if [ -n "$install" ]; then
        "$WINE64" reg add 'HKCU\Software\Kestrova\Dialpass' /v InstallDir /t REG_SZ \
            /d "$("$WINE64" winepath -w "$install" 2>/dev/null)" /f >/dev/null 2>&1
    fi
    applet=$("$WINE64" winepath -w "$build/bin/dialpass.cpl" 2>/dev/null)
fi
# The simulated network reports operator 26201, which the sample maps to Germany.
"$WINE64" reg add 'HKCU\Software\Kestrova\CellularSimulator' /v Operator /t REG_SZ /d 26201 /f >/dev/null 2>&1
"$WINE64" control "$applet" &
host=$!
ctl() { "$WINE64" "$build/bin/sheetctl.exe" "$@"; }
picture() {
    sleep 0.3
    import -display "$DISPLAY" -window root "$out/$1.png"
    echo "$out/$1.png"
}
ctl wait 30
if [ "$look" = high-contrast ]; then
    # The pages only.
    names=(general card-settings phone-settings update about)
    for i in 0 1 2 3 4; do
        ctl show "$i"
        picture "$i-${names[$i]}"
    done
    ctl close
    wait "$host" || true
    exit 0
fi
# A new user's first walk: a profile created (its home location detected), General with the
# profile selected, Card settings with the detected location and the provider, the sequence editor
# with a sequence for international calls, then the other pages.
ctl click 0 1007
ctl dialog "Dialpass profile" 30
ctl set "Dialpass profile" 1015 "Travel"
ctl set "Dialpass profile" 1034 "12345"
ctl set "Dialpass profile" 1035 "9876"
picture walk-1-new-profile
ctl end "Dialpass profile" 1
names=(general card-settings phone-settings update about)
for i in 0 1; do
    ctl show "$i"
    picture "$i-${names[$i]}"
done
ctl click 1 1018
ctl dialog "Dialog" 30
for step in 1029 1033 1031 1032; do ctl press "Dialog" "$step"; done
picture walk-2-sequence-editor
ctl end "Dialog" 1
for i in 2 3 4; do
    ctl show "$i"
    picture "$i-${names[$i]}"
done
# OK while another program holds the installation folder's lock: the applet says that nothing was
# saved and keeps the sheet open. OK is pressed only once the lock is held, so nothing is saved.
if [ -n "$install" ]; then
    lock=$("$WINE64" winepath -w "$install/dialpass.lock" 2>/dev/null)
    coproc holder { exec "$WINE64" "$build/bin/sheetctl.exe" hold "$lock"; }
    held=
    read -r -t 30 held <&"${holder[0]}" || true
    if [ "${held%$'\r'}" = held ]; then
        ctl ok
        ctl dialog "Kestrova Dialpass" 30
        picture walk-3-not-saved
        ctl answer
    fi
    kill "$holder_PID" 2>/dev/null || true
    wait "$holder_PID" 2>/dev/null || true
fi
ctl close
wait "$host" || true
host=

# --- The editing dialogs, opened on their own by dialogctl on the same database: the sequence
# editor with a few steps, "Wait for" and "Specify digits" over it, and the profile dialog, whose
# home location is detected through the simulated network (operator 26201).
dialogs=(card waitfor digits profile)
titles=("Dialog" "Wait for" "Specify digits" "Dialpass profile")
for i in 0 1 2 3; do
    picture=$out/$((i + 5))-${dialogs[$i]}.png
    "$WINE64" "$build/bin/dialogctl.exe" open "${dialogs[$i]}" &
    host=$!
    "$WINE64" "$build/bin/dialogctl.exe" wait "${titles[$i]}" 30
    sleep 0.3
    import -display "$DISPLAY" -window root "$picture"
    echo "$picture"
    "$WINE64" "$build/bin/dialogctl.exe" close
    wait "$host" || true
    host=
done

# Wine's Control Panel, which lists the applet that the package registered.
if [ -n "$package" ] && [ -z "${3:-}" ]; then
    "$WINE64" control &
    host=$!
    ctl window "Wine Control Panel" 30
    picture control-panel
    kill "$host" 2>/dev/null || true
    wait "$host" 2>/dev/null || true
    host=
fi

# The phone turned sideways: the same pages at 320x240, when no size was asked for; then the same two
# with the theme on, and the pages with high contrast.
if [ -z "${3:-}" ]; then
    cleanup
    trap - EXIT
    "$0" "$build" "$out/320x240" 320x240
    "$0" "$build" "$out/themed" 240x320 themed
    "$0" "$build" "$out/themed/320x240" 320x240 themed
    exec "$0" "$build" "$out/high-contrast" 240x320 high-contrast
fi
