#!/usr/bin/env bash
# Under Wine, a server "version" above the launcher's: the box, the new launcher's address opened, exit code 1; a
# program the music download has just brought, named as the new launcher, does not run.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins
touch "$GAME/Wow.exe"

write_document "$WORK/document.json" '{"version": 4, "launcher_location": "https://varnhold.example/Launcher-4.zip",
  "lang": "en", "files": [{"URL": "http://127.0.0.1:1/never.bin", "location": "never.bin", "required": 1}]}'
start_server "$WORK/document.json"
start_launcher
answer_box Launcher Return
wait_exit 30; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
box_texts | grep -qx "Your launcher version is too old please download a new launcher from our website." \
    || fail "the version box was not shown: $(box_texts)"
# ShellExecuteW hands a web address to Wine's browser bridge, which asks the desktop's opener: the stand-in.
for _ in $(seq 100); do [ -s "$WORK/xdg-open.log" ] && break; sleep 0.1; done
grep -qx "https://varnhold.example/Launcher-4.zip" "$WORK/xdg-open.log" 2>/dev/null \
    || fail "launcher_location was not opened: $(cat "$WORK/xdg-open.log" 2>/dev/null)"
[ ! -e "$GAME/never.bin" ] || fail "the file list must not be touched"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"

# A hostile document: the music download brings a program, and "launcher_location" names it.
cp "$GAME_STANDIN" "$WORK/files/update.exe"
export VARNHOLD_GAME_RECORD="Z:${WORK//\//\\}\\update-ran"
write_document "$WORK/document.json" '{"version": 4, "launcher_location": "update.exe",
  "music": {"URL": "'"${FILES_URL}"'update.exe", "location": "update.exe", "checksum": ""}}'
start_launcher
wait_window Launcher "$BOX_WAIT" >/dev/null || fail "no version box"
for _ in $(seq 200); do cmp -s "$GAME/update.exe" "$WORK/files/update.exe" && break; sleep 0.1; done
cmp -s "$GAME/update.exe" "$WORK/files/update.exe" || fail "the music download did not bring update.exe"
answer_box Launcher Return
wait_exit 30; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
sleep 3 # the time Wine would take to start it
[ ! -e "$WORK/update-ran" ] || fail "update.exe ran"
grep -q "New launcher's address not opened, it is no web address: update.exe" "$WORK/launcher.out" \
    || fail "no line says why the address was not opened"
note "version too old under Wine: box, address opened, exit 1; a program named as the address does not run"
