#!/usr/bin/env bash
# The screenshots that the Windows build's are compared with: English, and Finglish with a Persian announcement;
# and the comparison itself, which allows differences in the text areas only.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/screens.sh"
start_x
install_standins
take_screens "$WORK/screens"
for shot in en fa; do
    [ "$(identify -format '%wx%h' "$WORK/screens/$shot.png")" = 800x600 ] || fail "$shot.png is not the 800x600 window"
done

compare="$SRC/scripts/compare-screens"
# Text drawn differently in the panel only: the same layout.
convert "$WORK/screens/fa.png" -fill white -draw "rectangle 300,80 540,100" "$WORK/panel-only.png"
"$compare" "$WORK/screens/fa.png" "$WORK/panel-only.png" >"$WORK/compare.out" || fail "$(cat "$WORK/compare.out")"
grep -q "^compare-screens: [1-9][0-9]* pixels differ in the text areas, 0 outside them" "$WORK/compare.out" \
    || fail "the panel's difference was not counted: $(cat "$WORK/compare.out")"
# Anything else is a different layout: the other language's artwork, or one button moved down half a row.
"$compare" "$WORK/screens/en.png" "$WORK/screens/fa.png" "$WORK/diff.png" >"$WORK/compare.out" \
    && fail "the two languages' windows passed as one layout: $(cat "$WORK/compare.out")"
convert "$WORK/screens/fa.png" -region 170x40+578+10 -roll +0+10 "$WORK/moved.png"
"$compare" "$WORK/screens/fa.png" "$WORK/moved.png" >"$WORK/compare.out" \
    && fail "a moved button passed: $(cat "$WORK/compare.out")"
[ -s "$WORK/diff.png" ] || fail "no picture of the differences"
note "screenshots en.png and fa.png; compare-screens allows differences in the text areas only"
