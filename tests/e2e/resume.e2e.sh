#!/usr/bin/env bash
# A 200 MB download interrupted halfway by kill -9, by a cut connection and by a close through the window: each
# time the next attempt goes on from the partial file, and the bytes served stay within 1.1x the file.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
make_game
SIZE_MIB=200
RATE_KIBPS=32768
make_served Data/big.MPQ $((SIZE_MIB * 1024))
SIZE=$(stat -c %s "$WORK/files/Data/big.MPQ")
PARTIAL="$GAME/Data/big.MPQ.varnhold-partial"

# The server on a fixed port, its log appended to, so a restarted one serves the same addresses.
serve() {
    "$SERVER" --port "$1" --document "$WORK/document.json" --files "$WORK/files" --rate "$RATE_KIBPS" \
        >>"$WORK/server.out" 2>&1 &
    SERVER_PID=$!
    PIDS+=($SERVER_PID)
}
start_server "$WORK/document.json" "$RATE_KIBPS"
SERVER_PID=${PIDS[-1]}
PORT=${SERVER_URL##*:}
PORT=${PORT%/}
# One connection, so that what a kill loses in flight is one connection's (the bound below); the file still comes in
# pieces, one after another, and resumes from its record.
write_document "$WORK/document.json" "{\"lang\": \"en\", \"connections\": 1, \"files\": [{\"URL\": \"${FILES_URL}Data/big.MPQ\",
  \"checksum\": \"$(md5_of "$WORK/files/Data/big.MPQ")\", \"location\": \"Data/big.MPQ\", \"required\": 1}]}"

partial_size() { stat -c %s "$PARTIAL" 2>/dev/null || echo 0; }
wait_halfway() {
    local deadline=$((SECONDS + 60))
    until [ "$(partial_size)" -ge $((SIZE / 2)) ]; do
        [ $SECONDS -lt $deadline ] || fail "the download did not reach halfway"
        sleep 0.1
    done
}

# Bytes the server put on the wire for big.MPQ since log line $1: each answer's announced length, less what a cut
# answer did not send.
served_since() {
    local lines sum
    lines=$(tail -n +"$1" "$WORK/server.out")
    sum=$({
        echo 0
        grep '^GET /files/Data/big\.MPQ' <<<"$lines" | awk '{ print $4 }'
        sed -n 's/.*big\.MPQ.* cut after \([0-9]*\) of \([0-9]*\) bytes.*/\1 - \2/p' <<<"$lines"
    } | paste -sd+)
    echo $((sum))
}

# check_resumed HOW FROM_LINE KEPT [LAG]: a Range from no less than what was kept (less LAG bytes: a killed run's
# record of its pieces may be behind its partial file by as much), the file whole, within 1.1x.
check_resumed() {
    local how=$1 from=$2 kept=$3 lag=${4:-0} start served
    start=$(tail -n +"$from" "$WORK/server.out" | grep -o 'big\.MPQ?[0-9]* 206 [0-9]* range=bytes=[0-9]*' |
        tail -n1 | sed 's/.*bytes=//')
    [ -n "$start" ] || fail "$how: no Range request after the interruption"
    [ "$start" -ge $((kept - lag)) ] || fail "$how: the Range starts at $start, below the $kept bytes kept"
    cmp -s "$GAME/Data/big.MPQ" "$WORK/files/Data/big.MPQ" || fail "$how: the file is not the server's"
    [ ! -e "$PARTIAL" ] && [ ! -e "$PARTIAL-info" ] || fail "$how: the partial file or its record was left"
    served=$(served_since "$from")
    [ "$served" -le $((SIZE * 11 / 10)) ] || fail "$how: $served bytes served for a $SIZE-byte file"
    note "$how: resumed from byte $start; $served bytes served for $SIZE"
}

# 1. kill -9 halfway, then start again.
FROM=$(($(wc -l <"$WORK/server.out") + 1))
start_launcher
wait_halfway
kill -9 "$LAUNCHER_PID"
wait "$LAUNCHER_PID" 2>/dev/null || true
KEPT=$(partial_size)
start_launcher
wait_output "Status: Ready to Play" 90
grep -q "MD5 hash of file $GAME/Data/big.MPQ" "$WORK/launcher.out" && fail "the new file was read back to be checked"
# The record is written every 4 MiB, checked after each block received (512 KiB at most).
check_resumed "kill -9" "$FROM" "$KEPT" $(((4096 + 512) * 1024))
click 770 30 "$(wait_window "Varnhold Launcher" 15)"
wait_exit 10

# 2. The connection is cut halfway (the server goes away and comes back); the same run goes on.
rm "$GAME/Data/big.MPQ"
FROM=$(($(wc -l <"$WORK/server.out") + 1))
start_launcher
wait_halfway
kill "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
KEPT=$(partial_size)
serve "$PORT"
wait_output "Status: Ready to Play" 90
check_resumed "cut connection" "$FROM" "$KEPT"
click 770 30 "$(wait_window "Varnhold Launcher" 15)"
wait_exit 10

# 3. The player closes the window halfway, and starts the launcher again later.
rm "$GAME/Data/big.MPQ"
FROM=$(($(wc -l <"$WORK/server.out") + 1))
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no window"
wait_halfway
click 770 30
wait_exit 10
[ "$EXIT_CODE" = 0 ] || fail "close: exit code $EXIT_CODE"
KEPT=$(partial_size)
[ "$KEPT" -gt 0 ] || fail "close: the partial file was not kept"
start_launcher
wait_output "Status: Ready to Play" 90
check_resumed "close" "$FROM" "$KEPT"
