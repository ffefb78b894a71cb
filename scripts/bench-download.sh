#!/usr/bin/env bash
# bench-download.sh <runs>: the download figure of scripts/bench.sh, which has built the x64 tree, started
# an X display and prepared the Wine prefix. The real program publishes a 64 MB package into a site of a
# store of its own; nginx serves it as for the run command; 500 clients download it at once (each body
# checked), then one client alone, run by run.
set -euo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/nginx.sh"
runs=$1
X64=$ZEM_BUILD/x64
bench=$X64/bench/download
export ZEM_METABASE_PATH='C:\zembench-download\MetaBase.xml'
rm -rf "$bench" "$X64/wineprefix/drive_c/zembench-download"
mkdir -p "$X64/wineprefix/drive_c/zembench-download/site1"
cmake --install "$X64" --prefix "$bench/dist" >/dev/null
head -c $((64 << 20)) /dev/urandom >"$bench/dist/ZemSetup.exe"
zem_mdutil add-site 1 "Default Web Site" 'C:\zembench-download\site1' :80: >/dev/null

trap 'zem_nginx_stop "$bench/nginx"' EXIT
zem_nginx_start "$bench/nginx" --free-ports >/dev/null
link=$("$X64/wine-run" "$X64/bin/zemdrive.exe" install "$(zem_winepath -w "$bench/dist/ZemWebSetup.exe")" |
       tr -d '\r' | sed -n 's/^link: //p')
zem_nginx_configure "$bench/nginx" --free-ports >/dev/null
port=$(awk '$1 == 80 { print $2 }' "$bench/nginx/ports")
/usr/bin/python3 "$ZEM_ROOT/scripts/download-clients.py" fetch "${link}ZemSetup.exe" "127.0.0.1:$port" \
    "$bench/dist/ZemSetup.exe" 500 "$runs"
