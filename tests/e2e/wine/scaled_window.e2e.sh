#!/usr/bin/env bash
# Under Wine with the prefix's display scaled to 150 % and 200 % (LogPixels 144 and 192): the window is 1200 x 900
# and 1600 x 1200, drawn from the double-size artwork without blurring, and Play works at its scaled place.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/scaled_use.sh"
start_x 1600x1200x24
install_standins
make_game
cp "$GAME_STANDIN" "$GAME/Wow.exe"
export VARNHOLD_GAME_RECORD="Z:${WORK//\//\\}\\game-started"

# The prefix's DPI, in both places Wine reads it; it takes effect with the next wineserver.
set_log_pixels() {
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        WINEDEBUG=-all "$WINE64" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 \
            || fail "could not set LogPixels in $key"
    done
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
}
# The prefix is shared with the other scenarios: it goes back to an ordinary display whatever happens here.
AT_EXIT+=("set_log_pixels 96")
for percent in 150 200; do
    set_log_pixels $((96 * percent / 100))
    check_scaled_window "$percent" Wow.exe
done
note "scaled window under Wine: 1200 x 900 and 1600 x 1200, sharp artwork, Play"
