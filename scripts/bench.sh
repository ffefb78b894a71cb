#!/usr/bin/env bash
# Builds the program and the benchmarks (x64) and prints the speed figures under Wine on a private Xvfb.
# Arguments: [runs] [install|startup|log|download]... (all four by default); the first three are the bench
# program's, download is scripts/bench-download.sh's.
set -euo pipefail
. "$(dirname "$0")/common.sh"

runs=5
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
figures=("$@")
[ ${#figures[@]} -gt 0 ] || figures=(install startup log download)
program=() download=
for figure in "${figures[@]}"; do
    if [ "$figure" = download ]; then download=1; else program+=("$figure"); fi
done

zem_install_deps
zem_configure x64 -DZEM_BUILD_TESTS=ON
zem_build x64 --target zem_bench ${download:+ZemWebSetup mdutil zemdrive zem_iisadmin}

trap 'zem_stop_wine; zem_stop_xvfb' EXIT
zem_start_xvfb
zem_prepare_prefix
if [ ${#program[@]} -gt 0 ]; then
    "$ZEM_BUILD/x64/wine-run" "$ZEM_BUILD/x64/bin/zem_bench.exe" "$runs" "${program[@]}"
fi
if [ -n "$download" ]; then
    bash "$(dirname "$0")/bench-download.sh" "$runs"
fi
