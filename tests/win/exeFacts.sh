#!/usr/bin/env bash
# What Windows shows of the programs and the installer without running them: the version resource,
# as Explorer's Details tab reads it; for each program its icon, its manifest (the Windows it is
# made for, long paths), the Windows version its PE header asks for, and that it needs no DLL but
# the system's (the C++ runtime is inside).
# usage: exeFacts.sh OBJDUMP WINDRES PROGRAM.exe... [--installer BUILD_DIR]
#   --installer makes the NSIS installer with cpack from BUILD_DIR and checks its version data.
set -uo pipefail
objdump=$1
windres=$2
shift 2
failed=0
check() { # check DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then echo "ok     $1"; else echo "FAILED $1: '$2', not '$3'"; failed=1; fi
}
version_data() { # version_data FILE DESCRIPTION
    local file=$1 name
    name=$(basename "$file")
    field() { exiftool -s3 "-$1" "$file"; }
    check "$name: FileDescription" "$(field FileDescription)" "$2"
    check "$name: ProductName" "$(field ProductName)" "Twinframe"
    check "$name: FileVersion" "$(field FileVersion)" "1.00"
    check "$name: ProductVersion" "$(field ProductVersion)" "1.00"
    check "$name: numeric file version" "$(field FileVersionNumber)" "1.0.0.0"
    check "$name: numeric product version" "$(field ProductVersionNumber)" "1.0.0.0"
}

installer_build=
programs=()
while [ $# -gt 0 ]; do
    if [ "$1" = --installer ]; then
        installer_build=$2
        shift 2
    else
        programs+=("$1")
        shift
    fi
done

for exe in "${programs[@]}"; do
    name=$(basename "$exe")
    version_data "$exe" "Extracts JPG images from MPO files"
    check "$name: OriginalFilename" "$(exiftool -s3 -OriginalFilename "$exe")" "$name"
    resources=$("$windres" -J coff -i "$exe" -O rc 2>/dev/null)
    check "$name: an icon" "$(grep -c 'RT_GROUP_ICON' <<<"$resources")" 1
    manifest=$(grep -c 'RT_MANIFEST' <<<"$resources")
    check "$name: a manifest" "$manifest" 1
    check "$name: the manifest asks for long paths" \
        "$(grep -ao '<longPathAware[^>]*>true</longPathAware>' "$exe" | wc -l)" 1
    # Windows 10's id: the version the system then shows the program is its own, not an older one.
    check "$name: the manifest names Windows 10 as supported" \
        "$(grep -ao 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' "$exe" | wc -l)" 1
    header=$("$objdump" -p "$exe")
    subsystem="$(sed -n 's/^MajorSubsystemVersion\t*//p' <<<"$header").$(sed -n \
        's/^MinorSubsystemVersion\t*//p' <<<"$header")"
    check "$name: the PE header asks for Windows 10.0" "$subsystem" "10.0"
    os="$(sed -n 's/^MajorOSystemVersion\t*//p' <<<"$header").$(sed -n \
        's/^MinorOSystemVersion\t*//p' <<<"$header")"
    check "$name: ... as its operating system version too" "$os" "10.0"
    # Every DLL it imports is one of Windows' own.
    others=$(sed -n 's/^\tDLL Name: //p' <<<"$header" | tr 'A-Z' 'a-z' | sed 's/\.dll$//' |
        grep -vxE 'kernel32|user32|gdi32|comctl32|shell32|ole32|advapi32|msvcrt|api-ms-win-.*' |
        tr '\n' ' ')
    check "$name: no DLL to ship beside it" "$others" ""
done

if [ -n "$installer_build" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cpack -G NSIS --config "$installer_build/CPackConfig.cmake" -B "$work" >/dev/null
    installer="$work/Twinframe-1.00-win64.exe"
    version_data "$installer" "Twinframe 1.00 Setup"
    check "installer: OriginalFilename" "$(exiftool -s3 -OriginalFilename "$installer")" \
        "Twinframe-1.00-win64.exe"
    # The footer of every page: the product's own text, not the installer system's name and
    # version (the installer holds its texts compressed, so the script cpack gave makensis is read).
    script=$(find "$work" -name project.nsi)
    check "installer: its footer says Twinframe 1.00" \
        "$(grep -E '^\s*BrandingText' "$script" | sed 's/^ *//')" 'BrandingText "Twinframe 1.00"'
fi
exit $failed
