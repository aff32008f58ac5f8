#!/usr/bin/env bash
# Makes docs/analysis-window.png: starts Corvane Analysis on a virtual display with two samples,
# waits for their figures and photographs the window at 1280 x 800. With a folder as its
# argument it photographs every tab into that folder instead (tab-1.png ... tab-7.png).
# Run it as: xvfb-run -a -s "-screen 0 1280x800x24" docs/make_analysis_screenshots.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
command -v xdotool >/dev/null || apt-get install -y -qq xdotool
program=${PROGRAM:-build/src/corvane-analysis}
[ -x "$program" ] || { echo "build the program first (scripts/test or scripts/run)" >&2; exit 1; }
# Recent files of this run go to a folder of its own, never the user's.
config=$(mktemp -d)
export XDG_CONFIG_HOME=$config

"$program" samples/rough_surface_100k.txt samples/confocal_holes.x3p &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$config"' EXIT
sleep 5
if [ $# -eq 0 ]; then
  import -window root docs/analysis-window.png
  exit 0
fi
mkdir -p "$1"
# Without a window manager the window sits at the top-left corner: the tabs' titles are at
# these x positions on the tab bar (y 32).
tab=1
for x in 350 435 502 586 706 816 916; do
  xdotool mousemove "$x" 32 click 1
  sleep 2
  import -window root "$1/tab-$tab.png"
  tab=$((tab + 1))
done
