#!/usr/bin/env bash
# Counts the lines of the product (everything outside tests/) and of the tests, side by side: the test
# cases (files of cases: *_test.cpp, *Test.cpp, test scripts) and the whole tests/ folder with its tools,
# fakes and fixtures. Only files under version control count; generated files do not.
set -euo pipefail
cd "$(dirname "$0")/.."

code_files() {
    git ls-files -- "$@" | grep -E '\.(c|cpp|h|rc|in|def|cmake|sh|py)$|CMakeLists\.txt$' || true
}
lines() { xargs -r cat -- | wc -l; }

product=$(code_files . ':!tests' | lines)
tests=$(code_files tests | lines)
cases=$(code_files tests | grep -E '(_test\.cpp|Test\.cpp|_test\.(sh|py))$' | lines)
pct() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f%%", b ? 100 * a / b : 0 }'; }
printf '%-28s %6s\n' "product code" "$product"
printf '%-28s %6s  %s of the product\n' "test cases" "$cases" "$(pct "$cases" "$product")"
printf '%-28s %6s  %s of the product\n' "tests/ as a whole" "$tests" "$(pct "$tests" "$product")"
