#!/usr/bin/env bash
# Under Wine, the close spot during a download: exit code 0 at once, and nothing unfinished under the file's name.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins
make_game
make_served big.bin 16384

start_server "$WORK/document.json" 512
# One connection: in pieces over several the paced file would be in place before the close.
write_document "$WORK/document.json" "{\"lang\": \"en\", \"connections\": 1, \"files\": [
    {\"URL\": \"${FILES_URL}big.bin\", \"checksum\": \"$(md5_of "$WORK/files/big.bin")\", \"location\": \"big.bin\", \"required\": 0}]}"
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "no launcher window"
wait_output "Start Downloading" 30
sleep 1
close_window 15; rc=$EXIT_CODE
[ "$rc" = 0 ] || fail "exit code $rc after closing, expected 0"
[ ! -e "$GAME/big.bin" ] || fail "an interrupted download must not stand under its real name"
note "closed during a download under Wine: exit 0, no torn file"
