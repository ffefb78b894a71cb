#!/usr/bin/env bash
# zempublish_test.sh <x64 build dir> <nginx runtime dir>
# ZemPublish from the installed distribution, in the language LANG gives, on a store with several sites:
# publish into the site named Portal, status reports it complete, nginx serves the page and the exact
# package at the address `sites` printed; publishing again changes nothing, --if-exists fail stops with 1
# and changes nothing; remove takes the directory and the published files and leaves a file of the
# folder's own. Refused arguments exit 2 with their message and change nothing; a metabase held past the
# time-out gives 4. Every call runs with --json: the document parses and carries the lines it wrote.
set -uo pipefail
X64=$(cd "$1" && pwd)
NGINX_RUN=$2
export ZEM_X64=$X64
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/nginx.sh"

lang=${LANG%%.*}
base="C:\\zem-e2e\\cli-$lang"
export ZEM_METABASE_PATH="$base\\MetaBase.xml"
work=$X64/wineprefix/drive_c/zem-e2e/cli-$lang
dist=$X64/e2e/cli-$lang/dist
rm -rf "$work" "$dist"
mkdir -p "$work/site1" "$work/portal/ZemWeb"
cmake --install "$X64" --prefix "$dist" >/dev/null || { echo "FAIL: cannot install the distribution"; exit 1; }
# Redirected, the lines come in the ANSI code page of the language (Wine gives these programs no console).
codepage=cp1252
[ "$lang" = zh_CN ] && codepage=gbk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

failures=0
check() {   # check <what> <command...>
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

# zp <args...>: ZemPublish with --json; the document in $tmp/json, the exit status in $status.
zp() {
    "$X64/wine-run" "$dist/ZemPublish.exe" "$@" --json >"$tmp/json" 2>"$tmp/err"
    status=$?
    check "ZemPublish $* (exit $status): the JSON parses and holds the lines written" python3 -c '
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
lines = open(sys.argv[2], "rb").read().decode(sys.argv[3]).replace("\r\n", "\n")
sys.exit(lines != "".join(l + "\n" for l in d["lines"]))' "$tmp/json" "$tmp/err" "$codepage"
}
# is <python expression over the document d>: prints the value, or fails.
is() { python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8")); print(eval(sys.argv[2]))' "$tmp/json" "$1"; }
# text <ID> [arguments...]: a catalogue string of this language, filled in.
text() {
    python3 - "$here/../../res/Catalogue.rc" "$here/../../publish/ZemPublish.rc" "$lang" "$@" <<'PY'
import re, sys
sub = {"en_US": "SUBLANG_ENGLISH_US", "zh_CN": "SUBLANG_CHINESE_SIMPLIFIED"}[sys.argv[3]]
for rc in sys.argv[1:3]:
    for part in open(rc, encoding="utf-8").read().replace("\\\n", "").split("LANGUAGE ")[1:]:
        m = re.search(r"^\s*%s\s+\"((?:[^\"]|\"\")*)\"" % sys.argv[4], part, re.M)
        if part.split("\n")[0].endswith(sub) and m:
            args = tuple(int(a) if re.fullmatch(r"-?\d+", a) else a for a in sys.argv[5:])
            print(m.group(1).replace('""', '"').replace("\\n", "\n") % args)
PY
}
# snapshot: the store and every file below the sites' folders, to tell that nothing changed.
snapshot() { (cd "$work" && find . -type f | sort | xargs sha256sum); }
serve() { zem_nginx_configure "$NGINX_RUN" --free-ports >/dev/null 2>&1; }
get() { zem_nginx_curl "$NGINX_RUN" "$1" -o "$tmp/body" -w '%{http_code}'; }

zem_mdutil add-site 1 "Default Web Site" "$base\\site1" :80: >/dev/null
zem_mdutil add-site 2 "Portal" "$base\\portal" :8080:portal >/dev/null
zem_mdutil add-site 3 "Intranet" "$base\\site1" :8082: >/dev/null
zem_mdutil add-key /LM/W3SVC/3/ROOT/Zem >/dev/null
# A file of the folder's own, which no list names: remove must leave it.
echo "not published" >"$work/portal/ZemWeb/notes.txt"

zp sites
check "sites lists the three sites" [ "$status" = 0 -a "$(is 'len(d["sites"])')" = 3 ]
address=$(is '[s["address"] for s in d["sites"] if s["description"] == "Portal"][0]')
check "sites gives Portal's address http://portal:8080/Zem/ (got $address)" [ "$address" = http://portal:8080/Zem/ ]

zp publish --site-name Portal
check "publish --site-name Portal: exit 0, the dialog's verdict, a new directory" \
    [ "$status" = 0 -a "$(is 'd["verdict"]')" = "$(text IDS_SETUP_FINISHED)" -a "$(is 'd["created"] and d["changed"]')" = True ]
zp status --site 2
check "status: exit 0, complete, the package the one beside the program" \
    [ "$status" = 0 -a "$(is 'd["complete"] and d["package"]["sameAsBesideProgram"]')" = True ]
check "  ... its SHA-256 is the package's" [ "$(is 'd["package"]["sha256"]')" = "$(sha256sum <"$dist/ZemSetup.exe" | cut -d' ' -f1)" ]
check "  ... every listed file present" [ "$(is 'all(f["present"] for f in d["files"]) and len(d["files"])')" = 3 ]
check "nginx serves the new virtual directory" serve
check "GET $address answers the download page" [ "$(get "$address")" = 200 ]
check "  ... byte for byte" cmp -s "$tmp/body" "$dist/web/ZemWeb.htm"
check "GET ${address}ZemSetup.exe answers the exact package" [ "$(get "${address}ZemSetup.exe")" = 200 ]
check "  ... byte for byte" cmp -s "$tmp/body" "$dist/ZemSetup.exe"

before=$(snapshot)
zp publish --site-name Portal
check "publish again: exit 0, the directory kept, nothing changed" \
    [ "$status" = 0 -a "$(is 'd["keptExisting"] and not d["created"] and not d["changed"]')" = True ]
zp publish --site 2 --if-exists fail
check "publish --if-exists fail: exit 1 with the dialog's reason" \
    [ "$status" = 1 -a "$(is 'd["error"]')" = "$(text IDS_VDIR_FAILED_LOG Zem -2147024713 "$(text IDS_ERR_ALREADY_EXISTS)")" ]
check "  ... and the store and the folders are as they were" [ "$(snapshot)" = "$before" ]

zp remove --site 2
check "remove: exit 0, the four published files deleted" [ "$status" = 0 -a "$(is 'len(d["deleted"])')" = 4 ]
gone() { ! zem_mdutil show /LM/W3SVC/2/ROOT/Zem >/dev/null 2>&1; }
check "  ... the key is gone" gone
check "  ... the folder's own file is still there" test -f "$work/portal/ZemWeb/notes.txt"
check "  ... and nothing else is left" [ "$(cd "$work/portal" && find . | sort | tr '\n' ' ')" = ". ./ZemWeb ./ZemWeb/notes.txt " ]
check "nginx without the virtual directory" serve
check "GET ${address}ZemWeb.htm answers 404" [ "$(get "${address}ZemWeb.htm")" = 404 ]
check "GET ${address}ZemSetup.exe answers 404" [ "$(get "${address}ZemSetup.exe")" = 404 ]

# Refusals: the arguments, and the message they get (a catalogue string and what it quotes).
before=$(snapshot)
while IFS='|' read -r args message; do
    eval "set -- $args"
    zp "$@"
    eval "set -- $message"
    expected=$(text "$@")
    check "  ... exit 2 with \"$expected\"" [ "$status" = 2 -a "$(is 'd["error"]')" = "$expected" ]
done <<'TABLE'
publish --site 2 --folder 'C:\'|IDS_ENTER_FOLDER
publish --site 2 --package 'C:\nowhere\ZemSetup.exe'|IDS_PACKAGE_NOT_FOUND 'C:\nowhere\ZemSetup.exe'
frobnicate|IDS_P_UNKNOWN_VERB frobnicate
sites --site 1|IDS_P_UNKNOWN_OPTION --site sites
publish --folder 'C:\a' --folder 'C:\b'|IDS_P_TWICE --folder
publish --site|IDS_P_MISSING_VALUE --site
publish --site two|IDS_P_BAD_SITE_NUMBER two
status --site 9|IDS_P_NO_SUCH_SITE 9
remove --site-name Nowhere|IDS_P_NO_SUCH_SITE_NAME Nowhere
publish --site 1 --site-name Portal|IDS_P_SITE_AND_NAME
publish --if-exists maybe|IDS_P_BAD_IF_EXISTS maybe
status --list 'C:\nowhere.ini'|IDS_P_NO_LIST_FILE 'C:\nowhere.ini'
remove --site 3|IDS_P_NOT_VDIR /LM/W3SVC/3/ROOT/Zem ''
TABLE
check "the refusals changed nothing" [ "$(snapshot)" = "$before" ]

# Another management program holds the sites' key past the time-out.
"$X64/wine-run" "$X64/bin/mdutil.exe" hold /LM/W3SVC 5000 >"$tmp/hold" &
for _ in $(seq 1 50); do grep -q holding "$tmp/hold" && break; sleep 0.1; done
zp sites
check "sites while the metabase is held: exit 4" [ "$status" = 4 ]
wait

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
