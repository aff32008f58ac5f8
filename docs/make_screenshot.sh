#!/usr/bin/env bash
# Makes docs/main-window.png: starts the real program on a virtual display, opens the
# 100000-point sample through File > Open and photographs the main window.
# Run it as: xvfb-run -a -s "-screen 0 1024x700x24" docs/make_screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
command -v xdotool >/dev/null || apt-get install -y -qq xdotool
program=${PROGRAM:-build/src/corvane}
[ -x "$program" ] || { echo "build the program first (scripts/test or scripts/run)" >&2; exit 1; }

"$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
sleep 4.5                                   # the splash shows for three seconds
# Without a window manager the main window sits at the top-left corner of the screen.
# File > Open: click the File menu, then its first item.
xdotool mousemove 18 8 click 1
sleep 0.7
xdotool mousemove 30 30 click 1
sleep 1.5
xdotool type --delay 20 "rough_surface_100k.txt"
xdotool key Return
sleep 2
for step in "${@}"; do eval "$step"; sleep 1; done
import -window root -crop 833x606+0+0 "${SCREENSHOT:-docs/main-window.png}"
