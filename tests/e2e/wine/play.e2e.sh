#!/usr/bin/env bash
# Under Wine, a new player's run with the release archive unzipped into the game folder: Play too early gives the
# wait box, every file and the music arrive at their checksums, and Play when all is done prepares the folder,
# starts the game (a Windows stand-in) in the game folder and exits with 0. The game folder and the player's user
# name are in Persian, so every path the launcher uses holds letters no ANSI code page has; the run log and the
# verification records land under that user's local application data, where a second start reads and adds to them.
source "$(dirname "$0")/winelib.sh"
start_x
install_standins
winpath() { local path=${1//\//\\}; echo "Z:$path"; }
GAME="$WORK/بازی"
LOCAL="$WORK/Users/علی/AppData/Local"
mkdir -p "$GAME" "$LOCAL"
make_game
# A link in the cache to the player's documents: the cache goes, what the link points to stays. Wine 8 makes no
# junctions; it shows a Linux link to a folder as a reparse point, as Windows shows a junction, but cannot remove
# one whose target holds files, so the cache keeps that link under Wine.
mkdir -p "$WORK/Documents"
printf 'mine\n' >"$WORK/Documents/thesis.odt"
ln -s "$WORK/Documents" "$GAME/cache/WDB/enUS/Documents"
cp "$GAME_STANDIN" "$GAME/Wow.exe"
# The archive alone must be enough: no library path of the build tree.
archive=$(ls "$BUILD"/dist/varnhold-launcher-*-windows-x64.zip 2>/dev/null | head -n1)
[ -n "$archive" ] && [ "$archive" -nt "$LAUNCHER" ] || fail "no release archive newer than the build: run scripts/build-windows"
unzip -q "$archive" -d "$GAME"
unset WINEPATH
export VARNHOLD_GAME_RECORD="$(winpath "$WORK")\\game-started"
# Wine sets LOCALAPPDATA itself for a program started from Linux, but a program started by another takes its
# environment: cmd sets it, then starts the launcher.
LAUNCHER=$(winpath "$GAME/varnhold-launcher.exe")
LAUNCH_WITH=(env WINEDEBUG=trace+msgbox "$WINE64" cmd /c "set LOCALAPPDATA=$(winpath "$LOCAL")&&")
make_served Data/common.MPQ 4096 # eight seconds at the rate below on one connection: time to ask for Play too early
make_served Data/patch-V.MPQ 256
make_served Data/shared.MPQ 64
sox -n -r 22050 -c 1 "$WORK/files/theme.wav" synth 3 sine 440 vol 0.3 2>/dev/null || fail "sox made no track"

start_server "$WORK/document.json" 512
write_play_document Wow.exe "\"connections\": 1, \"music\": {\"URL\": \"${FILES_URL}theme.wav\", \"location\": \"Sounds\\\\theme.wav\",
  \"checksum\": \"$(md5_of "$WORK/files/theme.wav")\"},"
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
wait_output "Music: playing" 30
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
[ -z "$(find "$GAME/cache" -type f 2>/dev/null)" ] || fail "cache was not removed: $(find "$GAME/cache" -type f)"
[ "$(cat "$WORK/Documents/thesis.odt")" = mine ] || fail "removing the cache reached through its link"
[ ! -e "$GAME/Data/patch-old.MPQ" ] || fail "the listed removal is still there"
[ -e "$GAME/keep.txt" ] || fail "an unlisted file was removed"
for _ in $(seq 100); do [ -s "$WORK/game-started" ] && break; sleep 0.1; done
[ "$(cat "$WORK/game-started" 2>/dev/null)" = "Z:${GAME//\//\\}" ] \
    || fail "the game was not started in the game folder: $(cat "$WORK/game-started" 2>/dev/null)"
ls "$LOCAL/Varnhold Launcher/"launcher-*.log >/dev/null 2>&1 || fail "no run log under the Persian user's folder"
grep -q "Status: Ready to Play" "$LOCAL/Varnhold Launcher/"launcher-*.log || fail "the run log lacks the run's lines"
ls "$LOCAL/varnhold-launcher/"verified-*.txt >/dev/null 2>&1 || fail "no verification records under the Persian user's folder"

# The second start reads the records the first left there (downloaded files have none: they were never read) and
# records the files it checks.
start_launcher
WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "no launcher window on the second start"
wait_output "Status: Ready to Play" 60
close_window 30
! grep -q "Verification cache not used" "$WORK/launcher.out" || fail "$(grep "Verification cache" "$WORK/launcher.out")"
grep -q "$(md5_of "$WORK/files/Data/common.MPQ")" "$LOCAL/varnhold-launcher/"verified-*.txt \
    || fail "the second start recorded no checked file"
note "play under Wine in a Persian game folder: wait box, files and music at their checksums, folder prepared, game started in its folder, exit 0; records and log in the Persian user's folder"
