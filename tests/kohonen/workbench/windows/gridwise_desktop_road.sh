#!/bin/sh
# The Gridwise road in the real lumivane window on a virtual X display (see
# gridwise_desktop_road.cpp). Exits 77 (skipped) only when Xvfb is not installed.
# usage: gridwise_desktop_road.sh DRIVER IRIS_CSV LIBRARY_FOLDER SCREENSHOT_FOLDER
set -u
driver=$1
csv=$2
libraries=$3
shots=$4

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIP: Xvfb is not installed (scripts/install-deps installs the xvfb package)"
  exit 77
fi

work=$(mktemp -d)
chmod 700 "$work"
cleanup() {
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb chooses a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
tries=0
while [ ! -s "$work/display" ] && [ $tries -lt 100 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi
mkdir -p "$shots"
DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" \
  XDG_CONFIG_HOME="$work/config" timeout 150 "$driver" "$csv" "$libraries" "$shots"
