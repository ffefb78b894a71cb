#!/usr/bin/env bash
# nginx serving what the metabase of this build's Wine prefix publishes, as IIS would on Windows.
#
#   nginx.sh configure <runtime dir> [--free-ports]   config from the metabase; reloads a running server
#   nginx.sh start <runtime dir> [--free-ports]       configures and starts the server
#   nginx.sh stop <runtime dir>                       stops the server started there, and only that one
#
# Everything of the server lives in the runtime dir: nginx.conf, ports, nginx.pid, logs/, tmp/. The
# metabase is the one the prefix's programs see (ZEM_METABASE_PATH when set). ZEM_X64 names the x64
# build tree (default build/x64). Sourced, it defines the zem_nginx_* functions.
# shellcheck shell=bash

ZEM_NGINX_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ZEM_X64=${ZEM_X64:-${ZEM_BUILD:-$ZEM_NGINX_SCRIPTS/../build}/x64}

# mdutil and winepath of the x64 build in its prefix, their output without the console's carriage returns.
zem_mdutil() { "$ZEM_X64/wine-run" "$ZEM_X64/bin/mdutil.exe" "$@" | tr -d '\r'; }
zem_winepath() { "$ZEM_X64/wine-run" winepath "$@" 2>/dev/null | tr -d '\r'; }

# zem_nginx_curl <runtime dir> <url> [curl options]: asks the server for the address whatever its name
# resolves to, on the port that serves the address's port.
zem_nginx_curl() {
    local run=$1 url=$2 hostport port served
    shift 2
    hostport=$(sed -E 's#^http://([^/]+).*#\1#' <<<"$url")
    port=${hostport##*:}
    [ "$port" != "$hostport" ] || port=80
    served=$(awk -v p="$port" '$1 == p { print $2 }' "$run/ports")
    curl -s --connect-to "${hostport%%:*}:$port:127.0.0.1:${served:-$port}" "$@" "$url"
}

# The master's pid when the server started in this runtime dir still runs.
zem_nginx_pid() {
    local run=$1 pid
    pid=$(cat "$run/nginx.pid" 2>/dev/null) || return 1
    [ -n "$pid" ] && grep -qF "$run/nginx.conf" "/proc/$pid/cmdline" 2>/dev/null || return 1
    echo "$pid"
}

zem_nginx_configure() {
    local run free=
    run=$(mkdir -p "$1" && cd "$1" && pwd)
    [ "${2:-}" = --free-ports ] && free=--free-ports
    # A port kept from before is only safe while the server that holds it runs.
    zem_nginx_pid "$run" >/dev/null || rm -f "$run/ports"
    zem_mdutil export-web >"$run/metabase.tsv.new" || {
        echo "nginx: cannot read the metabase (mdutil export-web failed)" >&2; return 1; }
    mv "$run/metabase.tsv.new" "$run/metabase.tsv"
    python3 "$ZEM_NGINX_SCRIPTS/nginx-conf.py" "$run/metabase.tsv" "$ZEM_X64/wineprefix" "$run" $free || return 1
    nginx -q -t -p "$run" -c "$run/nginx.conf" -e "$run/logs/error.log" || return 1
    local pid old
    pid=$(zem_nginx_pid "$run") || return 0
    old=$(pgrep -P "$pid" | sort)
    kill -HUP "$pid"
    # The reload is done when no worker of the old configuration is left.
    local i
    for i in $(seq 1 100); do
        [ -n "$(comm -12 <(pgrep -P "$pid" | sort) <(echo "$old"))" ] || return 0
        sleep 0.1
    done
    echo "nginx: the server did not take the new configuration; see $run/logs/error.log" >&2
    return 1
}

zem_nginx_start() {
    local run
    run=$(mkdir -p "$1" && cd "$1" && pwd)
    if zem_nginx_pid "$run" >/dev/null; then return 0; fi
    zem_nginx_configure "$run" "${2:-}" || return 1
    nginx -p "$run" -c "$run/nginx.conf" -e "$run/logs/error.log" -g 'daemon on;' || {
        tail -n 5 "$run/logs/error.log" >&2; return 1; }
    local i
    for i in $(seq 1 50); do
        zem_nginx_pid "$run" >/dev/null && return 0
        sleep 0.1
    done
    echo "nginx: the server did not start; see $run/logs/error.log" >&2
    return 1
}

zem_nginx_stop() {
    local run pid i
    run=$(cd "$1" 2>/dev/null && pwd) || return 0
    pid=$(zem_nginx_pid "$run") || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for i in $(seq 1 50); do
        [ -d "/proc/$pid" ] || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}:${2:-}" in
        configure:?*) zem_nginx_configure "$2" "${3:-}" ;;
        start:?*) zem_nginx_start "$2" "${3:-}" ;;
        stop:?*) zem_nginx_stop "$2" ;;
        *) sed -n '4,6s/^# //p' "$0" >&2; exit 2 ;;
    esac
fi
