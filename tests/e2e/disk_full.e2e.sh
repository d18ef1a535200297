#!/usr/bin/env bash
# A 100 MB file for a game folder on a 64 MB file system: one box names the folder and the space missing, the
# status says the disk is full, the worker waits without burning the processor and writes nothing under the real
# name, and once room is made the download completes by itself.
source "$(dirname "$0")/lib.sh"
# A real limit needs a mount of its own; without the right to mount, there is nothing to test here.
mount -t tmpfs -o size=64m varnhold-e2e "$GAME" 2>/dev/null || { echo "SKIP: cannot mount a tmpfs"; exit 77; }
trap 'rc=$?; umount -l "$GAME" 2>/dev/null; (exit $rc); cleanup' EXIT
start_x
install_standins
record_dialogs
make_game
make_served Data/big.MPQ $((100 * 1024))
start_server "$WORK/document.json"
write_document "$WORK/document.json" "{\"lang\": \"en\", \"files\": [{\"URL\": \"${FILES_URL}Data/big.MPQ\",
  \"checksum\": \"$(md5_of "$WORK/files/Data/big.MPQ")\", \"location\": \"Data/big.MPQ\", \"required\": 1}]}"
BEFORE=$(cd "$GAME" && find . -type f -exec md5sum {} + | sort)

start_launcher
wait_output "Disk full: $GAME/Data needs" 30
wait_output "Status: Paused: disk full" 5
answer_box Launcher Return
tr "\n" " " <"$WORK/zenity.log" | grep -q "not enough free space.*$GAME/Data" || fail "the box does not name the folder"
tr "\n" " " <"$WORK/zenity.log" | grep -q "Please free up [0-9]* MB more" || fail "the box does not say how much is missing"

# Waiting: a few percent of one core at most (the window's frame loop included), and nothing new on disk.
ticks() { awk '{ print $14 + $15 }' "/proc/$LAUNCHER_PID/stat"; }
HZ=$(getconf CLK_TCK)
T0=$(ticks)
sleep 5
T1=$(ticks)
[ $(((T1 - T0) * 100 / (5 * HZ))) -lt 50 ] || fail "the waiting launcher used $(((T1 - T0) * 100 / (5 * HZ)))% of a core"
[ "$(grep -c 'not enough free space' "$WORK/zenity.log")" = 1 ] || fail "the box must appear once"
[ ! -e "$GAME/Data/big.MPQ" ] || fail "something was written under the real name"
[ "$(cd "$GAME" && find . -type f ! -name '*.varnhold-partial*' -exec md5sum {} + | sort)" = "$BEFORE" ] ||
    fail "files already on disk changed"

# Room is made: the worker notices by itself.
mount -o remount,size=256m "$GAME"
wait_output "Status: Ready to Play" 60
cmp -s "$GAME/Data/big.MPQ" "$WORK/files/Data/big.MPQ" || fail "the file is not the server's"
[ "$(grep -c 'not enough free space' "$WORK/zenity.log")" = 1 ] || fail "the box must appear once"
note "disk full: one box, $(((T1 - T0) * 100 / (5 * HZ)))% of a core while waiting, completed after room was made"
