# The steps of the self-update scenarios that end in an update, or in none, for both builds: the update from version 3
# to the next build and the start after it, then a lower version, a wrong SHA-256, an unsigned document and a launcher
# built without a key. Sourced by a scenario once
# update.sh, the X server and the launcher server are set up.

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

# 2. A lower version is never taken: version 3 goes on to its window.
install_old_launcher
write_update_document 2 "$RELEASE_SHA256" 3
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "lower version: no window"
wait_output "Launcher update to version 2 ignored: this launcher is version 3" 10
close_window
is_program "$OLD_LAUNCHER" && [ -z "$(left_behind)" ] && [ "$(release_requests)" = 1 ] \
    || fail "lower version: the release was fetched or the program changed: $(left_behind)"
note "lower version: ignored; left behind: nothing"

# 3. A wrong SHA-256: the download is checked, refused with a line, removed; the old one shows the version box.
: >"$WORK/xdg-open.log"
write_update_document 4 "$(printf '%064d' 0)"
start_launcher
answer_box Launcher Return
wait_exit 30
[ "$EXIT_CODE" = 1 ] || fail "wrong SHA-256: exit code $EXIT_CODE"
grep -q "Launcher update: SHA-256 of .*$PROGRAM_NAME.new is $RELEASE_SHA256, the server lists 0000" \
    "$WORK/launcher.out" || fail "wrong SHA-256: no line says so"
# Wine hands the address on through its browser bridge, a moment after the box.
for _ in $(seq 100); do grep -qx "https://varnhold.example/Launcher.zip" "$WORK/xdg-open.log" && break; sleep 0.1; done
grep -qx "https://varnhold.example/Launcher.zip" "$WORK/xdg-open.log" || fail "wrong SHA-256: no address opened"
[ -z "$(left_behind)" ] || fail "wrong SHA-256: left beside the program: $(left_behind)"
check_old_launcher_stays "wrong SHA-256"
note "wrong SHA-256: refused, the version box; left behind: nothing"


# 4. The same offer unsigned, to a launcher with the key: the document is refused whole, nothing is fetched.
asked=$(release_requests)
write_update_document 4
rm -f "$WORK/document.json.minisig"
[ -e "$WORK/zenity.log" ] && : >"$WORK/zenity.log"
start_launcher
answer_box Launcher Return
wait_exit 30
[ "$EXIT_CODE" = 1 ] || fail "unsigned: exit code $EXIT_CODE"
grep -q "The server's document was refused: " "$WORK/launcher.out" || fail "unsigned: no line says why"
boxes_shown | grep -q "could not be verified" || fail "unsigned: not the box of an unverified document"
[ "$(release_requests)" = "$asked" ] && [ -z "$(left_behind)" ] || fail "unsigned: the release was fetched"
check_old_launcher_stays "unsigned document"
note "unsigned document: refused, nothing fetched; left behind: nothing"

# 5. A launcher built without a key is offered the signed update: it keeps today's version box and address.
cp "$KEYLESS_LAUNCHER" "$PROGRAM"
write_update_document 4
[ -e "$WORK/zenity.log" ] && : >"$WORK/zenity.log"
start_launcher
answer_box Launcher Return
wait_exit 30
[ "$EXIT_CODE" = 1 ] || fail "no key: exit code $EXIT_CODE"
grep -q "Launcher update to version 4 ignored: this launcher was built without a signing key" "$WORK/launcher.out" \
    || fail "no key: no line says why"
boxes_shown | grep -q "Your launcher version is too old" || fail "no key: no version box"
is_program "$KEYLESS_LAUNCHER" && [ "$(release_requests)" = "$asked" ] && [ -z "$(left_behind)" ] \
    || fail "no key: the release was fetched or the program changed"
note "launcher without a key: the version box as before; left behind: nothing"
