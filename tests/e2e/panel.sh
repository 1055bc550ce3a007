#!/usr/bin/env bash
# The gauge on a panel computer, natively and under Wine: full screen over the monitor,
# the picture turned for a screen on its side, a saved place that lies on no monitor,
# and (Linux) frames put on the screen only when the picture changes, from ORVEX_TRACE.
# Usage: panel.sh linux|windows CASE NATIVE_PROBE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
native_probe=$3
export ORVEX_DIALOGS=stderr

stop_everything() {
  set +e
  [ -z "$GAUGE_PID" ] || { pkill -TERM -P "$GAUGE_PID" 2>/dev/null; kill "$GAUGE_PID" 2>/dev/null; wait "$GAUGE_PID" 2>/dev/null; }
  stop_simulator
  [ "${#WM_PIDS[@]}" -eq 0 ] || stop_window_manager
  cleanup_scratch
  true
}
trap stop_everything EXIT

# ini DIR LINES...: ORVEXVari.INI of those lines.
ini() {
  local dir=$1
  shift
  printf '%s\r\n' "$@" >"$dir/ORVEXVari.INI"
}
ini_value() { sed -nE "s/^$2=(-?[0-9]+)\r?$/\1/p" "$1/ORVEXVari.INI"; }

# angle_near EXPECTED MEASURED: within a degree, a whole turn apart counting as none.
angle_near() {
  awk -v e="$1" -v m="$2" 'BEGIN { if (m !~ /^-?[0-9]+(\.[0-9]+)?$/) exit 1; d = e - m; d -= 360 * int(d / 360);
    if (d > 180) d -= 360; if (d < -180) d += 360; exit !(d <= 1.0 && d >= -1.0) }'
}

case "$case_name" in
  full_screen)
    # A dial of a white disc on black: its box on the screen shows the centre and the roundness.
    start_window_manager
    dir=$(scratch_bundle "$platform")
    convert -size 512x512 xc:black -fill white -draw 'circle 256,256 256,56' -type TrueColor "BMP3:$dir/vario.txr"
    ini "$dir" "[WINDOW]" "X=100" "Y=80" "FULLSCREEN=Y" "[WINSIZE]" "WIDTH=300" "HEIGHT=260" "[WINBORDER]" "ACTIVE=Y"
    cp "$dir/ORVEXVari.INI" "$dir/saved.ini"
    start_gauge "$dir"
    id=$(eventually_id)
    covers_screen() { [ "$(client_rect "$id")" = "0 0 1280 1024" ]; }
    eventually covers_screen || fail "the window is $(client_rect "$id"), not the whole 1280x1024 screen"
    # The adjustment keys do nothing; the window stays and the file is left alone.
    press F11 Right Down F9 Left F12
    covers_screen || fail "after the adjustment keys the window is $(client_rect "$id")"
    sleep 1
    box=$(window_figures "$dir" "$id" | figure white_box)
    IFS=, read -r left top right bottom <<<"$box"
    note "full screen $(client_rect "$id"); the disc's box $box"
    awk -v l="$left" -v t="$top" -v r="$right" -v b="$bottom" 'BEGIN {
      cx = (l + r + 1) / 2; cy = (t + b + 1) / 2; w = r - l + 1; h = b - t + 1;
      exit !(r > l && b > t && cx >= 638 && cx <= 642 && cy >= 510 && cy <= 514 && w - h <= 2 && h - w <= 2 && h > 500) }' ||
      fail "the dial is not round and centred: the disc's box is $box on the 1280x1024 screen"
    end_with Escape
    cmp -s "$dir/ORVEXVari.INI" "$dir/saved.ini" || fail "the file changed: $(tr -d '\r' <"$dir/ORVEXVari.INI")"
    ;;
  rotate)
    # One start of the test program per rotation, three speeds each, on a black dial.
    use_probe
    dir=$(needle_bundle)
    raws=(-305 611 -1220)
    for rotation in 90 180 270; do
      ini "$dir" "[WINDOW]" "X=40" "Y=30" "ROTATE=$rotation" "[WINSIZE]" "WIDTH=300" "HEIGHT=300" "[WINBORDER]" "ACTIVE=N"
      rm -f "$dir"/frame*.ppm
      probe "$dir" snapshot "$dir/frame" --black-dial "${raws[@]}" || fail "snapshot failed: $(cat "$dir/err.txt")"
      for raw in "${raws[@]}"; do
        scale=$("$native_probe" angle "$raw")
        expected=$(awk -v a="$scale" -v r="$rotation" 'BEGIN { print a + r }')
        measured=$(measure "$dir/frame$raw.ppm" --black-dial | figure needle)
        angle_near "$expected" "$measured" ||
          fail "ROTATE=$rotation, raw $raw: the needle points at $measured degrees, not $scale turned by $rotation"
        note "ROTATE=$rotation, raw $raw: scale $scale, needle $measured"
      done
    done
    # A rotation the gauge does not take ends the program with its message and status 1.
    ini "$dir" "[WINDOW]" "ROTATE=45"
    start_gauge "$dir"
    expect_exit 1
    grep -q "'45' is not a valid ROTATE value" "$dir/err.txt" || fail "no message for ROTATE=45: $(cat "$dir/err.txt")"
    ;;
  off_screen)
    start_window_manager
    dir=$(scratch_bundle "$platform")
    # On no monitor: the window opens on the screen; the file keeps 5000 until a key moves it.
    ini "$dir" "[WINDOW]" "X=5000" "Y=5000" "[WINSIZE]" "WIDTH=300" "HEIGHT=260" "[WINBORDER]" "ACTIVE=Y"
    cp "$dir/ORVEXVari.INI" "$dir/saved.ini"
    start_gauge "$dir"
    id=$(eventually_id)
    on_screen() {
      read -r x y w h < <(outer_rect "$id")
      ((x >= 0 && y >= 0 && x + w <= 1280 && y + h <= 1024))
    }
    eventually on_screen || fail "the window is at $(outer_rect "$id"), not wholly on the 1280x1024 screen"
    note "saved at 5000,5000: opened at $(outer_rect "$id")"
    # Seconds of running and a normal end leave the file as it was.
    sleep 3
    end_with Escape
    cmp -s "$dir/ORVEXVari.INI" "$dir/saved.ini" || fail "the file changed without a key: $(tr -d '\r' <"$dir/ORVEXVari.INI")"
    # Started again, one step right from where it stands.
    start_gauge "$dir"
    id=$(eventually_id)
    eventually on_screen || fail "started again, the window is at $(outer_rect "$id")"
    press F11 Right
    moved() { x=$(ini_value "$dir" X) && [ -n "$x" ] && ((x >= 0 && x < 100)); }
    eventually moved || fail "after F11 and Right the file holds X=$(ini_value "$dir" X), not a place on the screen"
    on_screen || fail "after the step the window is at $(outer_rect "$id")"
    note "after F11 and Right: X=$(ini_value "$dir" X) Y=$(ini_value "$dir" Y)"
    end_with Escape
    # Partly on the screen: the gauge leaves it where it was saved. Under Wine, openbox
    # then pulls the window wholly onto the screen by itself (and the move is kept, as
    # any move of the window manager's is); it is not put in the corner.
    ini "$dir" "[WINDOW]" "X=1200" "Y=100" "[WINSIZE]" "WIDTH=300" "HEIGHT=260" "[WINBORDER]" "ACTIVE=Y"
    start_gauge "$dir"
    id=$(eventually_id)
    if [ "$platform" = linux ]; then
      at_saved_place() { read -r x y _ _ < <(outer_rect "$id") && [ "$x $y" = "1200 100" ]; }
    else
      at_saved_place() { read -r x y _ _ < <(outer_rect "$id") && ((x > 900 && y > 50)); }
    fi
    eventually at_saved_place || fail "saved at 1200,100 (partly visible), the window is at $(outer_rect "$id")"
    note "saved at 1200,100: the window is at $(outer_rect "$id")"
    end_with Escape
    if [ "$platform" = linux ]; then
      [ "$(ini_value "$dir" X)" = 1200 ] || fail "the file holds X=$(ini_value "$dir" X), not 1200"
    fi
    ;;
  unchanged_frames)
    # MAXFPS=60 against the simulator: a constant value is put on the screen once, the OFF
    # flag comes as soon as the simulator goes, the next value as soon as it is back, and
    # a value that keeps changing is put on the screen at each change.
    start_window_manager
    dir=$(scratch_bundle "$platform")
    ini "$dir" "[WINDOW]" "X=40" "Y=30" "[WINSIZE]" "WIDTH=300" "HEIGHT=300" "[WINBORDER]" "ACTIVE=N" "[GAUGE]" "MAXFPS=60"
    start_simulator "$dir" --value -305
    ORVEX_TRACE=$dir/trace.txt start_gauge "$dir"
    trace_has() { grep -q " $1\$" "$dir/trace.txt" 2>/dev/null; }
    eventually trace_has -305 || fail "no frame with -305 on the screen: $(head -n 5 "$dir/trace.txt" 2>&1)"
    sleep 4
    # Frames put on the screen from a second after the first to now: under 2 a second.
    now_ms=$(python3 -c 'import time; print(time.monotonic() * 1000)')
    read -r frames rate < <(awk -v now="$now_ms" 'NR == 1 { first = $1 } $1 > first + 1000 { n++ }
      END { span = (now - first - 1000) / 1000; printf "%d %.2f\n", n, n / span }' "$dir/trace.txt")
    note "constant value: $(wc -l <"$dir/trace.txt") frames on the screen in all, $frames after the first second ($rate a second)"
    awk -v r="$rate" 'BEGIN { exit !(r < 2) }' || fail "a constant value was put on the screen $rate times a second"
    stop_simulator
    eventually trace_has OFF || fail "the OFF flag did not come after the simulator went: $(tail -n 3 "$dir/trace.txt")"
    start_simulator "$dir" --value 611
    eventually trace_has 611 || fail "the value did not come back with the simulator: $(tail -n 3 "$dir/trace.txt")"
    tail -n 1 "$dir/trace.txt" | grep -q " 611$" || fail "the last frame is not the value: $(tail -n 3 "$dir/trace.txt")"
    # A value that changes every 100 ms (six frame times): each one reaches the screen.
    stop_simulator
    script="0:611"
    for i in $(seq 20); do script+=",$(awk -v i="$i" 'BEGIN { printf "%.1f", 2 + i / 10 }'):$((100 + 10 * i))"; done
    start_simulator "$dir" --script "$script"
    eventually trace_has 300 || fail "the script's last value did not come: $(tail -n 3 "$dir/trace.txt")"
    shown=0
    for i in $(seq 20); do trace_has $((100 + 10 * i)) && shown=$((shown + 1)); done
    note "a value changing every 100 ms: $shown of 20 values on the screen"
    ((shown >= 18)) || fail "only $shown of 20 changing values were put on the screen"
    end_with Escape
    ;;
  *) fail "unknown case $case_name" ;;
esac
