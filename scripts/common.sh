# Shared by scripts/run and scripts/test. Sourced, not run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the program and the tests need.
packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    desktop-file-utils appstream dpkg-dev file fonts-dejavu-core
    libimage-exiftool-perl python3-pil
    dosfstools
    shared-mime-info
    dbus-daemon
)

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
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
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
# unzip and python3 read the page's archives in its tests.
web_packages=(emscripten chromium unzip python3)

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
    emcmake cmake -S "$root/web" -B "$core" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$core" -j2
    rm -rf "$site"
    node "$root/web/build.mjs" "$core" "$site"
}
