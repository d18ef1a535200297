#!/usr/bin/env bash
# A logout, a shutdown or Ctrl+C during a download: the launcher closes as its close button does, with exit code 0,
# quickly, and leaves neither the file under its name nor a stray temporary file behind; the partial file stays for
# the next start to go on from.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
make_game
make_served big.bin 16384 # far longer than the test at the rate below

start_server "$WORK/document.json" 256
write_document "$WORK/document.json" "{\"lang\": \"en\", \"files\": [
  {\"URL\": \"${FILES_URL}big.bin\", \"checksum\": \"$(md5_of "$WORK/files/big.bin")\", \"location\": \"big.bin\", \"required\": 1}]}"
for signal in TERM HUP INT; do
    : >"$WORK/launcher.out"
    start_launcher
    wait_window "Varnhold Launcher" 15 >/dev/null || fail "no launcher window"
    wait_output "Start Downloading" 15
    sleep 0.5
    [ -e "$GAME/big.bin.varnhold-partial" ] || fail "the download should be under way"
    start=$(date +%s%N)
    kill -s "$signal" "$LAUNCHER_PID"
    wait_exit 5
    elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after SIG$signal, expected 0"
    [ $elapsed_ms -lt 2000 ] || fail "SIG$signal took ${elapsed_ms} ms to close the launcher"
    [ ! -e "$GAME/big.bin" ] || fail "an interrupted download must not leave the file under its name"
    ls "$GAME" | grep -q '\.part-' && fail "SIG$signal left a temporary file behind"
    [ -s "$GAME/big.bin.varnhold-partial" ] || fail "SIG$signal did not keep the partial file to resume from"
    note "SIG$signal: closed in ${elapsed_ms} ms"
done
