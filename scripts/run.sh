#!/usr/bin/env bash
# Does the program's main job in the build tree's Wine prefix, as an administrator would on a server:
# installs the distribution into C:\ZemWebSetup\, gives the metabase "Default Web Site" when it has no
# site 1, serves the metabase's sites with nginx (scripts/nginx.sh) and starts the program from there.
#
#   bash scripts/run.sh          with DISPLAY set: the dialog opens for a person; nginx follows every
#                                change of the metabase while the program runs and stops with it.
#                                Without a display: the run presses Install itself, prints what the
#                                program showed, the new virtual directory and what the published
#                                address answers; exit status 0 only when all of it worked.
#   bash scripts/run.sh --docs   the headless run in English and in Chinese, each on a metabase of its
#                                own, writing the README's screenshots to docs/.
set -euo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/nginx.sh"

X64=$ZEM_BUILD/x64
NGINX_RUN=$X64/nginx
DIST='C:\ZemWebSetup'
PROGRAM="$DIST\\ZemWebSetup.exe"
unix_path() { zem_winepath -u "$1"; }
windows_path() { zem_winepath -w "$1"; }

# Everything the program should find before it starts, so that a person and the headless run see the
# same machine. Wine has no IIS: the stand-in admin base object is registered, and a metabase without
# web sites gets the one a fresh IIS has. The program counts sites from 1 and stops at the first it cannot
# read, so a store without site 1 gets it too; a store that has site 1 is left as it is.
prepare() {
    zem_log "creating the Wine prefix"
    zem_prepare_prefix
    zem_log "installing the distribution into $DIST"
    cmake --install "$X64" --prefix "$(unix_path "$DIST")" >/dev/null
    mkdir -p "$(unix_path 'C:\inetpub\wwwroot')"
    if ! zem_mdutil export-web 2>/dev/null | grep -q $'^site\t1\t'; then
        zem_log "seeding Default Web Site"
        zem_mdutil add-site 1 "Default Web Site" 'C:\inetpub\wwwroot' :80: >/dev/null
    fi
}

# fetch <url> <file>: prints "<status> <bytes>" of the answer nginx gives for the address ("000 0" when
# nothing answers: curl prints its report then too).
fetch() { zem_nginx_curl "$NGINX_RUN" "$1" -o "$2" -w '%{http_code} %{size_download}' || true; }

# The headless main job; $1: PNG path prefix for the two screenshots. Returns 0 only when everything worked.
headless_job() {
    local shots=$1 report status=0
    zem_nginx_start "$NGINX_RUN" || return 1
    report=$(mktemp)
    zem_log "running ZemWebSetup from $DIST: pressing Install"
    "$X64/wine-run" "$X64/bin/zemdrive.exe" install "$PROGRAM" --shots "$(windows_path "$shots")" | tr -d '\r' | tee "$report" || status=$?
    local link site
    link=$(sed -n 's/^link: //p' "$report")
    site=$(sed -n 's/^site: //p' "$report")
    rm -f "$report"
    [ -n "$link" ] || return 1
    zem_log "the metabase after Install"
    local number
    number=$(awk -F'\t' -v d="$site" '$1 == "site" && $3 == d { print $2; exit }' "$NGINX_RUN/metabase.tsv")
    zem_mdutil show "/LM/W3SVC/${number:-1}/ROOT/Zem" || status=1
    zem_log "serving the metabase again"
    zem_nginx_configure "$NGINX_RUN" || status=1
    local page package answer
    page=$(mktemp) package=$(mktemp)
    answer=$(fetch "$link" "$page")
    echo "GET $link: status ${answer% *}, ${answer#* } bytes$(grep -qi '<html' "$page" && echo ', an HTML page')"
    [ "${answer% *}" = 200 ] && grep -qi '<html' "$page" || status=1
    answer=$(fetch "${link}ZemSetup.exe" "$package")
    if cmp -s "$package" "$(unix_path "$DIST\\ZemSetup.exe")"; then same="identical to the package"; else same="NOT the package"; status=1; fi
    echo "GET ${link}ZemSetup.exe: status ${answer% *}, ${answer#* } bytes, $same"
    rm -f "$page" "$package"
    return "$status"
}

docs=
[ "${1:-}" = --docs ] && docs=1
zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=OFF
zem_log "building ZemWebSetup, the sample package, the IIS stand-in and zemdrive (x64)"
zem_build x64 --target ZemWebSetup ZemSetup zem_iisadmin mdutil zemdrive
trap 'zem_nginx_stop "$NGINX_RUN"; zem_stop_wine; zem_stop_xvfb' EXIT

if [ -n "${DISPLAY:-}" ] && [ -z "$docs" ]; then
    prepare
    zem_nginx_start "$NGINX_RUN"
    store=${ZEM_METABASE_PATH:-'C:\windows\system32\inetsrv\MetaBase.xml'}
    store=$(unix_path "$store")
    zem_log "starting ZemWebSetup on $DISPLAY; nginx follows the metabase until the program ends"
    "$X64/wine-run" "$PROGRAM" &
    program=$! seen=$(stat -c %Y "$store" 2>/dev/null || true)
    while kill -0 "$program" 2>/dev/null; do
        sleep 1
        now=$(stat -c %Y "$store" 2>/dev/null || true)
        [ "$now" = "$seen" ] || { seen=$now; zem_nginx_configure "$NGINX_RUN" || true; }
    done
    wait "$program"
    exit
fi

zem_start_xvfb
mkdir -p "$X64/artefacts"
if [ -z "$docs" ]; then
    prepare
    status=0
    headless_job "$X64/artefacts/run" || status=$?
    [ "$status" -eq 0 ] && echo "the main job worked" || echo "the main job failed" >&2
    exit "$status"
fi

# Screenshots for the README: each language on a metabase of its own, so each shows a first Install.
for lang in en_US zh_CN; do
    export LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 ZEM_METABASE_PATH="C:\\zem-docs\\$lang\\MetaBase.xml"
    mkdir -p "$(unix_path "C:\\zem-docs\\$lang")"
    rm -f "$(unix_path "$ZEM_METABASE_PATH")"
    prepare
    headless_job "$X64/artefacts/$lang" || { echo "the main job failed in $lang: docs/ left as it was" >&2; exit 1; }
    zem_nginx_stop "$NGINX_RUN"
    mkdir -p "$ZEM_ROOT/docs"
    for moment in before after; do
        convert "$X64/artefacts/$lang-$moment.png" -strip -colors 64 "PNG8:$ZEM_ROOT/docs/$lang-$moment.png"
    done
done
echo "screenshots written to $ZEM_ROOT/docs/"
