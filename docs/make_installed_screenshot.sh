#!/bin/bash
# Screenshot of the installed Corvane started from its desktop entry, with the Open dialog shown
# in the installed samples folder. Needs the package installed, xvfb, xdotool, dex, imagemagick:
#   xvfb-run -a -s "-screen 0 1280x800x24" docs/make_installed_screenshot.sh
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/installed-open-dialog.png
dex /usr/share/applications/org.example.Corvane.desktop &
sleep 5
xdotool mousemove 18 7 click 1  # the File menu
sleep 1
xdotool key Down Return  # Open
sleep 2
import -window root "$out"
pkill -x corvane
