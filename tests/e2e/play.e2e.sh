#!/usr/bin/env bash
# A new player's run: Play shows unavailable until the required files are in place, every file arrives at its
# checksum, and Play when all is done prepares the folder, starts the game, closes the window with exit code 0.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
make_game
make_served Data/common.MPQ 6144 # six seconds at the rate below on one connection: time to see Play unavailable
make_served Data/patch-V.MPQ 512
make_served Data/shared.MPQ 64
sox -n -r 22050 -c 1 "$WORK/files/theme.wav" synth 1 sine 440 vol 0.3 2>/dev/null || make_served theme.wav 4

start_server "$WORK/document.json" 1024
write_play_document start-game "\"connections\": 1, \"music\": {\"URL\": \"${FILES_URL}theme.wav\", \"location\": \"music\\\\theme.wav\", \"checksum\": \"$(md5_of "$WORK/files/theme.wav")\"},"
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no launcher window"
xdotool mousemove 1270 1010 # away from the window: the Play area shows its own picture
sleep 0.5
screenshot "$WORK/waiting.png"
grep -q "Status: Download - Requirements" "$WORK/launcher.out" || fail "the required file should still be downloading"
read -r r g b <<<"$(mean_colour "$WORK/waiting.png" 300 500 200 60)"
[ $((r - b)) -lt 30 ] || fail "Play should look unavailable (grey) while required files download: $r $g $b"

wait_output "Status: Download - Additional" 30
sleep 0.3
screenshot "$WORK/available.png"
read -r r g b <<<"$(mean_colour "$WORK/available.png" 300 500 200 60)"
[ $((r - b)) -ge 40 ] || fail "Play should look available (gold) once the required files are in: $r $g $b"

wait_output "Status: Ready to Play" 30
for f in Data/common.MPQ Data/patch-V.MPQ; do
    [ "$(md5_of "$GAME/$f")" = "$(md5_of "$WORK/files/$f")" ] || fail "$f is not at its checksum"
done
cmp -s "$GAME/Data/enUS/shared.MPQ" "$WORK/files/Data/shared.MPQ" || fail "first location of a shared file"
cmp -s "$GAME/Data/enGB/shared.MPQ" "$WORK/files/Data/shared.MPQ" || fail "second location of a shared file"
[ "$(grep -c 'GET /files/Data/shared.MPQ' "$WORK/server.out")" = 1 ] || fail "a shared file is downloaded once"
grep -q "Music: playing" "$WORK/launcher.out" || fail "the music did not start"

click 400 535
wait_exit 10; rc=$EXIT_CODE
[ "$rc" = 0 ] || fail "exit code $rc after Play, expected 0"
[ "$(cat "$GAME/Data/enUS/realmlist.wtf")" = "set realmlist logon.varnhold.example" ] || fail "realmlist.wtf"
realmlist="set realmlist logon.varnhold.example"
[ "$(stat -c %s "$GAME/Data/enUS/realmlist.wtf")" = ${#realmlist} ] || fail "realmlist.wtf must hold exactly the server's text"
[ ! -e "$GAME/cache" ] || fail "cache was not removed"
[ ! -e "$GAME/Data/patch-old.MPQ" ] || fail "the listed removal is still there"
[ -e "$GAME/keep.txt" ] || fail "an unlisted file was removed"
[ "$(cat "$WORK/game-started" 2>/dev/null)" = "$GAME" ] || fail "the game was not started in the game folder"
note "play: unavailable → available → ready; Play prepared the folder, started the game and closed (exit 0)"
