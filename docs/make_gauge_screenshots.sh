#!/usr/bin/env bash
# Draws the gauge in a real window from the Linux bundle's images at a few vertical
# speeds, reads the pictures back from GL, and saves them side by side: the original
# face as docs/gauge-speeds.png, and each other face at three values as
# docs/face-NAME.png. Needs scripts/build first and a display (DISPLAY).
# The speeds are the simulator's raw words (metres per minute, descent positive).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
probe=$repo/build/linux/tests/gauge_probe/vario-gauge-probe
[ -x "$probe" ] || { echo "no $probe (run scripts/build)" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "set DISPLAY (a virtual display will do)" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -r "$repo/dist/linux/." "$dir/"

# shoot OUTPUT GAUGE_KEYS RAW...: one picture per raw value, side by side in OUTPUT.
shoot() {
  local output=$1 keys=$2
  shift 2
  # A frameless square window, so that the picture is the whole dial.
  printf '[WINDOW]\r\nX=0\r\nY=0\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n[WINBORDER]\r\nACTIVE=N\r\n[GAUGE]\r\n%s' \
    "$keys" >"$dir/ORVEXVari.INI"
  rm -f "$dir"/shot*.ppm
  (cd "$dir" && "$probe" snapshot shot "$@")
  local pictures=() raw
  for raw in "$@"; do pictures+=("$dir/shot$raw.ppm"); done
  convert "${pictures[@]}" +append "$repo/docs/$output"
  echo "wrote docs/$output"
}

# 0, +1000, -1500 and +4000 ft/min on the original face.
shoot gauge-speeds.png "" 0 -305 457 -1219
# +500, -1000 and +1800 ft/min.
shoot face-fpm2000.png $'DIAL=FPM2000\r\n' -152 305 -549
# +1, -2.5 and +4 m/s.
shoot face-ms5.png $'DIAL=MS5\r\n' -60 150 -240
# +2, -5 and +8 knots (to the nearest raw word).
shoot face-kt10.png $'DIAL=KT10\r\n' -62 154 -247
# A scale of one's own with its image drawn by vario-make-dial: +1.5, -4 and +6 m/s.
scale=0:0,1:30,2:60,5:120,8:165
(cd "$dir" && ./vario-make-dial --scale "$scale" --units MS --output myface.txr)
shoot face-scale.png "SCALE=$scale"$'\r\nUNITS=MS\r\nDIALIMAGE=myface.txr\r\n' -90 240 -360
