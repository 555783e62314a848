# libjpeg-turbo for the Windows and WebAssembly builds. Sourced by scripts/common.sh, not run.
#
# On Linux the side-by-side pictures link Debian's libjpeg62-turbo. MinGW-w64 and emscripten have
# no libjpeg of their own in Debian, so the same library is built here from Debian's own source
# package, fetched by apt-get like every other package: static, once per target and source
# version, into build/deps/libjpeg-windows and build/deps/libjpeg-web. Nothing of the library's
# code is kept in the repository.

libjpeg_deps="$root/build/deps"
libjpeg_package=libjpeg-turbo

# The machine's own Debian archives as source lists ("Types: deb-src"), written once into a
# sources file of ours when no Debian archive has one: apt-get source reads nothing else. Each
# deb822 stanza and each one-line "deb" entry whose address is a Debian archive (a path
# .../debian or .../debian-security) is copied with its suites, components and key.
add_debian_source_lists() {
    apt-get indextargets --format '$(URI)' 'Created-By: Sources' 2>/dev/null |
        grep -q '/debian/dists/' && return 0
    local list=/etc/apt/sources.list.d/twinframe-deb-src.sources lines
    [ -f "$list" ] && return 0
    lines=$(
        {
            for file in /etc/apt/sources.list.d/*.sources; do
                if [ -f "$file" ]; then cat "$file" && echo; fi
            done
        } | awk '
            function flush() {
                if (types ~ /(^|[ \t])deb([ \t]|$)/ && uris ~ /\/debian(-security)?\/?([ \t]|$)/ &&
                    enabled !~ /^[ \t]*no/)
                    printf "Types: deb-src\nURIs:%s\n%s\n", uris, rest
                types = uris = rest = enabled = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { types = substr($0, 7); next }
            /^URIs:/ { uris = substr($0, 6); next }
            /^Enabled:/ { enabled = substr($0, 9); next }
            { rest = rest $0 "\n" }
            END { flush() }'
        # The one-line form of /etc/apt/sources.list and its .list files, as a deb822 stanza.
        { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } | awk '
            $1 == "deb" {
                options = ""
                i = 2
                if ($i ~ /^\[/) {
                    while ($i !~ /\]$/) { options = options " " $i; i++ }
                    options = options " " $i
                    i++
                }
                if ($i !~ /\/debian(-security)?\/?$/) next
                printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
                for (j = i + 2; j <= NF; j++) printf " %s", $j
                printf "\n"
                if (match(options, /signed-by=[^] ]+/))
                    printf "Signed-By: %s\n", substr(options, RSTART + 10, RLENGTH - 10)
                printf "\n"
            }'
    )
    if [ -z "$lines" ]; then
        echo "No Debian archive among apt's sources: cannot fetch the source of $libjpeg_package" >&2
        return 1
    fi
    echo "Adding the Debian archives' source lists ($list), for apt-get source $libjpeg_package"
    printf '# Written by scripts/libjpeg.sh: the source lists of the archives apt installs from.\n%s\n' \
        "$lines" | as_root tee "$list" >/dev/null
}

# fetch_libjpeg_source: Debian's newest libjpeg-turbo source, unpacked with its patches into
# build/deps/libjpeg-source (kept; fetched again only when the archive has another version). Sets
# libjpeg_dsc (the source package's .dsc name, which carries its version) and libjpeg_tree.
fetch_libjpeg_source() {
    local place="$libjpeg_deps/libjpeg-source" newest cached
    # Asked of apt once per shell: the Windows and the page's builds share the answer.
    if [ -z "${libjpeg_newest_dsc+set}" ]; then
        libjpeg_newest_dsc=$(apt-get source --print-uris -qq "$libjpeg_package" 2>/dev/null |
            awk '$2 ~ /\.dsc$/ { print $2 }') || true
    fi
    newest=$libjpeg_newest_dsc
    cached=$(cd "$place" 2>/dev/null && ls -- *.dsc 2>/dev/null | head -n 1) || true
    if [ -z "$newest" ] && [ -z "$cached" ]; then
        install_packages dpkg-dev # apt-get source unpacks with dpkg-source
        add_debian_source_lists
        as_root apt-get "${apt_lock_wait[@]}" update -qq
        newest=$(apt-get source --print-uris -qq "$libjpeg_package" | awk '$2 ~ /\.dsc$/ { print $2 }')
        libjpeg_newest_dsc=$newest
    fi
    # Offline with a source already here (the lists gone, say): that one serves.
    if [ -n "$newest" ] && [ "$newest" != "$cached" ]; then
        install_packages dpkg-dev
        echo "Fetching Debian's source of $libjpeg_package ($newest) into $place"
        rm -rf "$place" "$place.partial"
        mkdir -p "$place.partial"
        # As root, apt would try to fetch as its own user into a folder that user may not enter,
        # and warn that it fetched as root instead: say so at once.
        local sandbox=()
        [ "$(id -u)" -eq 0 ] && sandbox=(-o APT::Sandbox::User=root)
        (cd "$place.partial" && apt-get "${sandbox[@]}" source -qq "$libjpeg_package" >/dev/null)
        mv "$place.partial" "$place"
        cached=$newest
    fi
    libjpeg_dsc=$cached
    libjpeg_tree=$(find "$place" -mindepth 1 -maxdepth 1 -type d -name "$libjpeg_package-*" | head -n 1)
    [ -f "$libjpeg_tree/jpeglib.h" ] || {
        echo "No $libjpeg_package source tree in $place" >&2
        return 1
    }
}

# build_libjpeg windows|web: the static library and its headers in build/deps/libjpeg-TARGET
# (lib/libjpeg.a, include/), built unless already built from the same source with the same
# options. Sets libjpeg_cmake_options: what the project's configure needs to find it.
build_libjpeg() {
    local target=$1 prefix="$libjpeg_deps/libjpeg-$1" work="$libjpeg_deps/libjpeg-build-$1"
    # The static library alone: no TurboJPEG API, no shared one. Nothing is installed (the
    # library and its headers are copied), but its configure needs a prefix it can write.
    local options=(-DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
        -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DCMAKE_INSTALL_PREFIX="$prefix"
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include)
    local configure=(cmake)
    case "$target" in
    windows)
        # With its x86-64 SIMD code (nasm), as Debian builds it for Linux: the same bytes, and
        # entropy coding with the standard tables takes about a third less time under Wine.
        install_packages nasm
        options+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DWITH_SIMD=ON
            -DREQUIRE_SIMD=ON)
        ;;
    web)
        # WebAssembly has no x86 SIMD to take. The library's configure learns the sizes of its
        # types by running small programs, which fails here (emscripten's output tries to fetch
        # its .wasm under the machine's newer node): wasm32's sizes are given instead.
        options+=(-DWITH_SIMD=OFF -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE
            -DUNSIGNED_LONG=4)
        configure=(emcmake cmake)
        ;;
    *)
        echo "build_libjpeg: no target $target (windows or web)" >&2
        return 1
        ;;
    esac
    fetch_libjpeg_source
    local stamp="$prefix/built-from.txt" recipe
    recipe=$(printf '%s\n' "$libjpeg_dsc" "${options[@]}")
    if [ ! -f "$prefix/lib/libjpeg.a" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$recipe" ]; then
        echo "Building $libjpeg_package ($libjpeg_dsc) for $target into $prefix"
        rm -rf "$prefix" "$work"
        "${configure[@]}" -S "$libjpeg_tree" -B "$work" -G Ninja "${options[@]}" >"$work.log" 2>&1 || {
            tail -n 30 "$work.log" >&2
            return 1
        }
        # The library alone: its programs (cjpeg, jpegtran, ...) are not ours to build.
        cmake --build "$work" -j2 --target jpeg-static >>"$work.log" 2>&1 || {
            tail -n 30 "$work.log" >&2
            return 1
        }
        mkdir -p "$prefix/lib" "$prefix/include"
        cp "$work/libjpeg.a" "$prefix/lib/"
        cp "$libjpeg_tree"/{jpeglib.h,jerror.h,jmorecfg.h} "$work/jconfig.h" "$prefix/include/"
        printf '%s\n' "$recipe" >"$stamp"
        rm -rf "$work" "$work.log"
    fi
    # FindJPEG is pointed at them by name: the toolchains search their own system roots only.
    libjpeg_cmake_options=(-DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a")
}
