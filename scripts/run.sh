#!/usr/bin/env bash
# Builds the program (x64) and runs it under Wine in the build tree's own prefix.
# With DISPLAY set the dialog opens for a person. Without one the dialog is shown on a private Xvfb,
# photographed to build/x64/artefacts/run-dialog.png and closed again; its path and the log pane's text
# are printed.
set -euo pipefail
. "$(dirname "$0")/common.sh"

X64=$ZEM_BUILD/x64

# Everything the program should find in the prefix before it starts goes here, so that a person and the
# headless run see the same machine.
# Wine has no IIS: the stand-in admin base object is registered, and a metabase without web sites gets
# the one a fresh IIS has, "Default Web Site" (site 1, :80:, C:\inetpub\wwwroot), so the program finds
# a site on its built-in default. A store that has sites is left as it is.
zem_prepare_run() {
    zem_log "registering the IIS Admin Base Object stand-in"
    zem_build x64 --target zem_iisadmin mdutil >/dev/null
    "$X64/wine-run" regsvr32 /s "Z:$X64/bin/zem_iisadmin.dll"
    mkdir -p "$X64/wineprefix/drive_c/inetpub/wwwroot"
    local keys
    keys=$("$X64/wine-run" "$X64/bin/mdutil.exe" tree /LM/W3SVC 2>/dev/null) || keys=
    if ! grep -q '^/LM/W3SVC/[^/]*$' <<<"${keys//$'\r'/}"; then
        zem_log "seeding Default Web Site"
        "$X64/wine-run" "$X64/bin/mdutil.exe" add-site 1 "Default Web Site" 'C:\inetpub\wwwroot' :80: >/dev/null
    fi
}

zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=ON
zem_log "building ZemWebSetup and zemdrive (x64)"
zem_build x64 --target ZemWebSetup zemdrive

if [ -n "${DISPLAY:-}" ]; then
    zem_log "creating the Wine prefix"
    "$X64/wine-run" --init
    zem_prepare_run
    zem_log "starting ZemWebSetup on $DISPLAY"
    exec "$X64/wine-run" "$X64/bin/ZemWebSetup.exe"
fi

trap 'zem_stop_wine; zem_stop_xvfb' EXIT
zem_start_xvfb
zem_log "creating the Wine prefix"
"$X64/wine-run" --init
zem_prepare_run

mkdir -p "$X64/artefacts"
png=$X64/artefacts/run-dialog.png
rm -f "$png"
# zemdrive is a Windows program: it takes the path as Wine sees it.
winpng=$("$X64/wine-run" winepath -w "$png" 2>/dev/null | tr -d '\r') || true
[ -n "$winpng" ] || winpng="Z:${png//\//\\}"

zem_log "running ZemWebSetup headless"
status=0
"$X64/wine-run" "$X64/bin/zemdrive.exe" snapshot "$winpng" || status=$?
if [ "$status" -eq 0 ] && [ -s "$png" ]; then
    echo "screenshot file: $png"
else
    echo "the headless run failed (zemdrive exit status $status)" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
