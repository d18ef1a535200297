#!/usr/bin/env bash
# The Linux package: cpack makes the .deb and the .tar.gz; the .deb holds the launcher, its menu entry and its icon,
# installs with dpkg -i (into a scratch root), and its menu entry starts the launcher in the player's game folder.
source "$(dirname "$0")/lib.sh"

[ -f "$BUILD/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD"
(cd "$WORK" && cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/dist" >"$WORK/cpack.out" 2>&1) \
    || { cat "$WORK/cpack.out"; fail "cpack failed"; }
deb=$(ls "$WORK"/dist/varnhold-launcher_*.deb)
tgz=$(ls "$WORK"/dist/varnhold-launcher-*-linux-x86_64.tar.gz)
note "made $(basename "$deb") and $(basename "$tgz")"

entry=usr/share/applications/varnhold-launcher.desktop
icon=usr/share/icons/hicolor/256x256/apps/varnhold-launcher.png
start=usr/libexec/varnhold-launcher/start-in-game-folder
dpkg-deb -c "$deb" >"$WORK/contents"
for file in usr/bin/varnhold-launcher "$start" "$entry" "$icon"; do
    grep -q " \./$file\$" "$WORK/contents" || fail "the .deb lacks $file: $(cat "$WORK/contents")"
done
grep -q '^ Depends: .*libsfml' <(dpkg-deb -I "$deb") || fail "the .deb names no library it needs"
tar -tzf "$tgz" | grep -q '/usr/bin/varnhold-launcher$' || fail "the .tar.gz lacks the launcher"

# dpkg -i into a scratch root with a database of its own.
root="$WORK/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --log=/dev/null --force-not-root --force-depends --force-script-chrootless -i "$deb" \
    >"$WORK/dpkg.out" 2>&1 || { cat "$WORK/dpkg.out"; fail "dpkg -i failed"; }
for file in usr/bin/varnhold-launcher "$start" "$entry" "$icon"; do
    [ -s "$root/$file" ] || fail "dpkg -i placed no $file"
done
[ -x "$root/usr/bin/varnhold-launcher" ] || fail "the launcher is not executable"
[ "$(identify -format '%wx%h' "$root/$icon")" = 256x256 ] || fail "the icon is not 256x256"

# The menu entry: an application that starts the start script, which starts the launcher in the game folder.
grep -qx 'Type=Application' "$root/$entry" || fail "not an application entry"
grep -qx 'Icon=varnhold-launcher' "$root/$entry" || fail "the entry names another icon"
exec_line=$(sed -n 's/^Exec=//p' "$root/$entry")
[ "$exec_line" = "/$start" ] || fail "Exec is '$exec_line'"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/$entry" || fail "the entry does not validate"
fi

# Started from the menu with no server to answer, the launcher says so on standard error and ends with 1, having
# run in the game folder below the home folder.
home="$WORK/home"
mkdir -p "$home"
set +e
timeout 60 env -u DISPLAY HOME="$home" XDG_STATE_HOME="$home/state" VARNHOLD_SERVER_URL="http://127.0.0.1:1/" \
    "$root$exec_line" \
    >"$WORK/launcher.out" 2>&1
code=$?
set -e
[ "$code" = 1 ] || fail "the launcher from the menu ended with $code"
[ -d "$home/Games/Varnhold" ] || fail "no game folder was made"
grep -q "^Launcher: Unable connect to the launcher server" "$WORK/launcher.out" || fail "no server-down box"
ls "$home/state/varnhold-launcher/"launcher-*.log >/dev/null || fail "the launcher kept no log"
note "installed: $(cd "$root" && du -sh usr | cut -f1) under /usr; the menu entry runs the launcher in ~/Games/Varnhold"
