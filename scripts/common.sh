# Shared by run.sh and test.sh: dependencies, build, X display.
# shellcheck shell=bash

ZEM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZEM_BUILD=${ZEM_BUILD:-$ZEM_ROOT/build}
ZEM_JOBS=${ZEM_JOBS:-$(nproc)}

zem_log() { printf '== %s\n' "$*" >&2; }

# Installs the Debian packages the build and the tests need, only when something is missing.
zem_install_deps() {
    local pkgs=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
                wine wine64 xvfb fonts-wqy-microhei cmake make googletest locales python3 imagemagick
                nginx curl openssl osslsigncode clang-format chromium chromium-driver python3-selenium python3-aiohttp)
    local missing=() p
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        zem_log "installing: ${missing[*]}"
        if [ "$(id -u)" -ne 0 ]; then echo "need root to install: ${missing[*]}" >&2; return 1; fi
        apt-get update -qq || return 1
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
    fi
    # Wine maps LANG to the code page; without the Unix locale it cannot see non-ASCII file names either.
    local loc
    for loc in en_US zh_CN zh_TW; do
        locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$" || localedef -i "$loc" -f UTF-8 "$loc.UTF-8" || return 1
    done
}

# zem_configure <arch> [cmake args...]   arch: x64 | x86
zem_configure() {
    local arch=$1; shift
    local tc=$ZEM_ROOT/cmake/mingw-x86_64.cmake
    [ "$arch" = x86 ] && tc=$ZEM_ROOT/cmake/mingw-i686.cmake
    cmake -S "$ZEM_ROOT" -B "$ZEM_BUILD/$arch" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

zem_build() {
    local arch=$1; shift
    cmake --build "$ZEM_BUILD/$arch" -j "$ZEM_JOBS" "$@"
}

# Starts a private Xvfb on a free display and exports DISPLAY; zem_stop_xvfb ends it.
ZEM_XVFB_PID=
zem_start_xvfb() {
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
    ZEM_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    if [ ! -s "$fdfile" ]; then echo "Xvfb did not start" >&2; rm -f "$fdfile"; return 1; fi
    export DISPLAY=":$(tr -d '\n' <"$fdfile")"
    rm -f "$fdfile"
    zem_log "Xvfb on $DISPLAY"
}

# Both stop functions run from EXIT traps under `set -e`: they never fail, so the script's own status stands.
zem_stop_xvfb() {
    if [ -n "$ZEM_XVFB_PID" ]; then
        kill "$ZEM_XVFB_PID" 2>/dev/null || true
        wait "$ZEM_XVFB_PID" 2>/dev/null || true
    fi
    ZEM_XVFB_PID=
}

# Stops the wineserver of this build's prefix only.
# The x64 tree's prefix with its wine server running, and the IIS stand-in registered in it.
zem_prepare_prefix() {
    "$ZEM_BUILD/x64/wine-run" --init && "$ZEM_BUILD/x64/wine-run" regsvr32 /s "Z:$ZEM_BUILD/x64/bin/zem_iisadmin.dll"
}

zem_stop_wine() {
    local prefix=$ZEM_BUILD/x64/wineprefix
    # No server left running (it ends by itself once idle) is not a failure.
    if [ -d "$prefix" ]; then
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    fi
    return 0
}
