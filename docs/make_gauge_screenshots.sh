#!/usr/bin/env bash
# Draws the gauge in a real window from the Linux bundle's images at a few vertical
# speeds, reads the pictures back from GL, and saves them side by side as
# docs/gauge-speeds.png. Needs scripts/build first and a display (DISPLAY).
# The speeds, as the simulator's raw words (metres per minute, descent positive):
#   0 -> 0 ft/min, -305 -> +1000 ft/min, 457 -> -1500 ft/min, -1219 -> +4000 ft/min
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
probe=$repo/build/linux/tests/gauge_probe/vario-gauge-probe
[ -x "$probe" ] || { echo "no $probe (run scripts/build)" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "set DISPLAY (a virtual display will do)" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -r "$repo/dist/linux/." "$dir/"
# A frameless square window, so that the picture is the whole dial.
printf '[WINDOW]\r\nX=0\r\nY=0\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n[WINBORDER]\r\nACTIVE=N\r\n' >"$dir/ORVEXVari.INI"
raws=(0 -305 457 -1219)
(cd "$dir" && "$probe" snapshot shot "${raws[@]}")
pictures=()
for raw in "${raws[@]}"; do pictures+=("$dir/shot$raw.ppm"); done
convert "${pictures[@]}" +append "$repo/docs/gauge-speeds.png"
echo "wrote docs/gauge-speeds.png"
