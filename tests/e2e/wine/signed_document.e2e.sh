#!/usr/bin/env bash
# Under Wine, a launcher built with a signing key: a signed document plays through; an unsigned, altered, foreign,
# expired or replayed one gives one box, exit 1 and an untouched game folder.
source "$(dirname "$0")/winelib.sh"
LAUNCHER="$BUILD/tests/varnhold-launcher-signed.exe"
EXECUTE=Wow.exe
export VARNHOLD_GAME_RECORD="Z:${WORK//\//\\}\\game-started"
game_started() {
    for _ in $(seq 100); do [ -s "$WORK/game-started" ] && break; sleep 0.1; done
    [ "$(cat "$WORK/game-started" 2>/dev/null)" = "Z:${GAME//\//\\}" ]
}
start_x
install_standins
make_game
cp "$GAME_STANDIN" "$GAME/Wow.exe"
source "$SRC/tests/e2e/signed_use.sh"
check_signed_documents
