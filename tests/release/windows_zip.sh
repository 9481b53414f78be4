#!/bin/sh
# Makes a Windows zip as a user does and checks it: windows_zip.sh CMAKE CPACK PRESET VERSION WORK,
# PRESET win32 or win64, run from the source directory after that cross build. The zip holds one
# folder with both programs, built for the preset's machine, each with the product's version
# resource and icon group 101, and README.txt and LICENSE.txt with Windows line endings; no file
# in it names the source or build folders.
set -eu
. "$(dirname "$0")/../gui/gui_common.sh"

cmake=$1 cpack=$2 preset=$3 version=$4 work=$5
case $preset in
    win32) triple=i686-w64-mingw32 format=pei-i386 binutils=binutils-mingw-w64-i686 ;;
    win64) triple=x86_64-w64-mingw32 format=pei-x86-64 binutils=binutils-mingw-w64-x86-64 ;;
    *) fail "unknown preset $preset" ;;
esac
need_tool "$triple-windres" "$binutils"
need_tool "$triple-objdump" "$binutils"
[ -f "build/$preset/CPackConfig.cmake" ] || skip_or_fail "build/$preset is not configured: the $preset cross build did not run"
rm -rf "$work" && mkdir -p "$work"

folder=mdx-duridodi-$version
zip=build/$preset/$folder-$preset.zip
rm -f "$zip"
"$cpack" --preset "$preset" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack --preset $preset"; }
[ -f "$zip" ] || fail "cpack --preset $preset did not make $zip"

"$cmake" -E tar tf "$zip" | LC_ALL=C sort >"$work/zip.list"
cat >"$work/zip.expected" <<END
$folder/
$folder/LICENSE.txt
$folder/README.txt
$folder/duridodi.exe
$folder/mdx-duridodi.exe
END
diff -u "$work/zip.expected" "$work/zip.list" || fail "the zip holds other files than these"
echo "listing: as expected"

(cd "$work" && "$cmake" -E tar xf "$OLDPWD/$zip")
cr=$(printf '\r')
for text in README.txt LICENSE.txt; do
    [ -s "$work/$folder/$text" ] || fail "$text is empty"
    ! grep -q -v "$cr\$" "$work/$folder/$text" || fail "$text has lines without a Windows line ending"
done
echo "README.txt, LICENSE.txt: Windows line endings"

# "1.00" is FILEVERSION 1, 0, 0, 0.
numbers=$(echo "$version.0.0.0" | awk -F. '{ printf "%d, %d, %d, %d", $1, $2, $3, $4 }')
for program in mdx-duridodi duridodi; do
    exe=$work/$folder/$program.exe
    "$triple-objdump" -f "$exe" | grep -q "file format $format" || fail "$program.exe is not a $format program"
    "$triple-windres" -i "$exe" -O rc >"$work/$program.rc" || fail "windres cannot read the resources of $program.exe"
    grep -q '^101 14 /\* RT_GROUP_ICON \*/' "$work/$program.rc" || fail "$program.exe has no icon group 101"
    sed -n 's/^ *\(FILEVERSION\|PRODUCTVERSION\|VALUE\) //p' "$work/$program.rc" \
        | grep -v '^"\(FileDescription\|CompanyName\|LegalCopyright\)"' >"$work/$program.version"
    cat >"$work/$program.expected" <<END
$numbers
$numbers
"FileVersion", "$version"
"InternalName", "$program"
"OriginalFilename", "$program.exe"
"ProductName", "MDX Duridodi"
"ProductVersion", "$version"
"Translation", 0x409, 1200
END
    diff -u "$work/$program.expected" "$work/$program.version" || fail "the version resource of $program.exe"
    grep -q '^ *VALUE "FileDescription", "MDX Duridodi: .\+"$' "$work/$program.rc" \
        || fail "$program.exe has no FileDescription"
    echo "$program.exe: $format, icon group 101, version $version"
done

if grep -rlF "$(pwd)" "$work/$folder"; then
    fail "the files above name the source or build folder $(pwd)"
fi
echo "no source or build path inside"
