# The window on a scaled display, for either build: its size, its artwork drawn from the double-size set without
# blurring, and a click on Play at its scaled place. Sourced after lib.sh (or the Wine one) with an X server of at
# least 1600 x 1200 and the stand-ins started; the display's scale is set by the scenario.

# The reference pictures: the background with Play on it, from the double-size artwork and from the ordinary one,
# each brought to the window's size. A window drawn from the first is sharp; one enlarged as a bitmap looks like
# the second.
scaled_references() {
    local width=$1 height=$2 art="$SRC/assets"
    convert "$art/2x/en/00-background.jpg" "$art/2x/en/19-play.png" -geometry +472+960 -composite \
        -filter Triangle -resize "${width}x${height}!" "$WORK/from-double.png"
    convert "$art/en/00-background.jpg" "$art/en/19-play.png" -geometry +236+480 -composite \
        -filter Triangle -resize "${width}x${height}!" "$WORK/from-single.png"
}

# check_scaled_window PERCENT EXECUTE: the launcher on a display of PERCENT scale; EXECUTE is the game it starts,
# which leaves $WORK/game-started.
check_scaled_window() {
    local percent=$1 execute=$2
    local width=$((800 * percent / 100)) height=$((600 * percent / 100))
    rm -f "$WORK/game-started"
    start_server "$WORK/document.json"
    write_document "$WORK/document.json" "{\"lang\": \"en\", \"execute\": \"$execute\", \"announce\": \"Welcome\"}"
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" "${BOX_WAIT:-15}") || fail "no launcher window"
    wait_output "Status: Ready to Play" 60
    local size
    size=$(xwininfo -id "$WINDOW" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    [ "$size" = "${width}x${height}" ] || fail "at $percent %: the window is $size, expected ${width}x${height}"

    # The band of Play and the background left of it holds no text; the pointer waits above it. On a loaded machine
    # the first frames at this size can take a while: the band is looked at again until it is drawn, or time is up.
    xdotool mousemove --window "$WINDOW" $((width / 2)) $((height / 10))
    scaled_references "$width" "$height"
    local top=$((478 * percent / 100)) band_width=$((564 * percent / 100)) band_height=$((120 * percent / 100))
    local sharp blurred off=0 deadline=$((SECONDS + 20))
    while :; do
        sleep 0.5
        screenshot "$WORK/scaled-$percent.png"
        sharp=$(mean_error "$WORK/scaled-$percent.png" "$WORK/from-double.png" 0 "$top" "$band_width" "$band_height")
        blurred=$(mean_error "$WORK/scaled-$percent.png" "$WORK/from-single.png" 0 "$top" "$band_width" "$band_height")
        if [ "$percent" = 200 ]; then
            off=$(differing_pixels "$WORK/scaled-$percent.png" "$WORK/from-double.png" 0 "$top" "$band_width" \
                "$band_height" 3)
        fi
        awk -v a="$sharp" -v b="$blurred" 'BEGIN { exit !(a * 2 < b) }' && [ "$off" -le 100 ] && break
        [ $SECONDS -lt $deadline ] || break
    done
    note "$percent %: mean difference $sharp from the double-size artwork, $blurred from the enlarged ordinary one"
    awk -v a="$sharp" -v b="$blurred" 'BEGIN { exit !(a * 2 < b) }' \
        || fail "at $percent %: the artwork is not drawn from the double-size set ($sharp against $blurred)"
    [ "$off" -le 100 ] || fail "at 200 %: $off pixels differ from the double-size artwork"

    # Play at its scaled place: everything is in, so the game starts and the launcher closes.
    click $((400 * percent / 100)) $((535 * percent / 100))
    wait_exit 30
    [ "$EXIT_CODE" = 0 ] || fail "at $percent %: exit code $EXIT_CODE after Play"
    # A game started without waiting may write its record a moment after the launcher has gone.
    for _ in $(seq 100); do [ -e "$WORK/game-started" ] && break; sleep 0.1; done
    [ -e "$WORK/game-started" ] || fail "at $percent %: a click on Play's scaled place did not start the game"
}
