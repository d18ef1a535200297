# The window as a player uses it, for either build: link buttons open their addresses (a bare "www." one as a web
# page, never as the same-named program beside the launcher), the music spot switches the music, a drag moves the
# window and a click in place does not, the texts stand where they belong, the close spot closes. Sourced after lib.sh
# (or the Wine one) with the X server and the stand-ins started: check_window_use runs the launcher on a game folder
# of its own and leaves it closed.

check_window_use() {
    make_game
    plant_program www.varnhold.com
    sox -n -r 22050 -c 1 "$WORK/files/theme.wav" synth 30 sine 440 vol 0.3 2>/dev/null || { mkdir -p "$WORK/files"; head -c 4096 /dev/urandom >"$WORK/files/theme.wav"; }

    start_server "$WORK/document.json"
    write_document "$WORK/document.json" "{
      \"lang\": \"en\", \"execute\": \"start-game\",
      \"announce\": \"Welcome to Varnhold!\\\\nDouble experience all weekend.\",
      \"realms\": [[\"Frostwind\", 1], [\"Emberfall\", 0], [\"Duskmire\", 1]],
      \"music\": {\"URL\": \"${FILES_URL}theme.wav\", \"location\": \"theme.wav\", \"checksum\": \"\"},
      \"links\": {\"website\": \"www.varnhold.com\", \"register\": \"https://varnhold.example/register\",
                 \"guide\": \"https://varnhold.example/guide\", \"recruit\": \"https://varnhold.example/recruit\",
                 \"unstuck\": \"https://varnhold.example/unstuck\", \"vote\": \"https://varnhold.example/vote\",
                 \"donate\": \"https://varnhold.example/donate\"},
      \"discord\": \"https://discord.example/varnhold\"}"
    start_launcher
    WINDOW=$(wait_window "Varnhold Launcher" "${BOX_WAIT:-15}") || fail "no launcher window"
    wait_output "Status: Ready to Play" 60
    wait_output "Music: playing" 60

    # The seven side buttons from the top, then discord at the left.
    keys=(website register guide recruit unstuck vote donate)
    for i in "${!keys[@]}"; do
        click 663 $((31 + 45 * i))
    done
    click 87 278
    expected=$(printf '%s\n' http://www.varnhold.com https://varnhold.example/register https://varnhold.example/guide \
        https://varnhold.example/recruit https://varnhold.example/unstuck https://varnhold.example/vote \
        https://varnhold.example/donate https://discord.example/varnhold)
    # Under Wine each link starts a program of its own (the browser bridge, then the opener): on a busy machine eight
    # of them take far longer than the clicks, and they may finish in any order. Each button opened its own address
    # once, whatever the order: a click that landed on a neighbour shows as one address twice and one missing.
    for _ in $(seq 300); do [ "$(wc -l <"$WORK/xdg-open.log" 2>/dev/null || echo 0)" -ge 8 ] && break; sleep 0.1; done
    # Wine's browser bridge puts a '/' after a bare host name.
    [ "$(sed 's#^http://www.varnhold.com/$#http://www.varnhold.com#' "$WORK/xdg-open.log" | sort)" = \
        "$(sort <<<"$expected")" ] || fail "links opened: $(cat "$WORK/xdg-open.log")"
    [ ! -e "$WORK/planted-ran" ] || fail "the link ran the program planted under its name"

    # The music spot: off, then on again from the start.
    click 770 71
    wait_output "Music: stopped" 5
    before=$(grep -c "Music: playing" "$WORK/launcher.out")
    click 770 71
    for _ in $(seq 30); do [ "$(grep -c "Music: playing" "$WORK/launcher.out")" -gt "$before" ] && break; sleep 0.1; done
    [ "$(grep -c "Music: playing" "$WORK/launcher.out")" -gt "$before" ] || fail "the music did not start again"

    # The texts: announcement, realm lines and status show white glyphs where they belong.
    xdotool mousemove 1270 1010
    sleep 0.4
    screenshot "$WORK/texts.png"
    [ "$(bright_pixels "$WORK/texts.png" 20 60 300 40)" -gt 50 ] || fail "no announcement at (20, 60)"
    for n in 0 1 2; do
        [ "$(bright_pixels "$WORK/texts.png" 20 $((180 + 20 * n)) 150 18)" -gt 30 ] || fail "no realm line $n"
    done
    [ "$(bright_pixels "$WORK/texts.png" 20 240 150 18)" -lt 5 ] || fail "a fourth realm line appeared"
    [ "$(bright_pixels "$WORK/texts.png" 650 570 150 25)" -gt 20 ] || fail "no status text at (650, 570)"

    # A press and release in place leaves the window where it is; a drag moves it by the mouse's way.
    read -r x0 y0 <<<"$(window_position "$WINDOW")"
    click 300 330
    read -r x1 y1 <<<"$(window_position "$WINDOW")"
    [ "$x1 $y1" = "$x0 $y0" ] || fail "a click in place moved the window from $x0,$y0 to $x1,$y1"
    xdotool windowfocus --sync "$WINDOW"
    xdotool mousemove --window "$WINDOW" 300 330
    sleep 0.15
    xdotool mousedown 1
    sleep 0.15 # the launcher takes the drag's starting point when it handles the press
    for step in 1 2 3 4 5; do xdotool mousemove_relative -- 12 -8; sleep 0.08; done
    sleep 0.3
    xdotool mouseup 1
    sleep 0.3
    read -r x2 y2 <<<"$(window_position "$WINDOW")"
    [ "$x2" -eq $((x0 + 60)) ] && [ "$y2" -eq $((y0 - 40)) ] || fail "the drag moved the window to $x2,$y2 from $x0,$y0"

    close_window 15; rc=$EXIT_CODE
    [ "$rc" = 0 ] || fail "exit code $rc after the close spot, expected 0"
    [ ! -e "$WORK/game-started" ] || fail "closing must not start the game"
}
