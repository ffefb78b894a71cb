#!/usr/bin/env bash
# real_store_test.sh <x64 build dir>
# A store as IIS 6 writes it, most of its values unknown to this stand-in (multi-line lists, binary ACLs,
# a Custom element with IIS's own name for it): one write through mdutil adds its key and every other
# value of every key reads the same before and after.
set -uo pipefail
export ZEM_X64=$(cd "$1" && pwd)
. "$(dirname "$0")/../../scripts/nginx.sh"
here=$(cd "$(dirname "$0")" && pwd)
store=$(mktemp -d)
trap 'rm -rf "$store"' EXIT
cp "$here/iis6_store.xml" "$store/MetaBase.xml"
export ZEM_METABASE_PATH="Z:${store//\//\\}\\MetaBase.xml"
before=$(python3 "$here/metabase_values.py" "$here/iis6_store.xml")
zem_mdutil add-key /LM/W3SVC/1234567/ROOT/Added || exit 1
grep -q 'Location="/LM/W3SVC/1234567/ROOT/Added"' "$store/MetaBase.xml" || { echo "FAIL: the key was not written"; exit 1; }
diff <(echo "$before") <(python3 "$here/metabase_values.py" "$store/MetaBase.xml" /LM/W3SVC/1234567/ROOT/Added) &&
    echo "every value of the store kept"
