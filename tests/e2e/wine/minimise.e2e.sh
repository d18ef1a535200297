#!/usr/bin/env bash
# Under Wine with a window manager: the minimise spot, and the window manager's iconify request (what a taskbar
# button sends, which Wine passes on only to a window with a minimise box), take the window out of sight; a download
# goes on meanwhile, and the window comes back drawn afresh.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/minimise_use.sh"
start_x
start_window_manager
install_standins
check_minimise
note "minimise under Wine: spot and window manager, download goes on, restored"
