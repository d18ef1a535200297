# The shared end-to-end steps for the Windows build: the launcher's .exe runs under wine64 in the build's own Wine
# prefix, against the Linux build's native launcher server. Its boxes are Wine windows titled by their caption.
# Sourced by each scenario; BUILD, SRC, NATIVE_BUILD and WINE64 come from CTest, with the prefix settings.

: "${NATIVE_BUILD:?the Linux build tree, for varnhold-server}"
: "${WINE64:?the wine64 program}"
LAUNCHER="$BUILD/app/varnhold-launcher.exe"
SERVER="$NATIVE_BUILD/tools/server/varnhold-server"
# Wine takes longer than zenity to map a box, all the more while it starts its server on a loaded machine.
BOX_WAIT=60
source "$SRC/tests/e2e/lib.sh"
[ -x "$SERVER" ] || fail "no native varnhold-server in $NATIVE_BUILD"

# A wineserver outlives its last program by a few seconds, and with it the desktop it opened on the X server of the
# scenario before, which is gone: a window made there never shows. Each scenario starts with the prefix's own.
WINESERVER=$(dirname "$(readlink -f "$WINE64")")/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -w 2>/dev/null || true

# The launcher runs under Wine, whose message box channel writes each box's text to the output: that is how a
# scenario reads what the player was told. Its boxes answer Return with the default button (OK, Yes) and "n" with
# No: a Yes/No box has no Cancel for Escape.
LAUNCH_WITH=(env WINEDEBUG=trace+msgbox "$WINE64")

# plant_program NAME: a Windows program in the game folder (the game's stand-in under another name) that creates
# $WORK/planted-ran when it runs.
plant_program() {
    cp "$GAME_STANDIN" "$GAME/$1"
    export VARNHOLD_GAME_RECORD="Z:${WORK//\//\\}\\planted-ran"
}

# The texts of the boxes shown so far, one per line, in order.
box_texts() {
    sed -n 's/.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"\r\{0,1\}$/\1/p' "$WORK/launcher.out"
}
