#!/usr/bin/env bash
# Under Wine, no launcher server: two "Launcher" boxes, English then Finglish, no window, exit code 1.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins
touch "$GAME/Wow.exe"

start_launcher "http://127.0.0.1:1/"
answer_box Launcher Return
answer_box Launcher Return
wait_exit 30; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"

[ "$(box_texts | wc -l)" = 2 ] || fail "exactly two boxes expected: $(box_texts)"
box_texts | sed -n 1p | grep -q "^Unable connect to the launcher server" || fail "English must come first: $(box_texts)"
box_texts | sed -n 2p | grep -q "^Adadme Emkane etesal be servere launcher" || fail "Finglish second: $(box_texts)"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"
note "server down under Wine: two boxes, exit 1"
