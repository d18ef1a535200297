#!/usr/bin/env bash
# No game in the folder and the answer Yes: the launcher goes on and fetches the full game as well.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
record_dialogs
make_served Wow.exe 64
make_served Data/expansion.MPQ 512
make_served Data/patch.MPQ 128
start_server "$WORK/document.json"
entry() { printf '{"URL": "%s", "checksum": "%s", "location": "%s", "required": %s, "game_data": %s}' \
    "${FILES_URL}$1" "$(md5_of "$WORK/files/$1")" "$1" "$2" "$3"; }
write_document "$WORK/document.json" "{\"lang\": \"en\", \"files\": [
  $(entry Wow.exe 1 1), $(entry Data/expansion.MPQ 0 1), $(entry Data/patch.MPQ 1 0)]}"
start_launcher
answer_box Launcher Return
answer_box "Download the Game" Return
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "Yes must lead to the window"
wait_output "Status: Ready to Play" 30
grep -q "Status: Download - Game Data" "$WORK/launcher.out" || fail "the game data status was not shown"
for f in Wow.exe Data/expansion.MPQ Data/patch.MPQ; do
    cmp -s "$GAME/$f" "$WORK/files/$f" || fail "$f was not fetched"
done
click 770 30
wait_exit 5
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE"

# The next start finds the game: no boxes, and the game data is left alone (not even checked).
: >"$WORK/zenity.log"
: >"$WORK/launcher.out"
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no window on the second start"
wait_output "Status: Ready to Play" 30
[ ! -s "$WORK/zenity.log" ] || fail "no box expected on the second start: $(cat "$WORK/zenity.log")"
grep -q "MD5 hash of file $GAME/Data/expansion.MPQ" "$WORK/launcher.out" && fail "game data must not be checked now"
click 770 30
wait_exit 5
note "full download: Yes fetched the game data; the next start skipped it"
