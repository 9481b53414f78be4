#!/bin/sh
# Makes the Wine prefix that the Wine tests share: wine_prefix.sh PREFIX (replaced if present).
# No window manager runs in the tests, so Wine draws the window frames itself (Managed=N) and
# dialogs close without waiting for one; the caption buttons need the Marlett font.
set -eu
. "$(dirname "$0")/gui_common.sh"

find_wine
export WINEPREFIX=$1
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
timeout 120 "$wine" wineboot -i >"$WINEPREFIX.log" 2>&1 || fail "wineboot failed: $(cat "$WINEPREFIX.log")"
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$WINEPREFIX.log" 2>&1 ||
    fail "reg add failed"
"$wineserver" -w
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
echo "Wine prefix ready in $WINEPREFIX"
