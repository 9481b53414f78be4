#!/bin/sh
# Runs Debian's package checker on the package: deb_lintian.sh DEB. Passes when lintian reports
# no error; warnings and notes are printed.
set -eu
. "$(dirname "$0")/../gui/gui_common.sh"

deb=$1
need_tool lintian lintian
[ -f "$deb" ] || skip_or_fail "$deb missing: release.native_packages did not make it"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors in $deb"
echo "lintian: no error"
