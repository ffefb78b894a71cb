#!/usr/bin/env bash
# trusted_dist_test.sh <x64 build dir>
# The ZIP an administrator receives, made by cpack with a code-signing certificate created here for the
# run: every program in it verifies against that certificate and SHA256SUMS holds every file with its
# hash. Then DLLs are planted beside the signed program under the names of the system DLLs Windows would
# look for there first (each leaves a marker when loaded), Wine is told to prefer them as Windows does,
# and the program goes through both pickers and an Install: no marker may appear, and the Install works.
set -uo pipefail
X64=$(cd "$1" && pwd)
export ZEM_X64=$X64
. "$(dirname "$0")/../../scripts/nginx.sh"

work=$X64/wineprefix/drive_c/zem-trust
rm -rf "$work"
mkdir -p "$work/site"
failures=0
check() {   # check <what> <command...>
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Zem throwaway signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway \
        -out "$work/cert.pfx" || { echo "FAIL: cannot make a certificate"; exit 1; }
ZEM_SIGN_PFX=$work/cert.pfx ZEM_SIGN_PASSWORD=throwaway cpack -G ZIP -B "$work/pack" \
    --config "$X64/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
zip=$(ls "$work"/pack/*.zip)
(cd "$work" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
dist=$work/$(basename "$zip" .zip)

programs=$(cd "$dist" && find . -name '*.exe' | sort)
check "the ZIP holds the programs (${programs//$'\n'/ })" grep -q ZemWebSetup.exe <<<"$programs"
for program in $programs; do
    verdict=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$dist/$program" 2>&1)
    check "$program: the signature verifies against the certificate" grep -q 'Signature verification: ok' <<<"$verdict"
    check "  ... over a SHA-256 digest" grep -Eq 'Message digest algorithm *: SHA256' <<<"$verdict"
done
check "SHA256SUMS names every other file of the ZIP" diff <(cd "$dist" && find . -type f ! -name SHA256SUMS | cut -c3- | LC_ALL=C sort) \
    <(sed 's/^[0-9a-f]*  //' "$dist/SHA256SUMS")
check "  ... each with its hash" bash -c "cd '$dist' && sha256sum --quiet --strict -c SHA256SUMS"

# What Wine 8 loads for the program after it started, each a DLL that is not one of Windows' known DLLs;
# the override holds for the programs of the distribution alone, not for the tools that drive them.
planted="comctl32.dll comdlg32.dll uxtheme.dll winspool.drv compstui.dll"
for dll in $planted; do cp "$X64/bin/planted_dll.dll" "$dist/$dll"; done
keys=()
trap 'for key in "${keys[@]}"; do "$X64/wine-run" reg delete "$key" /f >/dev/null 2>&1; done' EXIT
for program in $programs; do
    keys+=("HKCU\\Software\\Wine\\AppDefaults\\${program#./}")
    for dll in $planted; do
        "$X64/wine-run" reg add "${keys[-1]}\\DllOverrides" /v "${dll%.dll}" /d native,builtin /f >/dev/null 2>&1
    done
done

# Both pickers: the dialog test that opens each with its access key and cancels it, run from beside the
# planted program.
cp "$X64/bin/dialog_test.exe" "$dist/"
check "both pickers open and cancel" "$X64/wine-run" "$dist/dialog_test.exe" --lang="${LANG%%.*}" \
    --gtest_filter=MainDialog.AltBAndAltWReachDifferentButtons
rm "$dist/dialog_test.exe"

export ZEM_METABASE_PATH='C:\zem-trust\MetaBase.xml'
zem_mdutil add-site 1 "Default Web Site" 'C:\zem-trust\site' :80: >/dev/null
check "the signed program does Install" "$X64/wine-run" "$X64/bin/zemdrive.exe" install \
    "$(zem_winepath -w "$dist/ZemWebSetup.exe")"
check "  ... and publishes the package" cmp -s "$work/site/ZemWeb/ZemSetup.exe" "$dist/ZemSetup.exe"
if [ -f "$dist/ZemPublish.exe" ]; then
    check "the signed ZemPublish.exe publishes again" "$X64/wine-run" "$dist/ZemPublish.exe" publish
fi
markers=$(cd "$dist" && ls -- *.loaded 2>/dev/null)
check "no planted DLL was loaded${markers:+: }${markers//$'\n'/ }" [ -z "$markers" ]

[ "$failures" -eq 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit $((failures > 0))
