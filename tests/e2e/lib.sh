# Shared steps of the end-to-end tests: a private X server, the bundled launcher server, the real launcher binary,
# and xdotool to answer its boxes and click its window as a player would.
# Sourced by each scenario; BUILD (the build tree) and SRC (the source tree) come from CTest.

set -euo pipefail

: "${BUILD:?the build tree}"
: "${SRC:?the source tree}"
# The Windows build's scenarios name the .exe and the native server of the Linux build instead.
LAUNCHER=${LAUNCHER:-"$BUILD/app/varnhold-launcher"}
SERVER=${SERVER:-"$BUILD/tools/server/varnhold-server"}

WORK=$(mktemp -d /tmp/varnhold-e2e-XXXXXX)
GAME="$WORK/game"
STANDINS="$WORK/bin"
mkdir -p "$GAME" "$STANDINS" "$WORK/files"
# The launchers' run logs go into the scenario's folder, not the tester's own.
export XDG_STATE_HOME="$WORK/state"
# The launcher keeps its verification records in the user's cache folder: the scenario's own, not the runner's.
export XDG_CACHE_HOME="$WORK/cache-home"
PIDS=()
AT_EXIT=() # commands a scenario needs run at its end, whatever the end: put back what it changed outside $WORK

cleanup() {
    local rc=$?
    for step in "${AT_EXIT[@]}"; do eval "$step" || true; done
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ $rc -ne 0 ]; then
        echo "---- launcher output"; cat "$WORK/launcher.out" 2>/dev/null | tail -n 40 || true
        echo "---- server output"; tail -n 20 "$WORK/server.out" 2>/dev/null || true
    fi
    # E2E_KEEP=DIR keeps the scenario's files (screenshots, logs) for a look afterwards.
    [ -n "${E2E_KEEP:-}" ] && rm -rf "$E2E_KEEP" && cp -r "$WORK" "$E2E_KEEP"
    rm -rf "$WORK"
    exit $rc
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

# start_x [SCREEN]: a private X server of SCREEN (1280x1024x24); -displayfd picks a free display number;
# -noreset keeps it from resetting when the last box closes, which a launcher opening its window at that moment
# would not survive.
start_x() {
    local fifo="$WORK/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset 3>"$fifo" 2>"$WORK/xvfb.err" &
    PIDS+=($!)
    local number
    read -r -t 20 number <"$fifo" || fail "Xvfb did not start"
    export DISPLAY=":$number"
    export VARNHOLD_DIALOG=zenity
}

# start_busy [N]: N processes (E2E_BUSY, else 2) spinning beside the scenario for as long as it runs, as a player's
# busy machine has them: the launcher's frames come late, and a click must still act where it was made. They end
# with the scenario, by their ids.
start_busy() {
    local count=${1:-${E2E_BUSY:-2}}
    for _ in $(seq "$count"); do
        sh -c 'while :; do :; done' &
        PIDS+=($!)
    done
}

# start_window_manager: openbox on the scenario's X server, for what only a window manager does (minimising).
start_window_manager() {
    command -v openbox >/dev/null || fail "openbox is not installed"
    openbox --sm-disable >"$WORK/openbox.out" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
        sleep 0.05
    done
    fail "openbox did not start"
}

# Stand-in openers first on PATH: they record what they were asked to open.
install_standins() {
    for tool in xdg-open wine; do
        cat >"$STANDINS/$tool" <<STANDIN
#!/bin/sh
printf '%s\n' "\$*" >>"$WORK/$tool.log"
STANDIN
        chmod +x "$STANDINS/$tool"
    done
    export PATH="$STANDINS:$PATH"
}

# start_server DOCUMENT [KIBPS]: the bundled launcher server on a free port serving $WORK/files, the file bodies
# slowed to KIBPS when given; sets SERVER_URL and FILES_URL.
start_server() {
    local document=$1 rate=${2:-0}
    mkdir -p "$WORK/files"
    "$SERVER" --port 0 --document "$document" --files "$WORK/files" --rate "$rate" >"$WORK/server.out" 2>&1 &
    PIDS+=($!)
    local port=""
    for _ in $(seq 100); do
        port=$(grep -o -m1 'http://127\.0\.0\.1:[0-9]*' "$WORK/server.out" 2>/dev/null | sed 's/.*://' || true)
        [ -n "$port" ] && break
        sleep 0.05
    done
    [ -n "$port" ] || fail "the launcher server did not start"
    SERVER_URL="http://127.0.0.1:$port/"
    FILES_URL="${SERVER_URL}files/"
}

# The launcher in the game folder, talking to SERVER_URL (or to $1 when given); sets LAUNCHER_PID. LAUNCH_WITH is
# the command that runs it (the Windows build's .exe runs under Wine), empty for a Linux program.
LAUNCH_WITH=()
start_launcher() {
    local url=${1:-$SERVER_URL}
    (cd "$GAME" && ALSOFT_DRIVERS=null VARNHOLD_SERVER_URL="$url" exec "${LAUNCH_WITH[@]}" "$LAUNCHER") \
        >"$WORK/launcher.out" 2>&1 &
    LAUNCHER_PID=$!
    PIDS+=($LAUNCHER_PID)
}

# wait_window TITLE [SECONDS]: prints the id of the first visible window with exactly that title.
wait_window() {
    local title=$1 seconds=${2:-15} id=""
    local deadline=$((SECONDS + seconds))
    while [ $SECONDS -lt $deadline ]; do
        id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# window_gone ID: true when the window no longer exists.
window_gone() { ! xwininfo -id "$1" >/dev/null 2>&1; }

# answer_box TITLE KEY: finds the box, focuses it and presses KEY (Return = OK/Yes, Escape = No).
answer_box() {
    local title=$1 key=$2 id
    id=$(wait_window "$title" "${BOX_WAIT:-20}") || fail "no box titled '$title'"
    # Without a window manager keys reach the box only once it has the focus; then they go through XTEST. A box
    # that is mapped but not yet listening (a loaded machine) misses the key: press again while it is still there.
    local deadline=$((SECONDS + 15))
    while ! window_gone "$id"; do
        [ $SECONDS -lt $deadline ] || fail "box '$title' did not close on $key"
        xdotool windowfocus --sync "$id" 2>/dev/null || true
        sleep 0.2
        window_gone "$id" && break
        xdotool key "$key"
        for _ in $(seq 30); do window_gone "$id" && break; sleep 0.1; done
    done
}

# wait_exit [SECONDS]: waits for the launcher and sets EXIT_CODE. Not in a subshell: only this shell can reap it.
wait_exit() {
    local seconds=${1:-20} deadline=$((SECONDS + ${1:-20}))
    while kill -0 "$LAUNCHER_PID" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "the launcher did not exit within ${seconds}s"
        sleep 0.05
    done
    EXIT_CODE=0
    wait "$LAUNCHER_PID" || EXIT_CODE=$?
}

# The zenity boxes' texts, in the order they were asked (the stand-in zenity records its arguments).
record_dialogs() {
    local real
    real=$(PATH="${PATH#"$STANDINS:"}" command -v zenity) || fail "zenity is not installed"
    cat >"$STANDINS/zenity" <<STANDIN
#!/bin/sh
printf '%s\n' "\$*" >>"$WORK/zenity.log"
exec "$real" "\$@"
STANDIN
    chmod +x "$STANDINS/zenity"
}

# click X Y [WINDOW]: a player's click at window coordinates: press, a short pause, release.
click() {
    local x=$1 y=$2 id=${3:-$WINDOW}
    # Without a window manager nothing gives the window back its focus after a box closed; a player's click would.
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool mousemove --window "$id" "$x" "$y"
    sleep 0.15
    xdotool mousedown 1
    sleep 0.15
    xdotool mouseup 1
    sleep 0.15
}

# write_play_document EXECUTE [EXTRA]: the play-through's document: the realm list for two locations, one removal,
# a required file, and two optional ones, one of them shared by two locations. EXTRA (a key and value with a
# trailing comma) goes in front of the files. The files are those make_served put under Data/.
write_play_document() {
    write_document "$WORK/document.json" "{
  \"lang\": \"en\", \"execute\": \"$1\",
  \"realmlist_locations\": [\"Data\\\\deDE\\\\\", \"Data\\\\enUS\\\\\"],
  \"realmlist\": \"set realmlist logon.varnhold.example\",
  \"removes\": [\"Data\\\\patch-old.MPQ\"], ${2:-}
  \"files\": [
    {\"URL\": \"${FILES_URL}Data/patch-V.MPQ\", \"checksum\": \"$(md5_of "$WORK/files/Data/patch-V.MPQ")\", \"location\": \"Data\\\\patch-V.MPQ\", \"required\": 0},
    {\"URL\": \"${FILES_URL}Data/common.MPQ\", \"checksum\": \"$(md5_of "$WORK/files/Data/common.MPQ")\", \"location\": \"Data\\\\common.MPQ\", \"required\": 1},
    {\"URL\": \"${FILES_URL}Data/shared.MPQ\", \"checksum\": \"$(md5_of "$WORK/files/Data/shared.MPQ")\", \"location\": [\"Data\\\\enUS\\\\shared.MPQ\", \"Data\\\\enGB\\\\shared.MPQ\"], \"required\": 0}
  ]}"
}

# close_window [SECONDS]: the close spot, clicked again while the launcher and its window stay: Wine on a loaded
# machine can lose a click on a window it has only just given the focus. A window that is gone is not clicked again:
# the launcher is on its way out, and on a busy machine Wine may take seconds over it. Then waits for the exit, as
# wait_exit does.
close_window() {
    local deadline=$((SECONDS + ${1:-30})) next
    click 770 30
    while kill -0 "$LAUNCHER_PID" 2>/dev/null && [ $SECONDS -lt "$deadline" ]; do
        next=$((SECONDS + 5))
        while kill -0 "$LAUNCHER_PID" 2>/dev/null && [ $SECONDS -lt $next ]; do sleep 0.05; done
        if kill -0 "$LAUNCHER_PID" 2>/dev/null && [ $SECONDS -lt "$deadline" ] && ! window_gone "$WINDOW"; then
            click 770 30 || true # the window may go between the look and the click
        fi
    done
    kill -0 "$LAUNCHER_PID" 2>/dev/null && fail "the launcher did not close within ${1:-30}s of clicks on its close spot"
    wait_exit 1
}

# screenshot FILE [WINDOW]
screenshot() { import -window "${2:-$WINDOW}" "$1"; }

# pixel FILE X Y: prints "R G B" of one pixel.
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# crop FILE X Y W H OUT: the rectangle of a screenshot as an image of its own.
crop() { convert "$1" -crop "$4x$5+$2+$3" +repage "$6"; }

# differing_pixels A B X Y W H [FUZZ]: how many pixels of the rectangle differ between two images by more than FUZZ
# (a percentage, 0 unless given). ImageMagick reads no /dev/fd paths here, so the crops go through files.
differing_pixels() {
    crop "$1" "$3" "$4" "$5" "$6" "$WORK/.crop-a.png"
    crop "$2" "$3" "$4" "$5" "$6" "$WORK/.crop-b.png"
    local count
    count=$(compare -metric AE -fuzz "${7:-0}%" "$WORK/.crop-a.png" "$WORK/.crop-b.png" null: 2>&1 || true)
    echo "${count%%.*}"
}

# region_differs A B X Y W H: true when the two screenshots differ inside the rectangle.
region_differs() { [ "$(differing_pixels "$@")" != 0 ]; }

# mean_error A B X Y W H: the mean difference of the rectangle's pixels, 0 to 1.
mean_error() {
    crop "$1" "$3" "$4" "$5" "$6" "$WORK/.crop-a.png"
    crop "$2" "$3" "$4" "$5" "$6" "$WORK/.crop-b.png"
    compare -metric MAE "$WORK/.crop-a.png" "$WORK/.crop-b.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true
}

# write_document FILE JSON
write_document() { printf '%s' "$2" >"$1"; }

md5_of() { md5sum "$1" | cut -d' ' -f1; }

# wait_output PATTERN [SECONDS]: waits until the launcher's output has a line matching PATTERN.
wait_output() {
    local pattern=$1 seconds=${2:-30} deadline=$((SECONDS + ${2:-30}))
    until grep -q -- "$pattern" "$WORK/launcher.out" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "no '$pattern' in the launcher's output within ${seconds}s"
        kill -0 "$LAUNCHER_PID" 2>/dev/null || fail "the launcher ended while waiting for '$pattern'"
        sleep 0.1
    done
}

# mean_colour FILE X Y W H: prints the mean "R G B" (0-255) of a rectangle.
mean_colour() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -resize 1x1! -format "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]" info:
}

# bright_pixels FILE X Y W H: how many pixels of the rectangle are near white (the launcher's texts).
bright_pixels() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace gray -threshold 85% -format "%[fx:int(mean*w*h)]" info:
}

# window_position ID: prints "X Y" of the window on the screen.
window_position() {
    xdotool getwindowgeometry "$1" | awk '/Position/ { split($2, p, ","); print p[1], p[2] }'
}

# A game folder as a player has it, and the server's files for a small sync: a required file and an optional one.
make_game() {
    printf 'client\n' >"$GAME/Wow.exe"
    mkdir -p "$GAME/Data/enUS" "$GAME/cache/WDB/enUS"
    printf 'stale\n' >"$GAME/cache/WDB/enUS/creaturecache.wdb"
    printf 'old patch\n' >"$GAME/Data/patch-old.MPQ"
    printf 'other\n' >"$GAME/keep.txt"
    cat >"$GAME/start-game" <<GAMESCRIPT
#!/bin/sh
pwd >"$WORK/game-started"
GAMESCRIPT
    chmod +x "$GAME/start-game"
}

# plant_program NAME: a program in the game folder, as a download or an unpacked archive could put there, that
# creates $WORK/planted-ran when it runs.
plant_program() {
    printf '#!/bin/sh\ntouch "%s/planted-ran"\n' "$WORK" >"$GAME/$1"
    chmod +x "$GAME/$1"
}

# make_served NAME KIB: a file of random bytes among the server's files.
make_served() {
    mkdir -p "$(dirname "$WORK/files/$1")"
    head -c "$(($2 * 1024))" /dev/urandom >"$WORK/files/$1"
}
