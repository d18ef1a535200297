#!/usr/bin/env bash
# No launcher server: the two boxes, English then Finglish, no window, exit code 1.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
record_dialogs
touch "$GAME/Wow.exe"

# Port 1 on loopback: nothing listens, the connection is refused.
start_launcher "http://127.0.0.1:1/"
answer_box Launcher Return
answer_box Launcher Return
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"

grep -q -- "--title Launcher" "$WORK/zenity.log" || fail "boxes were not titled Launcher"
first=$(grep -n "Unable connect to the launcher server" "$WORK/zenity.log" | head -n1 | cut -d: -f1)
second=$(grep -n "Adadme Emkane etesal be servere launcher" "$WORK/zenity.log" | head -n1 | cut -d: -f1)
[ -n "$first" ] && [ -n "$second" ] || fail "both texts must be shown: $(cat "$WORK/zenity.log")"
[ "$first" -lt "$second" ] || fail "English must come first"
[ "$(grep -c -- '--error' "$WORK/zenity.log")" = 2 ] || fail "exactly two error boxes expected"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"
note "server down: two boxes, exit 1"
