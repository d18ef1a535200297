# Minimising the window, for either build: the minimise spot (and, where given, the window manager's own request,
# as a taskbar button sends it) takes the window out of sight, the downloads go on, and the window comes back
# showing where they got to. Sourced after lib.sh (or the Wine one) with the X server, a window manager and the
# stand-ins started.

map_state() { xwininfo -id "$1" 2>/dev/null | awk '/Map State:/ { print $3 }'; }

# wait_map_state ID STATE [SECONDS]
wait_map_state() {
    local deadline=$((SECONDS + ${3:-15}))
    until [ "$(map_state "$1")" = "$2" ]; do
        [ $SECONDS -lt $deadline ] || fail "window $1 is $(map_state "$1"), expected $2"
        sleep 0.1
    done
}

# restore ID: what a click on the taskbar button does.
restore() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowmap --sync "$1"; }

# check_minimise [SPOT_ONLY]: the minimise spot, then (unless SPOT_ONLY) the window manager's iconify request.
check_minimise() {
    make_game
    make_served Data/big.MPQ 1536 # six seconds at the rate below: the download outlasts the time minimised
    start_server "$WORK/document.json" 256
    write_document "$WORK/document.json" "{\"lang\": \"en\", \"execute\": \"start-game\", \"files\": [
      {\"URL\": \"${FILES_URL}Data/big.MPQ\", \"checksum\": \"$(md5_of "$WORK/files/Data/big.MPQ")\",
       \"location\": \"Data\\\\big.MPQ\", \"required\": 1}]}"
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" "${BOX_WAIT:-15}") || fail "no launcher window"
    wait_output "Status: Download - Requirements" 30
    wait_map_state "$WINDOW" IsViewable
    screenshot "$WORK/before.png"
    [ -n "${WINE64:-}" ] || xprop -id "$WINDOW" _MOTIF_WM_HINTS | grep -q "= 0x3, 0x2c, 0x0" \
        || fail "the window does not tell the window manager it may be minimised: $(xprop -id "$WINDOW" _MOTIF_WM_HINTS)"

    click 770 112
    wait_map_state "$WINDOW" IsUnMapped
    # The downloads go on out of sight.
    wait_output "Status: Ready to Play" 60
    [ "$(md5_of "$GAME/Data/big.MPQ")" = "$(md5_of "$WORK/files/Data/big.MPQ")" ] || fail "the download is not whole"
    restore "$WINDOW"
    wait_map_state "$WINDOW" IsViewable
    sleep 0.5
    screenshot "$WORK/after.png"
    # Drawn again once back: Play is available now, and the status line says so.
    read -r r g b <<<"$(mean_colour "$WORK/before.png" 300 500 200 60)"
    read -r r2 g2 b2 <<<"$(mean_colour "$WORK/after.png" 300 500 200 60)"
    [ "$r $g $b" != "$r2 $g2 $b2" ] || fail "the window came back showing the picture from before it was minimised"

    if [ -z "${1:-}" ]; then
        # The taskbar's request goes through the window manager, not the launcher.
        xdotool windowminimize --sync "$WINDOW"
        wait_map_state "$WINDOW" IsUnMapped
        restore "$WINDOW"
        wait_map_state "$WINDOW" IsViewable
    fi
    close_window 15
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE after the close spot"
}
