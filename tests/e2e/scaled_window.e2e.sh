#!/usr/bin/env bash
# The window on a display scaled to 200 % (Xft.dpi 192 in the X resources, as desktops set it): 1600 x 1200, drawn
# from the double-size artwork, and Play works at its scaled place.
source "$(dirname "$0")/lib.sh"
start_x 1600x1200x24
install_standins
command -v xrdb >/dev/null || fail "xrdb is not installed (x11-xserver-utils)"
echo "Xft.dpi: 192" | xrdb -merge
source "$SRC/tests/e2e/scaled_use.sh"
make_game
check_scaled_window 200 start-game
note "scaled window: 1600 x 1200 at Xft.dpi 192, sharp artwork, Play"
