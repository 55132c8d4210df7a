#!/usr/bin/env bash
# Takes docs/screenshot.png: the workbench under a virtual display with a sample
# picture loaded, a region dragged and a tool run. Needs xvfb, xdotool and
# imagemagick (apt-get install xvfb xdotool imagemagick) and a release build.
#   scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
display=:97
Xvfb $display -screen 0 1280x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
build/release/graybench >/dev/null 2>&1 &
app=$!
sleep 2
# Without a camera the video window says so at start-up, before the main window shows.
for box in $(xdotool search --onlyvisible --name '^GrayBench$' 2>/dev/null); do
    xdotool windowfocus --sync "$box" key Return || true
done
sleep 1
win=$(xdotool search --sync --name '^Form1' | head -1)
xdotool windowmove "$win" 0 0 windowfocus --sync "$win"
xdotool key ctrl+l
sleep 1.5
xdotool type parts.png      # the open dialog starts in samples/ with nothing chosen
xdotool key Return
sleep 1
# Drag a region around the row of washers on the Before view (the view's corner is
# at 16, 48 below the menu bar of 18 pixels): picture (20, 290) to (500, 365).
xdotool mousemove 36 356 mousedown 1 mousemove 200 400 mousemove 516 431 mouseup 1
sleep 0.3
# Detect Object > Detect Object Setup, AUTO threshold, Detect Start.
xdotool mousemove 374 8 click 1
sleep 0.5
xdotool mousemove 420 28 click 1
sleep 0.3
xdotool mousemove 170 786 click 1
sleep 0.3
xdotool mousemove 624 794 click 1
sleep 0.5
xdotool mousemove 300 300
sleep 0.5
import -window root -crop 1123x885+0+0 "$out"
echo "wrote $out"
