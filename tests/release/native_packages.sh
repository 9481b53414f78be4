#!/bin/sh
# Makes the Linux packages as a user does and checks them: native_packages.sh CPACK VERSION WORK,
# run from the source directory after the native build. The .deb and the .tar.gz hold exactly
# the tool, its compressed manual page, the changelog and the licence; the .deb depends on zlib;
# no file in either names the source or build folders.
set -eu
. "$(dirname "$0")/../gui/gui_common.sh"

cpack=$1 version=$2 work=$3
need_tool dpkg-deb dpkg
need_tool dpkg-shlibdeps dpkg-dev
rm -rf "$work" && mkdir -p "$work"

deb=build/native/duridodi_${version}_amd64.deb
tgz=build/native/duridodi-${version}-linux-x86_64.tar.gz
rm -f "$deb" "$tgz"
"$cpack" --preset native >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack --preset native"; }
for package in "$deb" "$tgz"; do
    [ -f "$package" ] || fail "cpack --preset native did not make $package"
done

# Modes, owners and names; dpkg-deb -c prints "MODE OWNER SIZE DATE TIME NAME".
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' | LC_ALL=C sort >"$work/deb.list"
cat >"$work/deb.expected" <<END
-rw-r--r-- root/root ./usr/share/doc/duridodi/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/duridodi/copyright
-rw-r--r-- root/root ./usr/share/man/man1/duridodi.1.gz
-rwxr-xr-x root/root ./usr/bin/duridodi
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/duridodi/
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
END
diff -u "$work/deb.expected" "$work/deb.list" || fail "the .deb holds other files than these"

tar tzf "$tgz" | LC_ALL=C sort >"$work/tgz.list"
top=duridodi-${version}-linux-x86_64
cat >"$work/tgz.expected" <<END
$top/bin/
$top/bin/duridodi
$top/share/
$top/share/doc/
$top/share/doc/duridodi/
$top/share/doc/duridodi/changelog.gz
$top/share/doc/duridodi/copyright
$top/share/man/
$top/share/man/man1/
$top/share/man/man1/duridodi.1.gz
END
diff -u "$work/tgz.expected" "$work/tgz.list" || fail "the .tar.gz holds other files than these"
echo "listings: as expected"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
case ", $depends" in
    *", zlib1g "*) ;;
    *) fail "the .deb does not depend on zlib1g" ;;
esac

mkdir "$work/deb" "$work/tgz"
dpkg-deb -x "$deb" "$work/deb"
tar xzf "$tgz" -C "$work/tgz"
# The compressed pages are searched too, unpacked beside themselves.
find "$work/deb" "$work/tgz" -name '*.gz' -exec gzip -dk {} + || fail "a .gz file inside is not gzip"
if grep -rlF "$(pwd)" "$work/deb" "$work/tgz"; then
    fail "the files above name the source or build folder $(pwd)"
fi
echo "no source or build path inside"
