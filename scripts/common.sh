# Shared by scripts/run and scripts/test. Sourced, not run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the program and the tests need.
packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev
    libjpeg62-turbo-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    desktop-file-utils appstream dpkg-dev file fonts-dejavu-core lintian
    libimage-exiftool-perl python3-pil
    dosfstools fusefat
    exfat-fuse fuse3 exfatprogs
    shared-mime-info
    dbus-daemon
)

# Another apt-get or dpkg running (an unattended upgrade, another build) holds the package
# manager's lock: wait for it, up to ten minutes, rather than fail.
apt_lock_wait=(-o DPkg::Lock::Timeout=600)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=()
    for package in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get "${apt_lock_wait[@]}" update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get "${apt_lock_wait[@]}" install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
}

# timed NAME COMMAND...: runs the command, then says how long it took, so that a run's log shows
# where its time went, and gives the command's exit status. The command runs in a subshell with
# set -e, so that a function stops at its first failure as it would without timed; a caller that
# tests timed's status (timed ... || ...) turns set -e off for all it calls, so it may only do so
# for a single program.
timed() {
    local name=$1 start=$SECONDS status
    shift
    set +e
    (set -e; "$@")
    status=$?
    set -e
    echo "-- $name: $((SECONDS - start)) s"
    return $status
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@"
    cmake --build "$dir"
}

# The page (web/): Debian's emscripten compiles the core to WebAssembly; chromium runs the page's
# tests headless. node and npm come with the machine, or from Debian when it has none (Debian's
# npm conflicts with a node installed from elsewhere, so it is only asked for without one).
# unzip and python3 read the page's archives in its tests. rsvg-convert (librsvg2-bin) draws the
# page's install icons from the project's icon.
web_packages=(emscripten chromium unzip python3 librsvg2-bin)

install_web_packages() {
    local node_packages=()
    command -v npm >/dev/null || node_packages=(nodejs npm)
    install_packages "${web_packages[@]}" "${node_packages[@]}"
}

# build_web: the page into build/web/: the npm packages of web/package-lock.json, the core
# configured by emcmake in build/web-core, then the page's files beside it (web/build.mjs), and
# the whole page in one file, build/web/twinframe.html.
build_web() {
    local site="$root/build/web" core="$root/build/web-core"
    if [ ! -f "$root/web/node_modules/.package-lock.json" ] ||
        [ "$root/web/package-lock.json" -nt "$root/web/node_modules/.package-lock.json" ]; then
        (cd "$root/web" && npm ci --no-audit --no-fund --ignore-scripts)
    fi
    # Debian's emscripten finds its JavaScript modules (acorn) only through NODE_PATH.
    export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
    build_libjpeg web
    emcmake cmake -S "$root/web" -B "$core" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        "${libjpeg_cmake_options[@]}" >/dev/null
    cmake --build "$core" -j2
    rm -rf "$site"
    node "$root/web/build.mjs" "$core" "$site"
}

# Windows: twinframe-cli.exe and the tests cross-built with MinGW-w64 and run under Wine. The
# i386 side of Wine (wine32) lets the prefix run 32-bit helpers where the kernel can.
windows_packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    wine wine64 wine32:i386
    nsis xvfb xauth xdotool openbox wmctrl
    locales
)

# The tests of names outside ASCII run again under two ANSI code pages that are not UTF-8, 1252
# and 932, which Wine takes from the locale it starts in.
wine_locales=(de_DE.ISO-8859-1 ja_JP.UTF-8)

install_windows_packages() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
        # The new architecture's lists: install_packages only updates when something is missing.
        as_root apt-get "${apt_lock_wait[@]}" update -qq
    fi
    install_packages "${windows_packages[@]}"
    local locale listed
    for locale in "${wine_locales[@]}"; do
        # locale -a lists them as de_DE.iso88591, ja_JP.utf8.
        listed="${locale%%.*}.$(tr -d '-' <<<"${locale#*.}" | tr 'A-Z' 'a-z')"
        locale -a | grep -qx "$listed" ||
            as_root localedef -i "${locale%%.*}" -f "${locale#*.}" "$locale"
    done
    use_wine64_where_32_bit_cannot_run
}

# Wine's own start script runs the 32-bit loader whenever wine32 is installed, and a kernel built
# without 32-bit support refuses it ("Exec format error"): there every Wine command of the build
# and the tests goes to the 64-bit loader, through a folder of stand-ins put first on PATH. Our
# programs and the installer are 64-bit, so nothing they need is lost.
use_wine64_where_32_bit_cannot_run() {
    local wine32=/usr/lib/wine/wine wine64=/usr/lib/wine/wine64
    [ -x "$wine32" ] && [ -x "$wine64" ] || return 0
    "$wine32" --version >/dev/null 2>&1 && return 0
    local shims="$root/build/wine64-only"
    mkdir -p "$shims"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$wine64" "$wine64" >"$shims/$name"
        chmod +x "$shims/$name"
    done
    case ":$PATH:" in *":$shims:"*) ;; *) export PATH="$shims:$PATH" ;; esac
}
use_wine64_where_32_bit_cannot_run

# A Wine prefix of the build's own, so that nothing of the user's ~/.wine is used or changed.
# wineboot makes it on first use (some seconds); later runs reuse it.
export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install Mono or Gecko

prepare_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
}

# build_windows: twinframe.exe (the native window), twinframe-cli.exe and their tests into
# build/windows/.
build_windows() {
    build_libjpeg windows
    configure_and_build "$root/build/windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DTWINFRAME_GUI=ON -DTWINFRAME_TESTS=ON "${libjpeg_cmake_options[@]}"
}

# package_windows: the installer Twinframe-1.00-win64.exe and the zip Twinframe-1.00-win64.zip,
# made by cpack (NSIS and ZIP) into build/windows/.
package_windows() {
    (cd "$root/build/windows" && cpack >/dev/null)
}

# Each test is a Windows process of its own: one wineserver, kept for the whole run, spares every
# test a Wine start of several seconds.
# Options for ctest may follow (-L wine, -LE wine: a part of the tests).
test_windows() {
    prepare_wine_prefix
    wineserver -p 2>/dev/null || true # already running for this prefix: that one serves
    # The prefix's services start with its first program; two tests starting them at once can
    # hang until their time runs out, so one program starts them first.
    wine cmd /c exit >/dev/null 2>&1
    local status=0
    ctest --test-dir "$root/build/windows" --output-on-failure --timeout 300 -j2 "$@" || status=$?
    wineserver -k || true
    return $status
}

# libjpeg-turbo for the Windows and WebAssembly builds (build_libjpeg), from Debian's source.
source "$root/scripts/libjpeg.sh"
