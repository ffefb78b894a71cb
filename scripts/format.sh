#!/usr/bin/env bash
# Formats the C++ sources by the .clang-format of each layer (the nearest one above each file).
# With --check nothing is changed: the files that would change are named and the status is 1.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    exec clang-format --dry-run --Werror "${files[@]}"
fi
clang-format -i "${files[@]}"
