#!/usr/bin/env bash
# The window as a player uses it: link buttons open their addresses, the music spot switches the music, a drag
# moves the window and a click in place does not, the texts stand where they belong, the close spot closes.
source "$(dirname "$0")/lib.sh"
start_x
start_busy
install_standins
source "$SRC/tests/e2e/window_use.sh"
check_window_use
# The run's log holds the same lines as the console.
log=$(ls "$XDG_STATE_HOME"/varnhold-launcher/launcher-*.log) || fail "no run log"
diff "$WORK/launcher.out" "$log" || fail "the log differs from the console"
note "window: links, music spot, texts, drag and close"
