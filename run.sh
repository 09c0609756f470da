#!/bin/sh
# Sets up a fresh Debian 12 machine, builds Ruvello and starts it in the tray of your desktop
# (Wayland or X11). Without a display it starts a private virtual display with a tray host and
# runs there.
set -eu
cd "$(dirname "$0")"

scripts/install-deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUVELLO_TESTS=OFF >/dev/null
cmake --build build/release --target ruvello

# The program keeps config.ini and its screenshots beside itself: give it a folder of its own.
folder="${RUVELLO_FOLDER:-$HOME/Ruvello}"
# Screenshots show everything that was on the screen: a folder made here is yours alone.
[ -d "$folder" ] || mkdir -p -m 700 "$folder"
cp build/release/ruvello "$folder/ruvello"

# A Wayland desktop (sway, GNOME, KDE ...): the program finds its way to the screen there itself.
wayland="${WAYLAND_DISPLAY:-}"
case "$wayland" in
    "" | /*) ;;
    *) wayland="${XDG_RUNTIME_DIR:-/nonexistent}/$wayland" ;;
esac
if [ -n "$wayland" ] && [ -S "$wayland" ]; then
    echo "Ruvello runs in the tray of your Wayland desktop; screenshots and config.ini go to $folder"
    echo "(left click: manual screenshot, right click: menu, \"Beenden\" quits)"
    exec "$folder/ruvello"
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "Ruvello runs in the tray of display $DISPLAY; screenshots and config.ini go to $folder"
    echo "(left click: manual screenshot, right click: menu, \"Beenden\" quits)"
    exec "$folder/ruvello"
fi

echo "No X display found: starting a private virtual display (Xvfb) with a tray host (trayer)."
pipe=$(mktemp -u) && mkfifo "$pipe"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$pipe" 2>/dev/null &
xvfb=$!
read -r number <"$pipe"
rm -f "$pipe"
export DISPLAY=":$number"
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 &
tray=$!
sleep 1
"$folder/ruvello" &
app=$!
trap 'kill "$app" 2>/dev/null; wait "$app" 2>/dev/null; kill "$tray" "$xvfb" 2>/dev/null' EXIT
trap 'exit 0' INT TERM
echo "Ruvello runs on the virtual display $DISPLAY; screenshots and config.ini go to $folder"
echo "(Ctrl+C ends it; DISPLAY=$DISPLAY xdotool can click its icon)"
wait "$app" || true
