#!/usr/bin/env bash
# Shows a database update. Publishes data/sample with one more country ("Zembla") as a new version,
# serves it from 127.0.0.1 (tools/update-site/server.py, slowed down so the progress can be seen),
# installs the sample database in C:\Dialpass of a Wine prefix and points "UpdateURL" at the site.
# With a display it opens the applet there (as tools/run.sh does): on the Update page tap "Check for
# updates"; after "Data were updated successfully" the Card settings page shows Zembla. With no
# display it does that itself under Xvfb and writes pictures of the progress dialog, the message and
# Card settings into build/screenshots/update (or $DIALPASS_SCREENSHOTS/update).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh" >/dev/null
build=$top/build
WINE64=${WINE64:-$top/tools/wine64.sh}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The sources and the site: a version above any earlier run's (seconds since 1970).
demo=$build/update-demo
rm -rf "$demo/sources"
mkdir -p "$demo/sources"
cp "$top"/data/sample/*.dat "$demo/sources/"
printf '999;Zembla;999\r\n' >>"$demo/sources/country.dat"
site=$build/update-site
"$top/tools/update-site/site.sh" start "$site"
version=$(date +%s)
"$top/tools/dpdb/wine-tool.sh" "$build/wine" "$build/bin/dpdb.exe" publish "$demo/sources" \
    "$site/sites/dialpass" --version "$version"
url="http://127.0.0.1:$(cat "$site/port")/slow/dialpass"
echo "Update site: $url (version $version)"

# Installs the sample database in C:\Dialpass of the prefix and points the applet at it and the site.
prepare() {
    mkdir -p "$WINEPREFIX/drive_c/Dialpass"
    cp "$build"/sample/*.dat "$build/sample/Update.exe" "$WINEPREFIX/drive_c/Dialpass/"
    rm -f "$WINEPREFIX/drive_c/Dialpass/database.ver"
    "$WINE64" reg add 'HKCU\Software\Kestrova\Dialpass' /v InstallDir /t REG_SZ /d 'C:\Dialpass' /f >/dev/null 2>&1
    "$WINE64" reg add 'HKCU\Software\Kestrova\Dialpass' /v UpdateURL /t REG_SZ /d "$url" /f >/dev/null 2>&1
    # The current location is the new country: Card settings selects it once the update is in.
    "$WINE64" reg add 'HKCU\Software\Kestrova\Dialpass' /v CurrentLocation /t REG_DWORD /d 999 /f >/dev/null 2>&1
}

template=$("$top/tools/wine-env.sh" template "$build/wine")
if [ -n "${DISPLAY:-}" ]; then
    export WINEPREFIX=$build/wine/user
    [ -f "$WINEPREFIX/.ready" ] || { rm -rf "$WINEPREFIX"; cp -a "$template" "$WINEPREFIX"; }
    prepare
    echo "On the Update page tap \"Check for updates\"; the site stops by itself after 15 idle minutes"
    exec "$WINE64" explorer /desktop=Phone,240x320 control "$("$WINE64" winepath -w "$build/bin/dialpass.cpl")"
fi

out=${DIALPASS_SCREENSHOTS:-$build/screenshots}/update
mkdir -p "$out"
export WINEPREFIX=$build/wine/update-demo
rm -rf "$WINEPREFIX"
cp -al "$template" "$WINEPREFIX"
for reg in "$WINEPREFIX"/*.reg; do cp --remove-destination "$template/$(basename "$reg")" "$reg"; done
fifo=$(mktemp -u)
mkfifo "$fifo"
setsid Xvfb -displayfd 5 -screen 0 240x320x24 -nolisten tcp 5>"$fifo" </dev/null >/dev/null 2>&1 &
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
    "$top/tools/update-site/site.sh" stop "$site"
}
trap cleanup EXIT
"$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Phone /f >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Phone /t REG_SZ /d 240x320 /f >/dev/null 2>&1
prepare
"$WINE64" control "$("$WINE64" winepath -w "$build/bin/dialpass.cpl")" &
host=$!
shot() {
    sleep 0.3
    import -display "$DISPLAY" -window root "$out/$1.png"
    echo "$out/$1.png"
}
ctl() { "$WINE64" "$build/bin/updatectl.exe" "$@"; }
"$WINE64" "$build/bin/sheetctl.exe" wait 30
ctl check
ctl wait Update
shot 1-progress
ctl wait "Kestrova Dialpass" 60
shot 2-updated
ctl answer "Kestrova Dialpass" 1
"$WINE64" "$build/bin/sheetctl.exe" show 1
shot 3-card-settings
"$WINE64" "$build/bin/sheetctl.exe" close
wait "$host" || true
host=
