#!/usr/bin/env bash
# Minimise and restore under a window manager: the minimise spot and the window manager's own request take the
# window out of sight, a download goes on meanwhile, and the window comes back drawn afresh.
source "$(dirname "$0")/lib.sh"
start_x
start_window_manager
install_standins
source "$SRC/tests/e2e/minimise_use.sh"
check_minimise
note "minimise: spot and window manager, download goes on, restored"
