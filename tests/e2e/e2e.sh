# Sourced by the end-to-end tests, with <x64 build dir> <nginx runtime dir> as $1 and $2: the checks and
# the steps they share. Each test works in a store and a distribution of its own (e2e_fixture), configures
# the one nginx of the tests from that store (serve) and asks it what a client would (get).
# shellcheck shell=bash
X64=$(cd "$1" && pwd)
NGINX_RUN=$2
export ZEM_X64=$X64
E2E=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$E2E/../../scripts/nginx.sh"
# Debian's Python, which has the modules zem_install_deps installs (aiohttp, selenium).
PY=/usr/bin/python3

failures=0
check() {   # check <what> <command...>
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
finish() {
    [ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
    exit $((failures > 0))
}

report=$(mktemp) answer=$(mktemp)
trap 'rm -f "$report" "$answer"' EXIT

# e2e_fixture <name>: a store as IIS 6 writes it in C:\zem-e2e\<name> (the folder is $work, the store's
# Windows folder $base) and the distribution installed in $dist.
e2e_fixture() {
    base="C:\\zem-e2e\\$1"
    export ZEM_METABASE_PATH="$base\\MetaBase.xml"
    work=$X64/wineprefix/drive_c/zem-e2e/$1
    dist=$X64/e2e/$1/dist
    rm -rf "$work" "$dist"
    mkdir -p "$work"
    cp "$E2E/../iisadmin/iis6_store.xml" "$work/MetaBase.xml"
    cmake --install "$X64" --prefix "$dist" >/dev/null || { echo "FAIL: cannot install the distribution"; exit 1; }
}

# serve: configures the tests' nginx from the metabase; the report goes to $report.
serve() { zem_nginx_configure "$NGINX_RUN" --free-ports >"$report" 2>&1; local s=$?; cat "$report"; return $s; }

# get <url> [curl options]: "<status> <content type>" of nginx's answer, the body in $answer.
get() { local url=$1; shift; zem_nginx_curl "$NGINX_RUN" "$url" -o "$answer" -w '%{http_code} %{content_type}' "$@"; }

# served_at <url>: where nginx serves the url's host and port, as host:port.
served_at() {
    local hostport port
    hostport=$(sed -E 's#^http://([^/]+).*#\1#' <<<"$1")
    port=${hostport##*:}
    [ "$port" != "$hostport" ] || port=80
    echo "127.0.0.1:$(awk -v p="$port" '$1 == p { print $2 }' "$NGINX_RUN/ports")"
}

# publish <site> <expected link>: the program does Install in that site; its report is in $out, the
# address its dialog shows in $link.
publish() {
    out=$("$X64/wine-run" "$X64/bin/zemdrive.exe" install "$(zem_winepath -w "$dist/ZemWebSetup.exe")" --site "$1" | tr -d '\r')
    local status=$?
    echo "$out" | sed 's/^/    /'
    check "site $1: Install ends in the program's \"Setup finished.\"" [ "$status" -eq 0 ]
    link=$(sed -n 's/^link: //p' <<<"$out")
    check "site $1: the dialog shows the address $2 (got $link)" grep -Eqx "$2" <<<"$link"
}
