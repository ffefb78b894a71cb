#!/usr/bin/env bash
# publish_test.sh <x64 build dir> <nginx runtime dir>
# The main job end to end, in the language LANG gives: a metabase as IIS 6 writes it, given two good
# sites (one on :80: whose folder is written with %SystemDrive%, one with a host header on another port)
# and two nginx cannot serve; the program, started from the installed distribution, publishes into each
# good site and changes no other value of the store; nginx configured from the metabase serves the
# download page and the package; a second Install into the existing Zem (answered Yes) serves the new
# package.
set -uo pipefail
. "$(dirname "$0")/e2e.sh"

lang=${LANG%%.*}
e2e_fixture "$lang"
mkdir -p "$work/site1" "$work/site2"
iisadmin_tests=$E2E/../iisadmin
store_values() { python3 "$iisadmin_tests/metabase_values.py" "$@"; }

# Site 1's folder as IIS 7 and later store the default site's: with the variable, which the program must
# expand before it makes anything.
zem_mdutil add-site 1 "Default Web Site" "%SystemDrive%${base#C:}\\site1" :80: >/dev/null
zem_mdutil add-site 2 "Portal" "$base\\site2" :8080:portal >/dev/null
zem_mdutil add-site 3 "No port" "$base\\site1" ::other >/dev/null
zem_mdutil add-site 4 "Outside" 'Z:\tmp' :8081: >/dev/null

# served_page <link> <package file>: the download page at the address, the exact package below it.
served_page() {
    check "GET $1 answers the download page" [ "$(get "$1")" = "200 text/html" ]
    check "  ... byte for byte" cmp -s "$answer" "$dist/web/ZemWeb.htm"
    check "GET $1ZemSetup.exe answers the package" [ "$(get "$1ZemSetup.exe")" = "200 application/octet-stream" ]
    check "  ... byte for byte" cmp -s "$answer" "$2"
}

check "nginx serves the good sites" serve
check "the site without a port is reported" grep -q 'site 3 "No port": not served: .*has no port' "$report"
check "the site outside the prefix is reported" grep -q 'site 4 "Outside": not served: .*outside the Wine prefix' "$report"

before=$(store_values "$work/MetaBase.xml" /LM/W3SVC/1/ROOT/Zem)
publish 1 'http://[^/:]+/Zem/'
site1=$link
check "Install changed no value of the store outside Zem" \
    diff <(echo "$before") <(store_values "$work/MetaBase.xml" /LM/W3SVC/1/ROOT/Zem)
check "  ... and the keys IIS 6 wrote hold every value as it wrote them" diff <(store_values "$iisadmin_tests/iis6_store.xml") \
    <(store_values "$work/MetaBase.xml" /LM/W3SVC/1 /LM/W3SVC/2 /LM/W3SVC/3 /LM/W3SVC/4)
show=$(zem_mdutil show /LM/W3SVC/1/ROOT/Zem)
echo "$show"
for value in 'KeyType .* = "IIsWebVirtualDir"' "Path .* = \"${base//\\/\\\\}\\\\site1\\\\ZemWeb\\\\\"" \
             'AccessFlags .* = AccessRead$' 'DefaultDoc .* = "ZemWeb.htm,default.htm"'; do
    check "the metabase holds Zem's ${value%% *}" grep -q "$value" <<<"$show"
done
check "the files are in the site's folder, none below the program's" \
    test -f "$work/site1/ZemWeb/ZemSetup.exe" -a ! -e "$dist/%SystemDrive%"
check "nginx serves the new virtual directory" serve
served_page "$site1" "$dist/ZemSetup.exe"
check "GET ${site1}images/zem.png answers the image from the list's subfolder" [ "$(get "${site1}images/zem.png")" = "200 image/png" ]
check "GET ${site1%/Zem/}/Zem redirects to the folder" [ "$(get "${site1%/Zem/}/Zem" | cut -d' ' -f1)" = 301 ]
check "GET ${site1}images/ lists nothing" [ "$(get "${site1}images/" | cut -d' ' -f1)" = 403 ]
check "GET ${site1}nothing.htm is not found" [ "$(get "${site1}nothing.htm" | cut -d' ' -f1)" = 404 ]
# A virtual directory whose Read permission an administrator took away answers 403, as IIS does.
python3 -c 'import sys; f = sys.argv[1]; s = open(f).read().replace("</MBProperty>", sys.argv[2] + "</MBProperty>"); open(f, "w").write(s)' \
    "$work/MetaBase.xml" "<IIsWebVirtualDir Location=\"/LM/W3SVC/1/ROOT/Locked\" AccessFlags=\"AccessScript\" Path=\"$base\\site1\"></IIsWebVirtualDir>"
check "nginx serves the store with a virtual directory without read access" serve
check "GET ${site1%/Zem/}/Locked/ is forbidden" [ "$(get "${site1%/Zem/}/Locked/" | cut -d' ' -f1)" = 403 ]

publish 2 'http://portal:8080/Zem/'
check "nginx serves site 2's virtual directory" serve
served_page "$link" "$dist/ZemSetup.exe"
check "port 8080 answers another host name with 400" [ "$(get "http://elsewhere:8080/Zem/" | cut -d' ' -f1)" = 400 ]

# A new package, published into the Zem that exists: the question about it is answered Yes.
printf 'a newer package' >>"$dist/ZemSetup.exe"
publish 1 "$site1"
check "the program asked about the existing virtual directory" grep -q -- '-> Yes$' <<<"$out"
served_page "$site1" "$dist/ZemSetup.exe"

finish
