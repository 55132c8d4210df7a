#!/usr/bin/env bash
# Remakes the screenshots in docs/ from the sample pictures, each on its own
# virtual display: the workbench detecting washers (docs/screenshot.png), the
# Results pane after Find Circular (docs/results-pane.png), and a 4096 x 3072
# picture zoomed to fit with a region at its far corner on a laptop screen and
# a large one (docs/viewer-1366x768.png, docs/viewer-1920x1080.png); then the
# user's guide's pictures (scripts/guide-screenshots.sh). Needs xvfb,
# xdotool and imagemagick (apt-get install xvfb xdotool imagemagick) and a
# release build.
#   scripts/screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
display=:97
scratch=$(mktemp -d)
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
trap 'stop; rm -rf "$scratch"' EXIT

# The view's corner is at (16, 66) on screen: the menu bar of 18 pixels, then 48.
start 1600x1000 samples/parts.png
# A region around the row of washers: picture (20, 290) to (500, 365).
xdotool mousemove 36 356 mousedown 1 mousemove 200 400 mousemove 516 431 mouseup 1
sleep 0.3
# Detect Object > Detect Object Setup, AUTO threshold, Detect Start.
xdotool mousemove 374 8 click 1; sleep 0.5
xdotool mousemove 420 28 click 1; sleep 0.3
xdotool mousemove 170 786 click 1; sleep 0.3
xdotool mousemove 624 794 click 1; sleep 0.8
shoot docs/screenshot.png

start 1600x1000 samples/gauge.png
# The centre of the dark hole, picture (150, 150); Find Circular > setup; run.
xdotool mousemove 166 216 click 1; sleep 0.3
xdotool mousemove 705 8 click 1; sleep 0.5
xdotool mousemove 750 28 click 1; sleep 0.3
xdotool mousemove 704 818 click 1; sleep 0.8
shoot docs/results-pane.png

convert samples/parts.png -filter point -resize '4096x3072!' "$scratch/camera-4096x3072.png"
for screen in 1366x768 1920x1080; do
    start $screen "$scratch/camera-4096x3072.png"
    xdotool key ctrl+0; sleep 0.8
    # A region at the picture's far corner, drawn on the fitted Before view.
    xdotool mousemove 400 330 mousedown 1 mousemove 450 370 mousemove 510 410 mouseup 1
    sleep 0.5
    shoot docs/viewer-$screen.png screen
done

stop
scripts/guide-screenshots.sh
