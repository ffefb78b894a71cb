#!/usr/bin/env bash
# download_test.sh <x64 build dir> <nginx runtime dir> browser|load|replace|debris
# The download point as the network sees it, after a real Install of the installed distribution served
# by nginx from the metabase:
#   browser  a real browser in each language the page speaks, and without script (browser_test.py)
#   load     200 clients at once, each with the exact package; a range, a conditional request, HEAD
#   replace  a second Install (a new package) under running downloads: no client gets a mix
#   debris   a run ended from outside during a large copy; its work folder is never served, and the
#            next Install removes it
set -uo pipefail
. "$(dirname "$0")/e2e.sh"
part=$3

# install_package <bytes>: a package of that size, random, in the distribution; the first Install of it.
install_package() {
    head -c "$1" /dev/urandom >"$dist/ZemSetup.exe"
    publish 1 'http://[^/:]+/Zem/'
    check "nginx serves the new virtual directory" serve
    package_url=${link}ZemSetup.exe
    server=$(served_at "$link")
}

e2e_fixture "download-$part"
mkdir -p "$work/site1"
zem_mdutil add-site 1 "Default Web Site" "$base\\site1" :80: >/dev/null
folder=$work/site1/ZemWeb

case $part in
browser)
    install_package 300000
    mkdir -p "$X64/artefacts"
    check "a browser finds the page as it should" "$PY" "$E2E/browser_test.py" "$link" "$server" "$dist/ZemSetup.exe" \
        "$X64/artefacts/page-en_US.png"
    ;;
load)
    size=$((8 << 20))
    install_package $size
    # More clients than a default nginx would hold at once; the benchmark takes 500 and 64 MB.
    check "200 clients at once each get the package whole" "$PY" "$ZEM_NGINX_SCRIPTS/download-clients.py" fetch \
        "$package_url" "$server" "$dist/ZemSetup.exe" 200
    check "a range is answered 206 with those bytes" [ "$(get "$package_url" -r 1000000-1999999)" = "206 application/octet-stream" ]
    check "  ... byte for byte" cmp -s "$answer" <(tail -c +1000001 "$dist/ZemSetup.exe" | head -c 1000000)
    headers=$(zem_nginx_curl "$NGINX_RUN" "$package_url" -I | tr -d '\r')
    check "HEAD tells the package's length" grep -qx "Content-Length: $size" <<<"$headers"
    check "  ... and type" grep -qx "Content-Type: application/octet-stream" <<<"$headers"
    modified=$(sed -n 's/^Last-Modified: //p' <<<"$headers") etag=$(sed -n 's/^ETag: //p' <<<"$headers")
    check "If-Modified-Since answers 304" [ "$(get "$package_url" -H "If-Modified-Since: $modified" | cut -d' ' -f1)" = 304 ]
    check "If-None-Match answers 304" [ "$(get "$package_url" -H "If-None-Match: $etag" | cut -d' ' -f1)" = 304 ]
    ;;
replace)
    install_package $((32 << 20))
    cp "$dist/ZemSetup.exe" "$work/old.exe"
    head -c $((24 << 20)) /dev/urandom >"$dist/ZemSetup.exe"
    check "a second Install under 20 running downloads gives each client one package whole" "$PY" \
        "$ZEM_NGINX_SCRIPTS/download-clients.py" replace "$package_url" "$server" "$work/old.exe" "$dist/ZemSetup.exe" 20 \
        "$X64/wine-run" "$X64/bin/zemdrive.exe" install "$(zem_winepath -w "$dist/ZemWebSetup.exe")"
    ;;
debris)
    install_package 1000
    truncate -s 3G "$dist/ZemSetup.exe"
    "$X64/wine-run" "$X64/bin/zemdrive.exe" install "$(zem_winepath -w "$dist/ZemWebSetup.exe")" >/dev/null 2>&1 &
    drive=$!
    # The package on its way: the one large file in the run's work folder.
    for _ in $(seq 1 600); do
        copy=$(find "$folder" -path '*/zem*.tmp/zem*.tmp' -size +1M 2>/dev/null | head -n 1)
        [ -z "$copy" ] || break
        sleep 0.05
    done
    check "the run copies the package in a work folder of its own" [ -n "$copy" ]
    copy=${copy#"$folder/"}
    check "GET ${link}$copy during the run is not found" [ "$(get "$link$copy" | cut -d' ' -f1)" = 404 ]
    pid=$(sed -E 's#^zem([0-9a-f]+)_.*#\1#' <<<"$copy")
    "$X64/wine-run" taskkill /F /PID $((16#$pid)) >/dev/null 2>&1
    wait "$drive"
    left=$(stat -c %s "$folder/$copy" 2>/dev/null || echo 0)
    check "the run ended during the copy, leaving its work folder ($left of 3 GB copied)" [ "$left" -gt 0 ]
    check "  ... which is not served either" [ "$(get "$link$copy" | cut -d' ' -f1)" = 404 ]
    truncate -s 1000 "$dist/ZemSetup.exe"
    publish 1 "$link"
    check "the next Install removed it, and the folder holds what was published" \
        [ "$(LC_ALL=C ls "$folder" | tr '\n' ' ')" = "ZemSetup.exe ZemWeb.htm default.htm images " ]
    ;;
*)
    echo "unknown part: $part"; exit 2 ;;
esac
finish
