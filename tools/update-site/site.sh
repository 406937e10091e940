#!/usr/bin/env bash
# The tests' update site (server.py) for one build: files below STATE/sites, its port in STATE/port.
#   site.sh start STATE   start it unless it runs (waits at most 10 s for its port)
#   site.sh stop STATE    stop it
# It serves over TLS too (STATE/tls): certificates of a test authority (STATE/tls/ca.crt), made anew
# at each start: good (localhost), expired, wronghost (another name), untrusted (another authority) and
# clientonly (not for web servers).
set -euo pipefail
command=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# The pid file names our server only while that process still runs server.py.
ours() { [ -f "$state/pid" ] && grep -q server.py "/proc/$(cat "$state/pid")/cmdline" 2>/dev/null; }
running() { ours && [ -f "$state/port" ]; }
# A certificate NAME for localhost (or host) signed by authority CA, valid for days (-1: expired), for
# usage (web servers unless given).
leaf() {
    local dir=$1 name=$2 ca=$3 host=$4 days=$5 usage=${6:-serverAuth}
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$dir/$name.key" -out "$dir/$name.csr" \
        -subj "/CN=$host" 2>/dev/null
    printf 'subjectAltName=DNS:%s\nextendedKeyUsage=%s\n' "$host" "$usage" >"$dir/$name.ext"
    openssl x509 -req -in "$dir/$name.csr" -CA "$dir/$ca.crt" -CAkey "$dir/$ca.cakey" -set_serial "$RANDOM$RANDOM" \
        -days "$days" -extfile "$dir/$name.ext" -out "$dir/$name.pem" 2>/dev/null
    rm -f "$dir/$name.csr" "$dir/$name.ext"
}

# The authorities sign with RSA: Wine's ECDSA check refuses a good signature whose r or s is shorter than
# 32 bytes (DER drops leading zeros; one signature in about 128), so with ECDSA about one start in 64
# made certificates that Wine refused for as long as the site ran.
authority() {
    local dir=$1 name=$2
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/$name.cakey" \
        -out "$dir/$name.crt" -days 30 -subj "/CN=Dialpass test authority $name" 2>/dev/null
}

make_certificates() {
    local dir=$1
    rm -rf "$dir" && mkdir -p "$dir"
    authority "$dir" ca
    authority "$dir" stranger
    leaf "$dir" good ca localhost 30
    leaf "$dir" expired ca localhost -1
    leaf "$dir" wronghost ca wrong.invalid 30
    leaf "$dir" untrusted stranger localhost 30
    leaf "$dir" clientonly ca localhost 30 clientAuth
}

case $command in
start)
    exec 9>"$state/lock"
    flock 9
    running && exit 0
    rm -f "$state/port" "$state/pid" "$state"/tls-port-*
    make_certificates "$state/tls"
    # Debian's own python3 (tools/deps.sh installs it), not whatever comes first on PATH.
    python=/usr/bin/python3
    [ -x "$python" ] || python=python3
    setsid "$python" "$here/server.py" --root "$state/sites" --port-file "$state/port" --pid-file "$state/pid" \
        --tls "$state/tls" </dev/null >>"$state/server.log" 2>&1 9>&- &
    for _ in $(seq 100); do
        [ -f "$state/port" ] && exit 0
        sleep 0.1
    done
    echo "the update site did not start; see $state/server.log" >&2
    exit 1
    ;;
stop)
    if ours; then
        kill "$(cat "$state/pid")" 2>/dev/null || true
    fi
    rm -f "$state/pid" "$state/port" "$state"/tls-port-*
    ;;
*)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
