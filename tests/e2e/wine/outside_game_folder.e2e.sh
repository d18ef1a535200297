#!/usr/bin/env bash
# Under Wine, no "Wow.exe": the folder box, then the download question; No ends with exit code 1 and no window.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins

write_document "$WORK/document.json" '{"lang": "en", "files": [{"URL": "http://127.0.0.1:1/x.bin", "location": "x.bin"}]}'
start_server "$WORK/document.json"
start_launcher
answer_box Launcher Return
answer_box "Download the Game" n
wait_exit 30; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
box_texts | sed -n 1p | grep -qx "Please, move the launcher into your folder and then run." \
    || fail "no folder box first: $(box_texts)"
box_texts | sed -n 2p | grep -q "^Do you want download the game (16.6 GB)?" || fail "wrong question: $(box_texts)"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"
[ ! -e "$WORK/xdg-open.log" ] || fail "nothing may be opened: $(cat "$WORK/xdg-open.log")"
[ ! -e "$GAME/x.bin" ] || fail "nothing may be downloaded"
note "outside the game folder under Wine, answer No: exit 1"
