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

# No display at all: the boxes go to standard error and the launcher ends with 1 instead of crashing.
(cd "$GAME" && env -u DISPLAY VARNHOLD_SERVER_URL="http://127.0.0.1:1/" "$LAUNCHER") >"$WORK/nodisplay.out" 2>&1 \
    && fail "expected exit code 1 without a display" || rc=$?
[ "$rc" = 1 ] || fail "exit code $rc without a display, expected 1"
grep -q "Launcher: Unable connect to the launcher server" "$WORK/nodisplay.out" || fail "no text on standard error"
write_document "$WORK/document.json" '{"lang": "en"}'
start_server "$WORK/document.json"
(cd "$GAME" && env -u DISPLAY VARNHOLD_SERVER_URL="$SERVER_URL" "$LAUNCHER") >"$WORK/nodisplay.out" 2>&1 && rc=0 || rc=$?
[ "$rc" = 1 ] || fail "exit code $rc with a server but no display, expected 1: $(tail -n 3 "$WORK/nodisplay.out")"
grep -q "no display to show the window on" "$WORK/nodisplay.out" || fail "no word about the missing display"
note "no display: standard error and exit 1"
