#!/usr/bin/env bash
# Builds everything (x64, and x86 compile-and-link only) and runs every test under Wine on a private Xvfb.
set -euo pipefail
. "$(dirname "$0")/common.sh"

zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=ON
zem_configure x86 -DZEM_BUILD_TESTS=OFF

# A test that died with a small drive of its own mounted leaves it to this command.
zem_unmount_test_drives() {
    awk -v b="$ZEM_BUILD/" '$1 == "zemtiny" && index($2, b) == 1 { print $2 }' /proc/mounts |
        while read -r m; do umount -l "$m" 2>/dev/null || true; done
}
trap 'kill ${prefix_create:-} ${x86_build:-} 2>/dev/null || true; zem_unmount_test_drives; zem_stop_wine; zem_stop_xvfb' EXIT
zem_start_xvfb
# A new Wine prefix takes half a minute to set up, mostly waiting: it is made while x64 builds.
"$ZEM_BUILD/x64/wine-run" --create >"$ZEM_BUILD/wineprefix-create.log" 2>&1 &
prefix_create=$!
zem_log "building x64"
zem_build x64
wait "$prefix_create" || zem_log "creating the Wine prefix failed; the tests try again"
# The x86 build is only compiled and linked: it runs beside the x64 tests, which mostly wait on Wine.
zem_log "building x86 beside the tests (compiled and linked, never run here)"
zem_build x86 >"$ZEM_BUILD/x86-build.log" 2>&1 &
x86_build=$!

status=0
(cd "$ZEM_BUILD/x64" && ctest --output-on-failure -j "$ZEM_JOBS" "$@") || status=$?
if ! wait "$x86_build"; then
    cat "$ZEM_BUILD/x86-build.log" >&2
    zem_log "the x86 build failed"
    status=1
fi
exit "$status"
