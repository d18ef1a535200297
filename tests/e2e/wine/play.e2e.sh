#!/usr/bin/env bash
# Under Wine, a new player's run with the release archive unzipped into the game folder: Play too early gives the
# wait box, every file arrives at its checksum, and Play when all is done prepares the folder, starts the game (a
# Windows stand-in) in the game folder and exits with 0.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins
make_game
cp "$GAME_STANDIN" "$GAME/Wow.exe"
# The archive alone must be enough: no library path of the build tree.
archive=$(ls "$BUILD"/dist/varnhold-launcher-*-windows-x64.zip 2>/dev/null | head -n1)
[ -n "$archive" ] && [ "$archive" -nt "$LAUNCHER" ] || fail "no release archive newer than the build: run scripts/build-windows"
unzip -q "$archive" -d "$GAME"
LAUNCHER="$GAME/varnhold-launcher.exe"
unset WINEPATH
export VARNHOLD_GAME_RECORD="Z:${WORK//\//\\}\\game-started"
make_served Data/common.MPQ 4096 # eight seconds at the rate below: time to ask for Play too early
make_served Data/patch-V.MPQ 256
make_served Data/shared.MPQ 64

start_server "$WORK/document.json" 512
write_play_document Wow.exe
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "no launcher window"
wait_output "Status: Download - Requirements" 30
# A click on a window Wine has only just mapped can be lost on a loaded machine: click again until the box shows.
for _ in 1 2 3; do
    click 400 535
    wait_window Launcher 10 >/dev/null && break
done
answer_box Launcher Return
box_texts | grep -qx "Please wait ..." || fail "no wait box: $(box_texts)"
grep -q "Status: Download - Additional\|Status: Ready to Play" "$WORK/launcher.out" \
    && fail "the required file should still have been downloading"
[ ! -e "$WORK/game-started" ] || fail "the game must not start before the required files"

wait_output "Status: Ready to Play" 60
for f in Data/common.MPQ Data/patch-V.MPQ; do
    [ "$(md5_of "$GAME/$f")" = "$(md5_of "$WORK/files/$f")" ] || fail "$f is not at its checksum"
done
cmp -s "$GAME/Data/enUS/shared.MPQ" "$WORK/files/Data/shared.MPQ" || fail "first location of a shared file"
cmp -s "$GAME/Data/enGB/shared.MPQ" "$WORK/files/Data/shared.MPQ" || fail "second location of a shared file"

click 400 535
wait_exit 30; rc=$EXIT_CODE
[ "$rc" = 0 ] || fail "exit code $rc after Play, expected 0"
realmlist="set realmlist logon.varnhold.example"
[ "$(cat "$GAME/Data/enUS/realmlist.wtf")" = "$realmlist" ] || fail "realmlist.wtf"
[ "$(stat -c %s "$GAME/Data/enUS/realmlist.wtf")" = ${#realmlist} ] || fail "realmlist.wtf must hold exactly the server's text"
[ ! -e "$GAME/cache" ] || fail "cache was not removed"
[ ! -e "$GAME/Data/patch-old.MPQ" ] || fail "the listed removal is still there"
[ -e "$GAME/keep.txt" ] || fail "an unlisted file was removed"
for _ in $(seq 100); do [ -s "$WORK/game-started" ] && break; sleep 0.1; done
[ "$(cat "$WORK/game-started" 2>/dev/null)" = "Z:${GAME//\//\\}" ] \
    || fail "the game was not started in the game folder: $(cat "$WORK/game-started" 2>/dev/null)"
note "play under Wine: wait box, files at their checksums, folder prepared, game started in its folder, exit 0"
