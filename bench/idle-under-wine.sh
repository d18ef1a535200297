#!/usr/bin/env bash
# The window's idle CPU under wine64: the Windows build's launcher, ready to play, in a private X server, against
# the Linux build's launcher in the same X server and the same run. CPU is counted for the launcher's process and
# the prefix's wineserver, whose work a Windows program's messages cause.
#   bench/idle-under-wine.sh [SECONDS]     (10 s measured per launcher unless given)
# Needs scripts/build-windows, and the Linux build in build/ (or VARNHOLD_NATIVE_BUILD).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${VARNHOLD_WINDOWS_BUILD:-$root/build-windows} SRC=$root
NATIVE_BUILD=${VARNHOLD_NATIVE_BUILD:-$root/build}
seconds=${1:-10}
[ -f "$BUILD/app/varnhold-launcher.exe" ] || { echo "no Windows build in $BUILD: run scripts/build-windows" >&2; exit 1; }
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
export NATIVE_BUILD WINE64 WINEPREFIX=$BUILD/wineprefix-bench WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export WINEPATH="Z:$BUILD/sources/sfml/extlibs/bin/x64"
# The prefix first: winelib.sh then ends its wineserver, which knows no display.
"$WINE64" wineboot --init >/dev/null 2>&1
source "$root/tests/e2e/wine/winelib.sh"

# ticks PID...: user and system clock ticks used so far by these processes.
ticks() {
    local total=0 pid
    for pid in "$@"; do
        [ -r "/proc/$pid/stat" ] || continue
        total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
    done
    echo $total
}

# idle_percent NAME: the running launcher's CPU share while the window idles, wineserver included under Wine.
idle_percent() {
    WINDOW=$(wait_window "Varnhold Launcher" 60) || fail "no launcher window"
    wait_output "Status: Ready to Play" 60
    xdotool mousemove 1270 1010
    sleep 3 # past the first frames and the music worker's start
    local servers=()
    if [ "$1" = wine ]; then
        # This prefix's wineserver only: other Wine programs may run on the machine.
        local pid
        for pid in $(pgrep 'wineserver' || true); do
            tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && servers+=("$pid")
        done
    fi
    local own_before server_before own_after server_after hz
    hz=$(getconf CLK_TCK)
    own_before=$(ticks "$LAUNCHER_PID")
    server_before=$(ticks "${servers[@]}")
    sleep "$seconds"
    own_after=$(ticks "$LAUNCHER_PID")
    server_after=$(ticks "${servers[@]}")
    click 770 30
    wait_exit 30
    # "total own" in per cent of one core.
    awk -v o=$((own_after - own_before)) -v w=$((server_after - server_before)) -v hz="$hz" -v s="$seconds" \
        'BEGIN { printf "%.2f %.2f\n", 100 * (o + w) / hz / s, 100 * o / hz / s }'
}

start_x
install_standins
make_game
write_document "$WORK/document.json" '{"lang": "en", "announce": "Idle.", "realms": [["Frostwind", 1]]}'
start_server "$WORK/document.json"
start_launcher
idle_percent wine >"$WORK/wine.share" # not in a subshell: only this shell can wait for the launcher
read -r wine_share wine_own <"$WORK/wine.share"
LAUNCH_WITH=()
LAUNCHER="$NATIVE_BUILD/app/varnhold-launcher"
start_launcher
idle_percent linux >"$WORK/linux.share"
read -r linux_share _ <"$WORK/linux.share"
echo "idle window, ${seconds} s each, one core = 100 %"
echo "Windows build under wine64: ${wine_share} % (the launcher's process ${wine_own} %, the rest wineserver)"
echo "Linux build:                ${linux_share} %"
awk -v w="$wine_share" -v l="$linux_share" 'BEGIN { if (l > 0) printf "ratio: %.2fx\n", w / l }'
