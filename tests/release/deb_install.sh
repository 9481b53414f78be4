#!/bin/sh
# Unpacks the Debian package into a scratch root and uses the tool from there:
# deb_install.sh DEB VERSION BUILT_TOOL WORK, run from the source directory. The packaged tool
# reports the version and converts the bundled sample into what the build's own tool writes.
set -eu
. "$(dirname "$0")/../gui/gui_common.sh"

deb=$1 version=$2 builtTool=$3 work=$4
need_tool dpkg-deb dpkg
[ -f "$deb" ] || skip_or_fail "$deb missing: release.native_packages did not make it"
rm -rf "$work" && mkdir -p "$work/root" "$work/packaged" "$work/built"
dpkg-deb -x "$deb" "$work/root"

tool=$work/root/usr/bin/duridodi
[ "$("$tool" --version)" = "MDX Duridodi $version" ] || fail "duridodi --version does not say MDX Duridodi $version"
cp samples/sample.mdx "$work/packaged/sample.mdx"
cp samples/sample.mdx "$work/built/sample.mdx"
"$tool" "$work/packaged/sample.mdx" || fail "the packaged tool did not convert the sample"
"$builtTool" -q "$work/built/sample.mdx" || fail "the built tool did not convert the sample"
cmp "$work/built/sample_dezavivi.mdx" "$work/packaged/sample_dezavivi.mdx" \
    || fail "the packaged tool's output differs from the built tool's"
echo "the packaged tool converts the sample as the built one does"
