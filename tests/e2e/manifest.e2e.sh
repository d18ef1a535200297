#!/usr/bin/env bash
# An admin's way from a folder of game files to a working server: varnhold-manifest writes "files" into the
# document, the bundled server serves both, and the launcher fills an empty game folder from it.
source "$(dirname "$0")/lib.sh"
MANIFEST="$BUILD/tools/manifest/varnhold-manifest"
start_x
install_standins
printf 'client\n' >"$GAME/Wow.exe"
make_served "Data/common.MPQ" 256
make_served "Data/enUS/locale enUS.MPQ" 128
make_served "Interface/AddOns/Extra/Extra.toc" 4
make_served "Data/expansion.MPQ" 64
make_served "Logs/server.log" 1

start_server "$WORK/document.json"
write_document "$WORK/document.json" '{"lang": "en", "realms": [["Frostwind", 1]], "announce": "Hello"}'
"$MANIFEST" --quiet --required 'Data/*.MPQ' --required 'Data/enUS/**' --game-data 'Data/expansion.MPQ' \
    --exclude '**/*.log' --document "$WORK/document.json" "$WORK/files" "$FILES_URL" \
    || fail "varnhold-manifest failed"
grep -q '"announce"' "$WORK/document.json" || fail "the merge lost the other keys"

start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no launcher window"
wait_output "Status: Ready to Play" 30
for f in "Data/common.MPQ" "Data/enUS/locale enUS.MPQ" "Interface/AddOns/Extra/Extra.toc"; do
    cmp -s "$GAME/$f" "$WORK/files/$f" || fail "'$f' did not arrive"
done
[ ! -e "$GAME/Data/expansion.MPQ" ] || fail "game data must wait for the full download"
[ ! -e "$GAME/Logs/server.log" ] || fail "an excluded file was listed"
# The required files came first: Play was allowed only after both MPQs.
required_done=$(grep -n "locale%20enUS.MPQ\|common.MPQ" "$WORK/launcher.out" | tail -n1 | cut -d: -f1)
additional=$(grep -n "Status: Download - Additional" "$WORK/launcher.out" | head -n1 | cut -d: -f1)
[ -n "$additional" ] && [ "$required_done" -lt "$additional" ] || fail "required files must come before Play is allowed"
click 770 30
wait_exit 5
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE"
note "manifest: the document it wrote brought an empty game folder into line"
