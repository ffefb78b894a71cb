#!/usr/bin/env bash
# Builds everything (x64, and x86 compile-and-link only) and runs every test under Wine on a private Xvfb.
set -euo pipefail
. "$(dirname "$0")/common.sh"

zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=ON
zem_configure x86 -DZEM_BUILD_TESTS=OFF
zem_log "building x64"
zem_build x64
zem_log "building x86 (compiled and linked, never run here)"
zem_build x86

trap 'zem_stop_wine; zem_stop_xvfb' EXIT
zem_start_xvfb
cd "$ZEM_BUILD/x64"
ctest --output-on-failure -j "$ZEM_JOBS" "$@"
