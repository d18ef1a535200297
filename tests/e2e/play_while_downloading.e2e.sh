#!/usr/bin/env bash
# Play before the additional files are in: "Please wait ..." first, then the message about the downloads going on,
# the music stopped, the game started and the launcher still open.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
record_dialogs
make_game
make_served required.bin 3072 # six seconds at the rate below: time to ask for Play too early
make_served optional.bin 16384
sox -n -r 22050 -c 1 "$WORK/files/theme.wav" synth 30 sine 330 vol 0.3 2>/dev/null || make_served theme.wav 4

start_server "$WORK/document.json" 512
write_document "$WORK/document.json" "{
  \"lang\": \"fa\", \"execute\": \"start-game\",
  \"music\": {\"URL\": \"${FILES_URL}theme.wav\", \"location\": \"theme.wav\", \"checksum\": \"\"},
  \"files\": [
    {\"URL\": \"${FILES_URL}required.bin\", \"checksum\": \"$(md5_of "$WORK/files/required.bin")\", \"location\": \"required.bin\", \"required\": 1},
    {\"URL\": \"${FILES_URL}optional.bin\", \"checksum\": \"$(md5_of "$WORK/files/optional.bin")\", \"location\": \"optional.bin\", \"required\": 0}
  ]}"
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no launcher window"

# While the required file is on its way: only the wait message.
grep -q "Status: Download - Elzamat" "$WORK/launcher.out" || fail "the required file should still be downloading"
click 400 535
answer_box Launcher Return
grep -q -- "Lotfan sabr konid ..." "$WORK/zenity.log" || fail "no wait message: $(cat "$WORK/zenity.log")"
[ ! -e "$WORK/game-started" ] || fail "the game must not start before the required files"

wait_output "Status: Download - Takmili" 30
wait_output "Music: playing" 30
click 400 535
answer_box Launcher Return
grep -q "Alan Shoma mitonid toye server bazi konin" "$WORK/zenity.log" || fail "no downloading message"
wait_output "Music: stopped" 5
for _ in $(seq 50); do [ -e "$WORK/game-started" ] && break; sleep 0.1; done
[ -e "$WORK/game-started" ] || fail "the game did not start"
[ ! -e "$GAME/cache" ] || fail "cache was not removed"
sleep 0.5
kill -0 "$LAUNCHER_PID" 2>/dev/null || fail "the launcher must stay open while downloads go on"
window_gone "$WINDOW" && fail "the window must stay open"

# Closing while the download still runs ends the process at once.
grep -q "Status: Amade Bazi" "$WORK/launcher.out" && fail "the optional download should still be running"
start=$(date +%s%N)
click 770 30
wait_exit 5; rc=$EXIT_CODE
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$rc" = 0 ] || fail "exit code $rc after closing, expected 0"
[ $elapsed_ms -lt 1500 ] || fail "closing during a download took ${elapsed_ms} ms"
[ ! -e "$GAME/optional.bin" ] || fail "an interrupted download must not leave the file under its name"
ls "$GAME" | grep -q '\.part' && fail "an interrupted download left its temporary file"
note "play while downloading: wait box, then the downloading box, music stopped, game started, window kept; closed in ${elapsed_ms} ms"
