#!/usr/bin/env bash
# Makes the installer with cpack, installs it silently into a fresh Wine prefix, checks what it
# put where (files, Start menu, Add/Remove Programs, "Open with" without the default), splits a
# file with the installed twinframe-cli.exe and checks each image byte for byte, then uninstalls
# silently and checks that nothing of Twinframe is left in the prefix's files or registry.
# usage: installerTest.sh BUILD_DIR MAKE_DEMO (twinframe-make-demo, for Wine or not)
set -euo pipefail
build=$(cd "$1" && pwd)
make_demo=$(realpath "$2")
work=$(mktemp -d /tmp/twinframe-installer-XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No menu entries or icons of the host's desktop for the Start menu entries.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
unset DISPLAY
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

failed=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then echo "ok     $what"; else echo "FAILED $what"; failed=1; fi
}
# The registry as the 64-bit programs see it: where Wine's 32-bit side runs, `wine reg` is the
# 32-bit reg.exe, which would see the 32-bit view.
registry() { wine reg query "$@" /reg:64 2>/dev/null | tr -d '\r'; }
traces_in_registry() { wineserver -w; cat "$WINEPREFIX"/*.reg | grep -ci twinframe || true; }

cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
installer="$work/package/Twinframe-1.00-win64.exe"
check "cpack made Twinframe-1.00-win64.exe" test -f "$installer"
wineboot -i >/dev/null 2>&1
check "a fresh prefix knows nothing of Twinframe" test "$(traces_in_registry)" -eq 0

wine "$installer" /S
wineserver -w
# The programs go to C:\Program Files, as Windows gives a 64-bit installer. Wine with its 32-bit
# side running (wine32, where the kernel runs 32-bit programs) gives even a 64-bit NSIS installer
# the (x86) folder for $PROGRAMFILES64 (Debian's Wine 8 and NSIS 3.08): only there is that folder
# taken, and the log says so.
programs="Program Files"
if [ ! -d "$WINEPREFIX/drive_c/$programs/Twinframe" ] &&
    [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    programs="Program Files (x86)"
    echo "note   Wine's 32-bit side runs here: the installer's folder is C:\\$programs"
fi
folder="$WINEPREFIX/drive_c/$programs/Twinframe"
windows_folder="C:\\$programs\\Twinframe"
for file in twinframe.exe twinframe-cli.exe README.txt LICENSE.txt Uninstall.exe; do
    check "installed: $programs\\Twinframe\\$file" test -f "$folder/$file"
done
check "no DLL beside the programs" test -z "$(find "$folder" -iname '*.dll')"
check "the Start menu entry" test -f \
    "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Twinframe/Twinframe.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Twinframe'
entry=$(registry "$uninstall_key")
check "Add/Remove Programs: name" grep -q 'DisplayName *REG_SZ *Twinframe$' <<<"$entry"
check "Add/Remove Programs: version 1.00" grep -q 'DisplayVersion *REG_SZ *1.00$' <<<"$entry"
display_icon() { grep 'DisplayIcon *REG_SZ' <<<"$entry" | grep -qF " $windows_folder\\twinframe.exe"; }
check "Add/Remove Programs: the program's icon" display_icon
verb=$(registry 'HKLM\Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe' /s)
check "\"Open with Twinframe\" on .mpo files" grep -q 'REG_SZ *Open with Twinframe$' <<<"$verb"
check "... opening them in twinframe.exe" \
    grep -qF "\"$windows_folder\\twinframe.exe\" \"%1\"" <<<"$verb"
check "... in the Open with list" registry 'HKLM\Software\Classes\.mpo\OpenWithList\twinframe.exe'
check "... taking all the selected files at once" \
    grep -q 'MultiSelectModel *REG_SZ *Player$' <<<"$verb"
check "... and so in the Open with list" grep -q 'MultiSelectModel *REG_SZ *Player$' \
    <<<"$(registry 'HKLM\Software\Classes\Applications\twinframe.exe\shell\open')"
no_default_program() { ! registry 'HKLM\Software\Classes\.mpo' | grep -q '(Default)'; }
check "... without becoming their default program" no_default_program

# A stereo pair of 1,400,000 bytes whose right image begins at 700,000.
mkdir "$work/sample"
if [[ $make_demo == *.exe ]]; then
    wine "$make_demo" "Z:${work//\//\\}\\sample" >/dev/null
else
    "$make_demo" "$work/sample" >/dev/null
fi
(cd "$work/sample" && wine "$folder/twinframe-cli.exe" --quiet DSCF0001.MPO >/dev/null)
check "the installed twinframe-cli.exe: left image byte for byte" \
    cmp "$work/sample/DSCF0001-L.jpg" <(head -c 700000 "$work/sample/DSCF0001.MPO")
check "the installed twinframe-cli.exe: right image byte for byte" \
    cmp "$work/sample/DSCF0001-R.jpg" <(tail -c +700001 "$work/sample/DSCF0001.MPO")

# The uninstaller copies itself away and returns at once; wineserver -w waits for it.
wine "$windows_folder\\Uninstall.exe" /S
wineserver -w
check "uninstalled: no Twinframe file or folder left" \
    test -z "$(find "$WINEPREFIX/drive_c" -iname '*twinframe*')"
check "uninstalled: no Twinframe key or value left in the registry" \
    test "$(traces_in_registry)" -eq 0

# The Start menu folder renamed on the installer's page ("Foto Tools"). The page keeps its
# answer in the installer's key, where a silent install finds it as the page would have left
# it; the uninstaller must remove that folder, not the default one.
wine reg add 'HKLM\Software\The Twinframe developers\Twinframe' \
    /v 'Start Menu Folder' /d 'Foto Tools' /f /reg:64 >/dev/null 2>&1
wine "$installer" /S
wineserver -w
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
check "renamed Start menu folder: the entry is in Foto Tools" test -f "$menu/Foto Tools/Twinframe.lnk"
check "... and no default Twinframe folder" test ! -e "$menu/Twinframe"
wine "$windows_folder\\Uninstall.exe" /S
wineserver -w
check "uninstalled: the Foto Tools folder is gone with its shortcuts" test ! -e "$menu/Foto Tools"
check "uninstalled: no Twinframe file or folder left, again" \
    test -z "$(find "$WINEPREFIX/drive_c" -iname '*twinframe*')"
check "uninstalled: no Twinframe key or value left in the registry, again" \
    test "$(traces_in_registry)" -eq 0
exit $failed
