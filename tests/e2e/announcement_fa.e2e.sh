#!/usr/bin/env bash
# A Persian-script announcement with "lang" "fa" is drawn by the text rasteriser: shaped, right-aligned lines.
source "$(dirname "$0")/lib.sh"
start_x
install_standins
make_game

# "Welcome to Varnhold, brave warriors!" then a short second line; the second must end where the first ends.
announce='\u0628\u0647 \u0648\u0627\u0631\u0646\u0647\u0648\u0644\u062f \u062e\u0648\u0634 \u0622\u0645\u062f\u06cc\u062f \u062c\u0646\u06af\u062c\u0648\u06cc\u0627\u0646 \u062f\u0644\u06cc\u0631!\n\u0633\u0644\u0627\u0645'
start_server "$WORK/document.json"

# run_with ANNOUNCE SHOT: one launcher run, a screenshot with the mouse away, then the close spot.
run_with() {
    write_document "$WORK/document.json" "{\"lang\": \"fa\", \"announce\": \"$1\", \"realms\": [[\"Frostwind\", 1]]}"
    : >"$WORK/launcher.out"
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" 15) || fail "no launcher window"
    wait_output "Status: Amade Bazi" 15
    xdotool mousemove 1270 1010
    sleep 0.5
    screenshot "$2"
    click 770 30
    wait_exit 5
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE"
}
run_with "$announce" "$WORK/with.png"
run_with "" "$WORK/without.png"

# The announcement's ink: what it adds to the picture, from (0, 55) down, as a black and white mask.
convert "$WORK/with.png" "$WORK/without.png" -compose difference -composite -crop 560x110+0+55 +repage \
    -colorspace gray -threshold 12% "$WORK/ink.png"
# Its text lines: runs of rows holding ink, as "FIRST LAST" row numbers.
lines=$(convert "$WORK/ink.png" -scale 1x110! -format "%[fx:p{0,0}.r]" txt:- | awk -F'[,:() ]+' 'NR > 1 {
        ink = ($0 !~ /#000000/); row = $2
        if (ink && !inside) { start = row; inside = 1 }
        if (!ink && inside) { print start, row - 1; inside = 0 }
    } END { if (inside) print start, 109 }')
[ "$(echo "$lines" | wc -l)" = 2 ] || fail "expected two lines of ink, found rows: $lines"
# ink FIRST LAST: the bounding box "W H X Y" of the ink between two rows.
ink() { convert "$WORK/ink.png" -crop "560x$(($2 - $1 + 1))+0+$1" +repage -format "%@" info: | sed 's/[x+]/ /g'; }
read -r w1 h1 x1 y1 <<<"$(ink $(echo "$lines" | sed -n 1p))"
read -r w2 h2 x2 y2 <<<"$(ink $(echo "$lines" | sed -n 2p))"
[ "${w1:-0}" -gt 100 ] || fail "the first line has no ink: $w1x$h1+$x1+$y1"
[ "${w2:-0}" -gt 10 ] || fail "the second line has no ink: $w2x$h2+$x2+$y2"
right1=$((x1 + w1)) right2=$((x2 + w2))
[ $((right1 - right2)) -le 4 ] && [ $((right2 - right1)) -le 4 ] \
    || fail "lines are not right-aligned: first ends at $right1, second at $right2"
[ "$x2" -gt $((x1 + 40)) ] || fail "the short line should start well right of the long one: $x2 vs $x1"
[ "$x1" -ge 18 ] && [ "$x1" -le 30 ] || fail "the announcement should start at x=20, its ink starts at $x1"
[ "$(bright_pixels "$WORK/with.png" 20 180 150 18)" -gt 30 ] || fail "the realm line is missing"
note "Persian announcement: lines right-aligned (ends $right1 and $right2), long line from x=$x1"
