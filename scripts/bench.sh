#!/usr/bin/env bash
# Builds the program and the benchmarks (x64) and prints the speed figures under Wine on a private Xvfb.
# Arguments go to the bench program: [runs] [install|startup|log]...
set -euo pipefail
. "$(dirname "$0")/common.sh"

zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=ON
zem_build x64 --target zem_bench

trap 'zem_stop_wine; zem_stop_xvfb' EXIT
zem_start_xvfb
zem_prepare_prefix
"$ZEM_BUILD/x64/wine-run" "$ZEM_BUILD/x64/bin/zem_bench.exe" "$@"
