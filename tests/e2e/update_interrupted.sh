# The steps of the interrupted-update scenarios, for both builds. Each start is cut off at the next point where the
# update leaves something on disk, as a kill or a power cut would cut it: a kill during the download, then a stop
# (VARNHOLD_UPDATE_STOP_AT) after each later step of the old build and of the new one (the stop of the old build
# right after it started the new one is update_orphaned.sh). Each start begins with what the one before left, so
# each is also the start after an interruption; after each, a whole launcher carries the program's name, and the
# last start ends in version 4's window with nothing left. Sourced by a scenario after update_scenario with a
# slowed server, so that the download can be killed halfway.

serve_release "$NEXT_LAUNCHER"
write_update_document 4
PARTIAL="$PROGRAM.new.varnhold-partial"

# stopped_at STEP EXIT_CODE: starts the launcher stopping at STEP and checks how the old build ended; the new build
# the old one started, if any, is waited for. Sets LEFT to what is beside the program afterwards.
stopped_at() {
    VARNHOLD_UPDATE_STOP_AT=$1 start_launcher
    wait_exit 90
    [ "$EXIT_CODE" = "$2" ] || fail "$1: the old build ended with $EXIT_CODE, expected $2"
    for pid in $(pgrep -f -- "$PROGRAM_NAME.new $UPDATE_TRIAL_ARGUMENT" || true); do wait_gone "$pid" 60; done
    LEFT=$(left_behind)
    is_program "$NEXT_LAUNCHER" || is_program "$OLD_LAUNCHER" || fail "$1: the program is neither build"
    if is_program "$NEXT_LAUNCHER"; then HOLDS="version 4"; else HOLDS="version 3"; fi
}

# 1. Killed during the download.
install_old_launcher
start_launcher
WINDOW=$(wait_window "Varnhold Launcher Update" 60) || fail "no update window during the download"
wait_output "Status: Updating the launcher ..." 10
deadline=$((SECONDS + 60))
until [ "$(stat -c %s "$PARTIAL" 2>/dev/null || echo 0)" -gt $((2 * 1024 * 1024)) ]; do
    [ $SECONDS -lt $deadline ] || fail "the download did not get going"
    sleep 0.05
done
kill -9 "$LAUNCHER_PID"
wait "$LAUNCHER_PID" 2>/dev/null || true
# The server logs the cut transfer once it sees the client gone (under Wine a moment after the kill), before the
# requests of the starts below are counted.
for _ in $(seq 300); do grep -q "release\.bin cut after" "$WORK/server.out" && break; sleep 0.1; done
grep -q "release\.bin cut after" "$WORK/server.out" || fail "the server did not see the killed download end"
kept=$(stat -c %s "$PARTIAL")
is_program "$OLD_LAUNCHER" || fail "kill during the download: the program changed"
note "killed during the download: $PROGRAM_NAME is version 3, beside it: $(left_behind)"

# 2. The next start goes on from the part kept, and is stopped once the download is whole and checked.
stopped_at downloaded 86
resumed=$(grep -o 'release\.bin 206 [0-9]* range=bytes=[0-9]*' "$WORK/server.out" | tail -n1 | sed 's/.*bytes=//')
[ -n "$resumed" ] && [ "$resumed" -ge "$kept" ] || fail "the download was not resumed from the $kept bytes kept"
note "resumed from byte $resumed, stopped after 'downloaded': $PROGRAM_NAME is $HOLDS, beside it: $LEFT"

# 3. The whole download is taken without asking the server again; stopped once it is ready to start.
asked=$(release_requests)
stopped_at prepared 86
[ "$(release_requests)" = "$asked" ] || fail "prepared: the whole download was fetched again"
note "stopped after 'prepared': $PROGRAM_NAME is $HOLDS, beside it: $LEFT"

# 4. The new build stops once it has written its sign, before it took the name: the old one, seeing the sign, ended.
stopped_at signed 0
note "stopped after 'signed': $PROGRAM_NAME is $HOLDS, beside it: ${LEFT:-nothing}"

# 5. The new build stops right after it took the program's name.
stopped_at replaced 0
[ "$HOLDS" = "version 4" ] || fail "replaced: the program is not the new build"
note "stopped after 'replaced': $PROGRAM_NAME is $HOLDS, beside it: ${LEFT:-nothing}"
last_start_is_version_4 "replaced"
note "the next start: version 4's window, nothing beside the program"
