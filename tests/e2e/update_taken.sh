# The steps of the self-update scenarios that end in an update, for both builds: the update from version 3 to the
# next build and the start after it. Sourced by a scenario after update_scenario.

serve_release "$NEXT_LAUNCHER"

# 1. The update.
install_old_launcher
write_update_document 4
start_launcher
wait_output "Launcher update: version 4 runs in this one's place" 90
wait_exit 30
[ "$EXIT_CODE" = 0 ] || fail "the old launcher ended with $EXIT_CODE after the hand-over"
adopt_new_launcher 60
grep -q "^Launcher version 4" "$WORK/launcher.out" || fail "the new build's lines are not there"
for _ in $(seq 300); do [ -e "$GAME/hello.txt" ] && break; sleep 0.1; done
[ -e "$GAME/hello.txt" ] || fail "the new build did not sync the game folder"
for _ in $(seq 100); do is_program "$NEXT_LAUNCHER" && break; sleep 0.1; done
is_program "$NEXT_LAUNCHER" || fail "the program is not the new build"
close_adopted
[ -z "$(left_behind)" ] || fail "left beside the program: $(left_behind)"
rm "$GAME/hello.txt"
note "updated: version 4 runs in the game folder as $PROGRAM_NAME"

# The next start is version 4 and takes nothing.
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "version 4 reached no window"
grep -q "^Launcher version 4" "$WORK/launcher.out" || fail "the next start is not version 4"
grep -q "^Launcher update" "$WORK/launcher.out" && fail "the same version was taken again"
wait_output "Status: Ready to Play" 60
[ -e "$GAME/hello.txt" ] || fail "version 4 did not sync the game folder"
close_window
[ -z "$(left_behind)" ] || fail "left beside the program after the next start: $(left_behind)"
note "the next start: version 4, nothing beside the program"
