#!/usr/bin/env bash
# Remakes the user's guide's screenshots (docs/guide/images/) from the sample
# pictures, each on its own virtual display of 1600 x 1000, by driving the
# workbench with xdotool as a user would: load, draw the region, open the
# tool's menu, choose its setup item, set the controls, run. Needs xvfb,
# xdotool, imagemagick and a release build (build/release/graybench).
#   scripts/guide-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
display=:96
out=docs/guide/images
mkdir -p "$out"
# The tool and template pictures go to a scratch data folder, not the user's.
scratch=$(mktemp -d)
export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
trap 'stop; rm -rf "$scratch"' EXIT
# A tool panel's corner is at (136, 594) on screen.

# region X1 Y1 X2 Y2: draws the region on the Before view, picture pixels;
# with Shift, so that a drag starting inside the old frame draws a new one.
region() {
    xdotool mousemove $((16 + $1)) $((66 + $2)) keydown shift mousedown 1 \
        mousemove $((16 + ($1 + $3) / 2)) $((66 + ($2 + $4) / 2)) \
        mousemove $((16 + $3)) $((66 + $4)) mouseup 1 keyup shift
    sleep 0.3
}
# menu X ITEM: opens the menu whose title is at X on the menu bar and chooses
# its ITEM-th item with the keyboard.
menu() {
    xdotool mousemove "$1" 8 click 1
    sleep 0.5
    for _ in $(seq "$2"); do xdotool key Down; done
    xdotool key Return
    sleep 0.4
}
# The menu titles' places on the bar.
File=19 Fiter=92 Mophology=149 Brightness=223 Threshold=294 DetectObject=374
MatchPattern=465 FindEdge=545 FindStraight=621 FindCircular=705
click() { xdotool mousemove "$1" "$2" click --repeat "${3:-1}" --delay 120 1; sleep 0.5; }
# type X Y TEXT: replaces the text of the box at (X, Y).
type_into() { xdotool mousemove "$1" "$2" click --repeat 3 1 key ctrl+a type "$3"; sleep 0.3; }

start 1600x1000 samples/parts.png
shoot "$out/files-and-workspace.png"

start 1600x1000 samples/parts.png
region 20 290 500 365
shoot "$out/region-and-viewer.png"

start 1600x1000 samples/gauge.png
region 0 0 511 479
menu $Fiter 7                  # Sobel
click 200 802                  # the filter's button
shoot "$out/filters.png"

start 1600x1000 samples/parts.png
menu $Brightness 1             # Brightness Setup
click 262 708 2                # Contrast: two pages up, 45 to 65
click 472 802                  # Run
shoot "$out/brightness.png"

start 1600x1000 samples/parts.png
menu $Mophology 2              # Erosion
click 162 648                  # 3 x 3
type_into 192 738 2            # # of Iterations
click 268 802
shoot "$out/morphology.png"

start 1600x1000 samples/parts.png
region 20 290 500 365
menu $Threshold 1              # Threshold Setup
type_into 368 698 100          # Lower
click 624 794                  # Run
shoot "$out/threshold-and-histogram.png"

start 1600x1000 samples/parts.png
region 10 290 500 370
menu $DetectObject 1           # Detect Object Setup
type_into 368 698 100          # Lower
click 624 794                  # Detect Start
shoot "$out/detection.png"

start 1600x1000 samples/pattern.png
region 46 46 94 94
menu $MatchPattern 1           # Match Pattern Setup
click 228 738                  # Create Template
click 228 778                  # Find Pattern
sleep 2
shoot "$out/pattern-search.png"

start 1600x1000 samples/gauge.png
region 20 265 300 265
menu $FindEdge 1               # Find Edge Setup
click 420 702 4                # Edge Strength: four pages up, 0 to 40
click 480 802                  # Find Edge
shoot "$out/find-edge.png"

start 1600x1000 samples/gauge.png
region 260 285 500 360
menu $FindStraight 1           # Find Straight Setup
click 436 674 4                # Gap: four steps up, 1 to 5
click 425 710 5                # Edge Strength: five pages up, 0 to 50
click 480 810                  # Find Straight
shoot "$out/find-straight.png"

start 1600x1000 samples/gauge.png
click 166 216                  # the hole's centre, picture (150, 150)
menu $FindCircular 1           # Find Circular Setup
click 704 818                  # Find Circular
shoot "$out/find-circular.png"
cp "$out/find-circular.png" "$out/results-and-export.png"
echo "wrote $out/results-and-export.png"

start 1600x1000 samples/gauge.png
region 30 240 60 270
click 64 762                   # Tool Button
tool=$(xdotool search --onlyvisible --name 'Form3' | head -1)
xdotool windowmove "$tool" 500 300
sleep 0.5
xdotool mousemove --window "$tool" 12 14 click 1   # the table button
sleep 1
shoot "$out/tool-window.png" screen

start 1600x1000 samples/parts.png
click 64 802                   # Viedo
sleep 1
for box in $(xdotool search --onlyvisible --name '^GrayBench$' 2>/dev/null); do
    xdotool windowfocus --sync "$box" key Return || true
done
video=$(xdotool search --onlyvisible --name 'Form4' | head -1)
xdotool windowmove "$video" 700 200
sleep 0.5
shoot "$out/camera.png" screen

# Run Recipe: File's fifth item; the file dialog takes the path typed.
for picture in parts batch-python-cluster; do
    case $picture in
        parts) file=samples/parts.png name=undo-and-recipes ;;
        *) file=samples/gauge.png name=$picture ;;
    esac
    start 1600x1000 "$file"
    menu $File 5
    sleep 1
    xdotool type "$PWD/samples/inspect-parts.recipe.json"
    xdotool key Return
    sleep 1.5
    shoot "$out/$name.png"
done
