#!/usr/bin/env bash
# Packages the built files as a per-user Windows Installer package, in seconds and without building:
#   tools/package.sh [VERSION]        ->  build/dist/Dialpass-VERSION-x64.msi
# VERSION (MAJOR.MINOR.BUILD, at most 255.255.65535) defaults to the build's (CMake's DIALPASS_VERSION);
# another one packages the same files as that version, for a release or an upgrade test.
# Environment: DIALPASS_BUILD the build folder (default build), DIALPASS_DIST where the package goes
# (default BUILD/dist), DIALPASS_DATABASE_VERSION the shipped card database's version (default 1),
# Signing (SHA-256, osslsigncode; nothing is signed without a key): DIALPASS_SIGN_CERT and DIALPASS_SIGN_KEY
# a PEM certificate and key, or DIALPASS_SIGN_PKCS12 a PKCS#12 file holding both, or with
# DIALPASS_SIGN_PKCS11_MODULE a token's PKCS#11 module, DIALPASS_SIGN_CERT and DIALPASS_SIGN_KEY the key's
# PKCS#11 URI; DIALPASS_SIGN_PASSWORD_FILE the key's password, DIALPASS_SIGN_TIMESTAMP an RFC 3161
# timestamp authority's address, whose countersignature keeps the signatures valid after the
# certificate expires.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${DIALPASS_BUILD:-$top/build}" && pwd)
die() { echo "package.sh: $*" >&2; exit 2; }

version=${1:-$(cat "$build/version.txt" 2>/dev/null || true)}
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] &&
    ((BASH_REMATCH[1] <= 255 && BASH_REMATCH[2] <= 255 && BASH_REMATCH[3] <= 65535)) ||
    die "the version must be MAJOR.MINOR.BUILD, at most 255.255.65535: '$version'"
database_version=${DIALPASS_DATABASE_VERSION:-1}
[[ $database_version =~ ^[1-9][0-9]{0,9}$ ]] || die "DIALPASS_DATABASE_VERSION must be a number from 1: '$database_version'"
cert=${DIALPASS_SIGN_CERT:-}
key=${DIALPASS_SIGN_KEY:-}
pkcs12=${DIALPASS_SIGN_PKCS12:-}
pkcs11=${DIALPASS_SIGN_PKCS11_MODULE:-}
signer=()
if [ -n "$pkcs12" ]; then
    [ -f "$pkcs12" ] || die "DIALPASS_SIGN_PKCS12 is not a readable file: '$pkcs12'"
    signer=(-pkcs12 "$pkcs12")
elif [ -n "$pkcs11" ]; then
    [ -f "$cert" ] && [ -n "$key" ] || die "a PKCS#11 key needs DIALPASS_SIGN_CERT (a file) and DIALPASS_SIGN_KEY (its URI)"
    signer=(-pkcs11module "$pkcs11" -certs "$cert" -key "$key")
elif [ -n "$cert$key" ]; then
    [ -f "$cert" ] && [ -f "$key" ] || die "signing needs both DIALPASS_SIGN_CERT and DIALPASS_SIGN_KEY as readable files"
    signer=(-certs "$cert" -key "$key")
fi
if [ ${#signer[@]} -gt 0 ]; then
    [ -z "${DIALPASS_SIGN_PASSWORD_FILE:-}" ] || signer+=(-readpass "$DIALPASS_SIGN_PASSWORD_FILE")
    [ -z "${DIALPASS_SIGN_TIMESTAMP:-}" ] || signer+=(-ts "$DIALPASS_SIGN_TIMESTAMP")
fi

dist=${DIALPASS_DIST:-$build/dist}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
stage=$(mktemp -d "$dist/.stage-XXXXXX")
trap 'rm -rf "$stage"' EXIT
files=$stage/files
mkdir "$files"

# The programs, without their symbols.
for program in dialpass.cpl Update.exe dialpass-config.exe; do
    [ -f "$build/bin/$program" ] || die "$build/bin/$program is not built (tools/build.sh)"
    x86_64-w64-mingw32-strip -o "$files/$program" "$build/bin/$program"
done
# The package's custom action, which the installer runs from the package itself.
[ -f "$build/bin/packageaction.dll" ] || die "$build/bin/packageaction.dll is not built (tools/build.sh)"
x86_64-w64-mingw32-strip -o "$files/packageaction.dll" "$build/bin/packageaction.dll"
# The starting card database: the built sample (never a user's files), its signed description and
# signature when the build made them, and its version record (the build's, else DIALPASS_DATABASE_VERSION).
database=()
for file in "$build"/sample/*.dat "$build"/sample/database.xml "$build"/sample/database.sig; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    case ${name,,} in profiles.dat | settings.dat) continue ;; esac
    cp "$file" "$files/$name"
    database+=("$name")
done
[ ${#database[@]} -gt 0 ] || die "$build/sample holds no card database (tools/build.sh)"
if [ -f "$build/sample/database.ver" ]; then
    cp "$build/sample/database.ver" "$files/database.ver"
else
    printf '%s\r\n' "$database_version" >"$files/database.ver"
fi
sed 's/$/\r/' "$top/installer/readme.txt" >"$files/readme.txt"
cp "$top/resources/images/dialpass.ico" "$files/"

sign() {
    osslsigncode sign "${signer[@]}" -h sha256 -n "Kestrova Dialpass" \
        -i https://www.kestrova.com/dialpass -in "$1" -out "$1.signed" >/dev/null ||
        die "osslsigncode could not sign $(basename "$1")"
    mv "$1.signed" "$1"
}
if [ ${#signer[@]} -gt 0 ]; then
    for program in dialpass.cpl Update.exe dialpass-config.exe packageaction.dll; do sign "$files/$program"; done
fi

# The database files in the database component, and their removal when the product is uninstalled
# (with what the updater and the applet leave beside them; never profiles.dat or settings.dat).
{
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Include>'
    for name in "${database[@]}"; do echo "  <File Id=\"db_$name\" Name=\"$name\" Source=\"files/$name\"/>"; done
    echo '</Include>'
} >"$stage/database.wxi"
queries=()
while IFS= read -r line; do
    [[ -z $line || $line == --* ]] || queries+=("${line//@VERSION@/$version}")
done <"$top/installer/package.sql"
# wixl leaves File.Version empty: the programs' own versions let Windows Installer's file versioning
# decide what an upgrade or a repair replaces, rather than the rules for unversioned files (dates).
file_version() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
if at < 0:
    sys.exit("no version resource in " + sys.argv[1])
high, low = struct.unpack_from("<II", data, at + 8)
print("%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF))
PY
}
for program in dialpass.cpl:dialpass.cpl Update.exe:Update.exe dialpass-config.exe:dialpass_config.exe; do
    queries+=("UPDATE File SET Version = '$(file_version "$files/${program%%:*}")', Language = '1033' WHERE File = '${program#*:}'"
              "DELETE FROM MsiFileHash WHERE File_ = '${program#*:}'")  # hashes are for unversioned files only (ICE60)
done
index=0
for name in "${database[@]}" database.ver update.log dialpass.lock '~dp*.new' '~dp*.old'; do
    index=$((index + 1))
    queries+=("INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode) VALUES ('RemoveData$index', 'Registration', '$name', 'INSTALLFOLDER', 2)")
done

msi=$dist/Dialpass-$version-x64.msi
(cd "$stage" && wixl -a x64 -D Version="$version" -I "$stage" -o "$stage/package.msi" "$top/installer/dialpass.wxs")
for query in "${queries[@]}"; do
    msibuild "$stage/package.msi" -q "$query" || die "msibuild could not apply: $query"
done
[ ${#signer[@]} -eq 0 ] || sign "$stage/package.msi"
mv "$stage/package.msi" "$msi"
echo "$msi"
