# Signed server documents, for either build: the launcher built with the tests' keys ("current" and "next", made by
# minisign while the tests were built) plays a signed document through, and for each way a document can fail its
# check (no signature, a changed body, a changed trusted comment, a stranger's key, expired, replayed) shows the one
# box, exits with 1 and leaves the game folder exactly as it was. Sourced after lib.sh (or the Wine one) with the X
# server and the stand-ins started; LAUNCHER names the launcher with the keys, EXECUTE what Play starts, and
# game_started says whether it ran.

KEYS="$BUILD/tests/signing"

# sign SERIAL EXPIRES [KEY]: signs the served document as the admin does, the signature beside it.
sign() {
    minisign -S -s "$KEYS/${3:-current}.sec" -m "$WORK/document.json" -t "serial=$1 expires=$2" >/dev/null \
        || fail "minisign could not sign"
}

# The game folder as a listing of names, sizes and modification times: any write shows.
folder_state() { (cd "$GAME" && find . -printf '%p %s %T@\n' | sort); }

# The boxes of the last start, one line each with the start of its text: Wine's message box channel (which cuts
# long texts short), or what the stand-in zenity was asked.
shown_boxes() {
    if declare -F box_texts >/dev/null; then
        grep -a "trace:msgbox:MSGBOX_OnInit" "$WORK/launcher.out" || true
    else
        grep -a -- "--title" "$WORK/zenity.log" 2>/dev/null || true
    fi
}

# refused WHAT: one start on the document as it is served now must end at the box, touching nothing.
refused() {
    local what=$1 before
    before=$(folder_state)
    rm -f "$WORK/zenity.log"
    start_launcher
    answer_box Launcher Return
    wait_exit 60
    [ "$EXIT_CODE" = 1 ] || fail "$what: exit code $EXIT_CODE, expected 1"
    [ "$(shown_boxes | wc -l)" = 1 ] && shown_boxes | grep -q "The launcher server's answer could not be verified" \
        || fail "$what: not the one box of an unverified document: $(shown_boxes)"
    grep -q "The server's document was refused: " "$WORK/launcher.out" || fail "$what: no reason in the output"
    [ -z "$(xdotool search --name '^Varnhold Launcher$' 2>/dev/null || true)" ] || fail "$what: a window was created"
    [ "$(folder_state)" = "$before" ] || fail "$what: the game folder changed: $(diff <(echo "$before") <(folder_state))"
    note "refused, $what: $(grep -o "refused: .*" "$WORK/launcher.out" | tr -d '\r')"
}

check_signed_documents() {
    command -v minisign >/dev/null && [ -r "$KEYS/current.sec" ] || { echo "no minisign or no test keys"; exit 77; }
    [ -e "$LAUNCHER" ] || fail "no launcher with the tests' keys at $LAUNCHER"
    record_dialogs
    make_served Data/common.MPQ 64
    make_served Data/patch-V.MPQ 32
    start_server "$WORK/document.json"
    local common patch
    common=$(md5_of "$WORK/files/Data/common.MPQ")
    patch=$(md5_of "$WORK/files/Data/patch-V.MPQ")
    write_document "$WORK/document.json" "{
      \"lang\": \"en\", \"execute\": \"$EXECUTE\",
      \"files\": [
        {\"URL\": \"${FILES_URL}Data/common.MPQ\", \"checksum\": \"$common\", \"location\": \"Data\\\\common.MPQ\",
         \"sha256\": \"$(sha256sum "$WORK/files/Data/common.MPQ" | cut -d' ' -f1)\", \"required\": 1},
        {\"URL\": \"${FILES_URL}Data/patch-V.MPQ\", \"checksum\": \"$patch\", \"location\": \"Data\\\\patch-V.MPQ\",
         \"required\": 0}]}"
    sign 5 2099-01-01T00:00:00Z
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "no launcher window for a signed document"
    wait_output "Status: Ready to Play" 60
    grep -q "The server's document is signed by key .*, serial 5" "$WORK/launcher.out" || fail "not verified"
    grep -q "SHA-256 Valid !" "$WORK/launcher.out" || fail "the listed SHA-256 was not checked"
    for f in Data/common.MPQ Data/patch-V.MPQ; do
        cmp -s "$GAME/$f" "$WORK/files/$f" || fail "$f did not arrive"
    done
    click 400 535
    wait_exit 30
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after Play on a signed document, expected 0"
    game_started || fail "the game was not started"
    note "signed document played through: files with their SHA-256, game started, exit 0"

    mv "$WORK/document.json.minisig" "$WORK/unsigned.minisig"
    refused "no signature"
    sign 6 2099-01-01T00:00:00Z
    sed -i "s/\"execute\": \"$EXECUTE\"/\"execute\": \"evil.exe\"/" "$WORK/document.json"
    refused "a changed body"
    sed -i "s/\"execute\": \"evil.exe\"/\"execute\": \"$EXECUTE\"/" "$WORK/document.json"
    sign 6 2099-01-01T00:00:00Z
    sed -i "s/serial=6 /serial=9999 /" "$WORK/document.json.minisig"
    refused "a changed trusted comment"
    sign 6 2099-01-01T00:00:00Z stranger
    refused "a stranger's key"
    sign 6 2001-01-01T00:00:00Z
    refused "expired"
    sign 4 2099-01-01T00:00:00Z
    refused "replayed, serial 4 after 5"
}
