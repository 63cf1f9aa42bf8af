#!/bin/sh
# The Vantor road by hand in a real lumivane window, for a person to look at the pictures:
#   xvfb-run -a -s "-screen 0 1280x800x24" vantor_xvfb_road.sh LUMIVANE LIBRARY_DIR SAMPLE OUT_DIR
# Starts Vantor on the sample (wine.csv), types the data source B-R rows 1-179, chooses the 13
# measurements (Mean / Variance) and the three indicators ((-1, +1)), creates 13-8-3, trains
# 300 epochs, writes the answers at T1 of the active sheet and saves a screenshot after every
# step. The clicks are at the places of the default layout on a screen without a window
# manager (the sheet opens at 0,0); needs xdotool and ImageMagick's import.
set -e
EXE=$1 LIB=$2 SAMPLE=$3 OUT=$4
command -v xdotool >/dev/null && command -v import >/dev/null || exit 77
mkdir -p "$OUT"
WORK=$(mktemp -d)
cp "$SAMPLE" "$WORK/"
cd "$WORK"
LUMIVANE_LIBRARY_DIR=$LIB "$EXE" --vantor "$(basename "$SAMPLE")" >"$WORK/app.log" 2>&1 &
APP=$!
shot() { sleep "$1"; import -window root "$OUT/xvfb-$2.png"; }
click() { xdotool mousemove "$1" "$2" click 1; }
shot 5 1-data-source
xdotool key ctrl+a; xdotool type "B-R"; xdotool key Tab ctrl+a; xdotool type "1"; xdotool key Tab ctrl+a; xdotool type "179"
xdotool key Return
shot 3 2-sheet
click 183 469; sleep 2                                   # Select Inputs...
click 126 78; xdotool keydown shift mousemove 125 246 click 1 keyup shift
click 349 201; sleep 0.5; click 323 377; sleep 1.5        # >>, Normalization...
xdotool key Down; shot 0.3 3-inputs-normalisation
xdotool key Return; sleep 1; click 472 377; sleep 1        # OK, OK
click 535 469; sleep 2                                   # Select Outputs...
click 138 274; xdotool keydown shift mousemove 138 302 click 1 keyup shift
click 349 215; sleep 0.5; click 323 377; sleep 1.5
xdotool key Down; sleep 0.3; xdotool key Return; sleep 1; click 472 377
shot 1 4-data-chosen
click 90 32; sleep 1; click 53 497; sleep 1.5            # Network, Create Net...
xdotool mousemove 324 272 click --repeat 3 1; xdotool key ctrl+a; xdotool type "8"
shot 0.3 5-constructor
click 372 328; shot 1.5 6-network
click 163 32; sleep 1; click 101 149; sleep 1.5          # Training, Stopping criteria...
click 190 162; xdotool mousemove 453 189 click --repeat 3 1; xdotool key ctrl+a; xdotool type "299"
click 390 274; sleep 1; click 101 93                     # OK, Start training
shot 6 7-trained
click 232 32; sleep 1; click 437 268; xdotool type "t1"  # Output, first cell
click 668 497; shot 2 8-output
W=$(xdotool search --name "^Vantor 3.0$" | head -1)
xdotool windowmove "$W" 560 260; sleep 1
click 90 92; xdotool key --repeat 21 --delay 30 Right
shot 1 9-answers-in-sheet
kill $APP
