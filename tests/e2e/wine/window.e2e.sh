#!/usr/bin/env bash
# Under Wine, the window as a player uses it: the link buttons through ShellExecuteW, the music spot, the texts, a
# drag and a click in place, and the close spot, as the Linux build's window is checked.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/window_use.sh"
start_x
start_busy
install_standins
check_window_use
note "window under Wine: links, music spot, texts, drag and close"
