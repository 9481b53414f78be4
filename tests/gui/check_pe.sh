#!/bin/sh
# Checks the headers of a shipped 32-bit program: check_pe.sh EXE window|console
# PE32 for i386 and imports from Windows' own DLLs and the C runtime (msvcrt) only: a DLL of the
# C++ runtime or of zlib in that list means the static link was lost. The window tool: Windows GUI
# subsystem, imports KERNEL32, USER32, GDI32, COMDLG32 and SHELL32 (drops), icon group 101
# holding one 32 x 32 image at 24 bits per pixel. The command-line tool: console subsystem,
# imports KERNEL32 and SHELL32 (its wide command line).
set -eu
. "$(dirname "$0")/gui_common.sh"

exe=$1
kind=$2
case $kind in
    window) subsystem="00000002 (Windows GUI)" needed="KERNEL32.DLL USER32.DLL GDI32.DLL COMDLG32.DLL SHELL32.DLL" ;;
    console) subsystem="00000003 (Windows CUI)" needed="KERNEL32.DLL SHELL32.DLL" ;;
    *) fail "unknown kind $kind (window or console)" ;;
esac
need_tool i686-w64-mingw32-objdump binutils-mingw-w64-i686
need_tool i686-w64-mingw32-windres binutils-mingw-w64-i686
[ -f "$exe" ] || skip_or_fail "$exe missing: the win32 cross build did not run"

headers=$(i686-w64-mingw32-objdump -f "$exe") || fail "objdump cannot read $exe as a 32-bit PE file"
echo "$headers" | grep -q "file format pei-i386" || fail "not a PE32 i386 file: $headers"
echo "$headers" | grep -q "architecture: i386," || fail "machine is not i386: $headers"
echo "machine: i386"

private=$(i686-w64-mingw32-objdump -p "$exe")
echo "$private" | grep -Eq "^Magic[[:space:]]+010b" || fail "optional header is not PE32 (magic 010b)"
echo "$private" | grep -Eq "^Subsystem[[:space:]]+${subsystem%% *}" || fail "subsystem is not $subsystem"
echo "subsystem: $subsystem"

imports=$(echo "$private" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports: $imports"
for dll in $imports; do
    case $dll in
        KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMDLG32.DLL | SHELL32.DLL | MSVCRT.DLL) ;;
        *) fail "imports $dll, which is neither a system DLL nor the C runtime" ;;
    esac
done
for dll in $needed; do
    case " $imports" in
        *" $dll "*) ;;
        *) fail "does not import $dll" ;;
    esac
done

[ "$kind" = window ] || exit 0
resources=$(i686-w64-mingw32-windres -i "$exe" -O rc | tr -d ' \t')
echo "$resources" | grep -q '^10114/\*RT_GROUP_ICON\*/' || fail "no icon group 101"
[ "$(echo "$resources" | grep -c '/\*RT_ICON\*/')" -eq 1 ] || fail "not exactly one icon image"
# The image's bitmap header: 40 bytes, 32 wide, 64 high (colours and mask), 1 plane, 24 bits.
echo "$resources" | grep -q '^0x28L,0x20L,0x40L,0x180001L,' || fail "the icon image is not 32 x 32 at 24 bits per pixel"
echo "resources: icon group 101, one 32 x 32 image at 24 bits per pixel"
