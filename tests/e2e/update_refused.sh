# The steps of the self-update scenarios where an offer is not taken, for both builds: a lower version, a wrong
# SHA-256, the offer unsigned, and a launcher built without a key. Each leaves the old program, which reaches its
# window or its box. Sourced by a scenario after update_scenario.

serve_release "$NEXT_LAUNCHER"

# 1. A lower version is never taken: version 3 goes on to its window.
install_old_launcher
write_update_document 2 "$RELEASE_SHA256" 3
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "lower version: no window"
wait_output "Launcher update to version 2 ignored: this launcher is version 3" 10
close_window
is_program "$OLD_LAUNCHER" && [ -z "$(left_behind)" ] && [ "$(release_requests)" = 0 ] \
    || fail "lower version: the release was fetched or the program changed: $(left_behind)"
note "lower version: ignored; left behind: nothing"

# 2. A wrong SHA-256: the download is checked, refused with a line, removed; the old one shows the version box.
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

# 3. The same offer unsigned, to a launcher with the key: the document is refused whole, nothing is fetched.
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
# That refused start was the old program reaching its box: it is still there, and nothing beside it.
is_program "$OLD_LAUNCHER" && [ "$(release_requests)" = "$asked" ] && [ -z "$(left_behind)" ] \
    || fail "unsigned: the release was fetched or the program changed"
note "unsigned document: refused, nothing fetched; left behind: nothing"

# 4. A launcher built without a key is offered the signed update: it keeps today's version box and address.
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
