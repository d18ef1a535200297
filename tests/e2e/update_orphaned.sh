# The update stopped in the old build right after it started the new one, for both builds: the new build goes on
# alone, shows itself and takes the program's name; the next start is version 4's window with nothing left. Sourced
# by a scenario after update_scenario.

serve_release "$NEXT_LAUNCHER"
write_update_document 4

# The old build stops right after it started the new one, which goes on alone, shows itself and takes the name.
install_old_launcher
VARNHOLD_UPDATE_STOP_AT=started start_launcher
wait_exit 90
[ "$EXIT_CODE" = 86 ] || fail "started: the old build ended with $EXIT_CODE"
adopt_new_launcher 60
for _ in $(seq 100); do is_program "$NEXT_LAUNCHER" && break; sleep 0.1; done
is_program "$NEXT_LAUNCHER" || fail "started: the new build did not take the program's name"
LEFT=$(left_behind)
close_adopted
note "stopped after 'started': version 4 runs alone as $PROGRAM_NAME, beside it: $LEFT"
last_start_is_version_4 "started"
note "the next start: version 4's window, nothing beside the program"
