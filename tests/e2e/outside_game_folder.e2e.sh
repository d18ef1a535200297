#!/usr/bin/env bash
# No "./Wow.exe": the folder box, then the download question; No ends with exit code 1 and no window.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
record_dialogs

write_document "$WORK/document.json" '{"lang": "en", "files": [{"URL": "http://127.0.0.1:1/x.bin", "location": "x.bin"}]}'
start_server "$WORK/document.json"
start_launcher
answer_box Launcher Return
answer_box "Download the Game" Escape
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
grep -q "Please, move the launcher into your folder and then run." "$WORK/zenity.log" || fail "no folder box"
grep -q -- "--question" "$WORK/zenity.log" || fail "no question box"
grep -q "Do you want download the game (16.6 GB)?" "$WORK/zenity.log" || fail "wrong question"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"
[ ! -e "$WORK/xdg-open.log" ] || fail "nothing may be opened: $(cat "$WORK/xdg-open.log")"
note "outside the game folder, answer No: exit 1"
