#!/usr/bin/env bash
# A server "version" above the launcher's: the box, the new launcher's address opened, exit code 1; an address that is
# no web page (a file the music download has just brought) is never opened.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
record_dialogs
touch "$GAME/Wow.exe"

# The listed file is really served, so a file worker started before the version check would fetch it.
make_served never.bin 4
write_document "$WORK/document.json" '{}'
start_server "$WORK/document.json"
write_document "$WORK/document.json" '{"version": 4, "launcher_location": "https://varnhold.example/Launcher-4.zip",
  "lang": "en", "files": [{"URL": "'"${FILES_URL}"'never.bin", "location": "never.bin", "required": 1}]}'
start_launcher
answer_box Launcher Return
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
grep -q "Your launcher version is too old please download a new launcher from our website." "$WORK/zenity.log" \
    || fail "the version box was not shown: $(cat "$WORK/zenity.log")"
grep -qx "https://varnhold.example/Launcher-4.zip" "$WORK/xdg-open.log" || fail "launcher_location was not opened"
[ ! -e "$GAME/never.bin" ] || fail "the file list must not be touched"
! grep -q "never\.bin" "$WORK/server.out" || fail "the listed file was asked for: $(grep never "$WORK/server.out")"
[ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "a window was created"

# The same in Finglish names the community's site.
write_document "$WORK/document.json" '{"version": 7, "lang": "fa", "launcher_location": "https://dl.varnhold.example/l.zip",
  "links": {"website": "https://www.varnhold.example/"}}'
: >"$WORK/xdg-open.log"
start_launcher
answer_box Launcher Return
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
grep -q "Launcher shoma ghadimi shode, Lotfan launcher jadid ra az site www.varnhold.example download konid." \
    "$WORK/zenity.log" || fail "the Finglish version box was not shown: $(cat "$WORK/zenity.log")"
grep -qx "https://dl.varnhold.example/l.zip" "$WORK/xdg-open.log" || fail "launcher_location was not opened"

# A hostile document: the music download brings a script, and "launcher_location" names it.
printf '#!/bin/sh\ntouch "%s/update-ran"\n' "$WORK" >"$WORK/files/update.sh"
write_document "$WORK/document.json" '{"version": 4, "launcher_location": "update.sh",
  "music": {"URL": "'"${FILES_URL}"'update.sh", "location": "update.sh", "checksum": ""}}'
: >"$WORK/xdg-open.log"
start_launcher
wait_window Launcher 20 >/dev/null || fail "no version box"
for _ in $(seq 100); do [ -s "$GAME/update.sh" ] && break; sleep 0.1; done
[ -s "$GAME/update.sh" ] || fail "the music download did not bring update.sh"
answer_box Launcher Return
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 1 ] || fail "exit code $rc, expected 1"
sleep 0.5
[ ! -s "$WORK/xdg-open.log" ] || fail "something was opened: $(cat "$WORK/xdg-open.log")"
[ ! -e "$WORK/update-ran" ] || fail "update.sh ran"
grep -q "New launcher's address not opened, it is no web address: update.sh" "$WORK/launcher.out" \
    || fail "no line says why the address was not opened"
note "version too old: box, address opened, exit 1"
