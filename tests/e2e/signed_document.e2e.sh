#!/usr/bin/env bash
# A launcher built with a signing key: a signed document plays through; an unsigned, altered, foreign, expired or
# replayed one gives one box, exit 1 and an untouched game folder.
source "$(dirname "$0")/lib.sh"
LAUNCHER="$BUILD/tests/varnhold-launcher-signed"
EXECUTE=start-game
game_started() { [ "$(cat "$WORK/game-started" 2>/dev/null)" = "$GAME" ]; }
start_x
install_standins
make_game
source "$SRC/tests/e2e/signed_use.sh"
check_signed_documents
