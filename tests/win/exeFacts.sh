#!/usr/bin/env bash
# What Windows shows of twinframe.exe without running it: its version resource, as Explorer's
# Details tab reads it, and that it needs no DLL but the system's (the C++ runtime is inside).
# usage: exeFacts.sh TWINFRAME_EXE OBJDUMP
set -uo pipefail
exe=$1
objdump=$2
failed=0
check() { # check DESCRIPTION ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then echo "ok     $1"; else echo "FAILED $1: '$2', not '$3'"; failed=1; fi
}
field() { exiftool -s3 "-$1" "$exe"; }
check "FileDescription" "$(field FileDescription)" "Extracts JPG images from MPO files"
check "ProductName" "$(field ProductName)" "Twinframe"
check "FileVersion" "$(field FileVersion)" "1.00"
check "ProductVersion" "$(field ProductVersion)" "1.00"
check "numeric file version" "$(field FileVersionNumber)" "1.0.0.0"
check "numeric product version" "$(field ProductVersionNumber)" "1.0.0.0"
# Every DLL it imports is one of Windows' own.
others=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' |
    grep -vxE 'kernel32|user32|gdi32|comctl32|shell32|ole32|advapi32|msvcrt|api-ms-win-.*' |
    tr '\n' ' ')
check "no DLL to ship beside it" "$others" ""
exit $failed
