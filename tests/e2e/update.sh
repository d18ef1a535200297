# Shared steps of the self-update scenarios, for both builds: the launcher copied into the game folder as a player
# has it, the next version (or another program) served as the update, the document that offers it, signed by the
# tests' keys, and what an update left in the game folder. Sourced after lib.sh (or winelib.sh). The build to update
# is the launcher with the tests' keys built in (made with them by minisign while the tests were built), the next
# version's build the same launcher going by the next version.

KEYS="$BUILD/tests/signing"
# The launcher as built without a key, which keeps today's way.
KEYLESS_LAUNCHER=$LAUNCHER
case $LAUNCHER in
*.exe) EXE=.exe ;;
*) EXE="" ;;
esac
OLD_LAUNCHER="$BUILD/tests/varnhold-launcher-signed$EXE"
NEXT_LAUNCHER="$BUILD/tests/varnhold-launcher-next$EXE"
command -v minisign >/dev/null && [ -r "$KEYS/current.sec" ] || { echo "no minisign or no test keys"; exit 77; }
[ -e "$OLD_LAUNCHER" ] && [ -e "$NEXT_LAUNCHER" ] || fail "no launcher builds with the tests' keys under $BUILD/tests"

# update_scenario [RATE]: the X server, the stand-ins, the game folder and the launcher server, sending files at
# RATE KiB/s (0, the default: at full speed); the Linux build's boxes are recorded as zenity is asked for them.
update_scenario() {
    start_x
    install_standins
    declare -F box_texts >/dev/null || record_dialogs
    make_game
    start_server "$WORK/document.json" "${1:-0}"
}

# sign_document [KEY]: the served document signed as the admin signs it, the signature beside it; each signature
# gets a higher serial than the one before, as a community's do, also above those of an earlier run (under Wine the
# highest serial seen stays in the prefix).
DOCUMENT_SERIAL=$(($(date +%s) * 1000))
sign_document() {
    DOCUMENT_SERIAL=$((DOCUMENT_SERIAL + 1))
    minisign -S -s "$KEYS/${1:-current}.sec" -m "$WORK/document.json" \
        -t "serial=$DOCUMENT_SERIAL expires=2099-01-01T00:00:00Z" >/dev/null || fail "minisign could not sign"
}
# The program's name in the game folder, as a player has it, and the document's key for this system.
case $OLD_LAUNCHER in
*.exe) PROGRAM_NAME=varnhold-launcher.exe UPDATE_OS=windows ;;
*) PROGRAM_NAME=varnhold-launcher UPDATE_OS=linux ;;
esac
PROGRAM="$GAME/$PROGRAM_NAME"
# The update waits this long for the new build before it gives up on it; the scenarios allow some more.
TRIAL_PATIENCE=30

# install_old_launcher: the old build in the game folder, and nothing an earlier update left beside it.
install_old_launcher() {
    rm -f "$PROGRAM" "$PROGRAM".* "$GAME/hello.txt"
    cp "$OLD_LAUNCHER" "$PROGRAM"
    LAUNCHER="$PROGRAM"
}

# serve_release FILE: FILE as the update's program; sets RELEASE_URL, RELEASE_SIZE and RELEASE_SHA256.
serve_release() {
    cp "$1" "$WORK/files/release.bin"
    RELEASE_URL="${FILES_URL}release.bin"
    RELEASE_SIZE=$(stat -c %s "$1")
    RELEASE_SHA256=$(sha256sum "$1" | cut -d' ' -f1)
}

# write_update_document VERSION [SHA256] [SERVER_VERSION]: a document whose "launcher_update" offers VERSION of the
# served release (with another SHA-256 when given), for a server "version" of SERVER_VERSION (default VERSION). Its
# one file, "hello.txt", lands in the folder of the launcher that gets past the version check.
write_update_document() {
    local version=$1 sha=${2:-$RELEASE_SHA256} server_version=${3:-$1}
    printf 'hello\n' >"$WORK/files/hello.txt"
    write_document "$WORK/document.json" "{\"lang\": \"en\", \"version\": $server_version,
  \"launcher_location\": \"https://varnhold.example/Launcher.zip\",
  \"launcher_update\": {\"version\": $version,
    \"$UPDATE_OS\": {\"URL\": \"$RELEASE_URL\", \"size\": $RELEASE_SIZE, \"sha256\": \"$sha\"}},
  \"files\": [{\"URL\": \"${FILES_URL}hello.txt\", \"checksum\": \"$(md5_of "$WORK/files/hello.txt")\",
    \"location\": \"hello.txt\", \"required\": 1}]}"
    sign_document
}

# What an update may leave beside the program, listed for the note of each scenario.
left_behind() {
    (cd "$GAME" && ls -1 "$PROGRAM_NAME".* 2>/dev/null | tr '\n' ' ') || true
}

# is_program FILE: true when the game folder's program is FILE, byte for byte.
is_program() { cmp -s "$PROGRAM" "$1"; }

# release_requests: how often the server was asked for the release so far.
release_requests() { grep -c '^GET /files/release\.bin' "$WORK/server.out" || true; }

# adopt_new_launcher [SECONDS]: the new build the old one started becomes the scenario's launcher: LAUNCHER_PID and,
# once its window is there, WINDOW. It is no child of this shell, so wait_gone stands in for wait_exit.
adopt_new_launcher() {
    local seconds=${1:-30}
    local deadline=$((SECONDS + seconds))
    NEW_PID=""
    until [ -n "$NEW_PID" ]; do
        [ $SECONDS -lt $deadline ] || fail "the new build is not running"
        NEW_PID=$(pgrep -f -- "$PROGRAM_NAME.new $UPDATE_TRIAL_ARGUMENT" | head -n1 || true)
        sleep 0.1
    done
    PIDS+=("$NEW_PID")
    LAUNCHER_PID=$NEW_PID
    # The old build never opens the main window: the one there is the new build's.
    WINDOW=$(wait_window "Varnhold Launcher" "$seconds") || fail "the new build opened no window"
}
UPDATE_TRIAL_ARGUMENT=--update-trial

# wait_gone PID [SECONDS]: waits until a process that is not this shell's child has ended.
wait_gone() {
    local deadline=$((SECONDS + ${2:-20}))
    while kill -0 "$1" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "process $1 did not end"
        sleep 0.05
    done
}

# close_adopted: the close spot of the adopted new build's window, and its end.
close_adopted() {
    click 770 30
    wait_gone "$LAUNCHER_PID" 20
}

# The boxes shown so far, each with the start of its text: recorded by the stand-in zenity, or by Wine's message box
# channel (whose line cuts a long text short, closing quote and all).
boxes_shown() {
    if declare -F box_texts >/dev/null; then
        grep -a "trace:msgbox:MSGBOX_OnInit" "$WORK/launcher.out" || true
    else
        cat "$WORK/zenity.log" 2>/dev/null || true
    fi
}

# check_trial_fails BUILD WHY: BUILD (a program in $WORK) offered as version 4 is downloaded and started, fails its
# trial for WHY, is not left running, and version 3 shows the version box, then as well when started again.
check_trial_fails() {
    local build=$1 left
    install_old_launcher
    serve_release "$WORK/$build"
    write_update_document 4
    start_launcher
    BOX_WAIT=$((TRIAL_PATIENCE + 30)) answer_box Launcher Return
    wait_exit 20
    [ "$EXIT_CODE" = 1 ] || fail "$build: exit code $EXIT_CODE"
    grep -q "Launcher update: version 4 $2" "$WORK/launcher.out" || fail "$build: no line says '$2'"
    pgrep -f -- "$PROGRAM_NAME.new" >/dev/null && fail "$build: the new build still runs"
    left=$(left_behind)
    check_old_launcher_stays "$build"
    note "$build: version 4 $2; the version box; left behind: $left"
}

# check_old_launcher_stays HOW: version 3 is the program, and started again (the offer withdrawn) it reaches the
# version box.
check_old_launcher_stays() {
    is_program "$OLD_LAUNCHER" || fail "$1: the program is not the old build"
    [ -e "$WORK/zenity.log" ] && : >"$WORK/zenity.log"
    write_document "$WORK/document.json" '{"lang": "en", "version": 4}'
    sign_document
    start_launcher
    answer_box Launcher Return
    wait_exit 20
    [ "$EXIT_CODE" = 1 ] || fail "$1: the old launcher ended with $EXIT_CODE at its version box"
    boxes_shown | grep -q "Your launcher version is too old" || fail "$1: no version box"
}

# last_start_is_version_4 HOW: whatever is in the game folder, started, ends in version 4's window, nothing left.
last_start_is_version_4() {
    start_launcher
    local deadline=$((SECONDS + 90))
    until grep -q "runs in this one's place\|^window: " "$WORK/launcher.out"; do
        [ $SECONDS -lt $deadline ] || fail "$1: the next start reached no window"
        sleep 0.1
    done
    if grep -q "runs in this one's place" "$WORK/launcher.out"; then
        wait_exit 30
        adopt_new_launcher 60
        close_adopted
    else
        grep -q "^Launcher version 4" "$WORK/launcher.out" || fail "$1: the next start is not version 4"
        WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "$1: version 4 reached no window"
        close_window
    fi
    is_program "$NEXT_LAUNCHER" || fail "$1: the program is not the new build after the next start"
    [ -z "$(left_behind)" ] || fail "$1: left beside the program after the next start: $(left_behind)"
}
