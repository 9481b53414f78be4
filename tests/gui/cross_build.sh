#!/bin/sh
# Cross-builds the Windows programs with a CMake preset: cross_build.sh CMAKE PRESET (win32 or
# win64), run from the source directory; they land in build/PRESET/bin: mdx-duridodi.exe, the
# window, and duridodi.exe, the command line.
set -eu
. "$(dirname "$0")/gui_common.sh"

cmake=$1
preset=$2
case $preset in
    win32) triple=i686-w64-mingw32 package=g++-mingw-w64-i686-win32 ;;
    win64) triple=x86_64-w64-mingw32 package=g++-mingw-w64-x86-64-win32 ;;
    *) fail "unknown preset $preset" ;;
esac
need_tool "$triple-g++" "$package"
need_tool "$triple-windres" "$package"
[ -f "/usr/$triple/lib/libz.a" ] || skip_or_fail "/usr/$triple/lib/libz.a not found (Debian package: libz-mingw-w64-dev)"

"$cmake" --preset "$preset" || fail "cmake --preset $preset"
"$cmake" --build --preset "$preset" || fail "cmake --build --preset $preset"
for program in mdx-duridodi duridodi; do
    [ -f "build/$preset/bin/$program.exe" ] || fail "build/$preset/bin/$program.exe was not made"
    echo "built build/$preset/bin/$program.exe"
done
