# The window as a player sees it, for comparing one build's look with another's (Linux with Windows under Wine):
# take_screens OUTDIR writes OUTDIR/en.png (English) and OUTDIR/fa.png (Finglish with a Persian announcement whose
# last paragraph is Latin). Sourced after lib.sh (or the Wine one), with the X server and the stand-ins started.

# A document with the given language and announcement, three realms and no files, so that Play is ready at once.
screens_document() {
    write_document "$WORK/screens.json" "{\"lang\": \"$1\", \"version\": 3, \"announce\": \"$2\",
        \"realms\": [[\"Frostwind\", 1], [\"Emberfall\", 0], [\"Caf\\u00e9 Noir\", 1]]}"
}

# take_screen FILE: one run of the launcher against $WORK/screens.json, photographed once Play is ready with the
# mouse outside the window, then closed by its close spot.
take_screen() {
    : >"$WORK/launcher.out"
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" "${BOX_WAIT:-15}") || fail "no launcher window"
    wait_output "Status: \(Ready to Play\|Amade Bazi\)" 60
    xdotool mousemove 1270 1010
    sleep 1
    screenshot "$1"
    close_window 30
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after the close spot"
}

take_screens() {
    local out=$1
    mkdir -p "$out"
    make_game
    screens_document en 'Welcome to Varnhold!\nThe Frostwind realm opens on Friday at 20:00.'
    start_server "$WORK/screens.json"
    take_screen "$out/en.png"
    # "Welcome to Varnhold, brave warriors!" and "Servers are ready.", then a Finglish line.
    screens_document fa '\u0628\u0647 \u0648\u0627\u0631\u0646\u0647\u0648\u0644\u062f \u062e\u0648\u0634 \u0622\u0645\u062f\u06cc\u062f \u062c\u0646\u06af\u062c\u0648\u06cc\u0627\u0646 \u062f\u0644\u06cc\u0631!\n\u0633\u0631\u0648\u0631 \u0647\u0627 \u0622\u0645\u0627\u062f\u0647 \u0647\u0633\u062a\u0646\u062f.\nServer ha amade hastand.'
    take_screen "$out/fa.png"
}
