#!/usr/bin/env bash
# Start-up paths of ORVEXVario as a real process.
# Usage: startup.sh linux|windows CASE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
export ORVEX_DIALOGS=stderr
dir=$(scratch_bundle "$platform")
err=$dir/stderr.txt
program=$(program_file "$platform" ORVEXVario)

expect_report() {  # expect_report STATUS MESSAGE
  [ "$1" -eq 1 ] || fail "exit status $1, expected 1; stderr: $(cat "$err")"
  expect_contains "$err" "[Application Error] Exception EVarioError in module $program at "
  expect_contains "$err" "$2"
}

status=0
case "$case_name" in
  no_config)
    # The gauge opens in simulator mode at 0,0, 400 by 400, and writes no file.
    RUN_TIMEOUT=120 run_in "$dir" "$platform" ORVEXVario 2>"$err" &
    pid=$!
    id=
    for _ in $(seq 150); do
      id=$(launched_window_id "$pid") || id=
      [ -n "$id" ] && [ "$(xdotool getwindowname "$id")" = "ZEVRA VARIOMETER v1.2 - [SIMLINK]" ] && break
      id=
      kill -0 "$pid" 2>/dev/null || fail "the gauge ended: $(cat "$err")"
      sleep 0.2
    done
    [ -n "$id" ] || fail "no window titled \"ZEVRA VARIOMETER v1.2 - [SIMLINK]\""
    size=$(xwininfo -id "$id" | awk '/Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h}')
    sleep 1
    # The window is gone before the key's release: xdotool's complaint about it is expected.
    xdotool key --window "$id" Escape 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "Escape did not end the gauge"; }
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "exit status $status after Escape; stderr: $(cat "$err")"
    [ ! -e "$dir/ORVEXVari.INI" ] || fail "the run wrote ORVEXVari.INI: $(cat "$dir/ORVEXVari.INI")"
    note "window $size"
    ;;
  bad_width)
    printf '[WINSIZE]\r\nWIDTH=abc\r\n' >"$dir/ORVEXVari.INI"
    run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    expect_report "$status" "'abc' is not a valid integer value."
    [ "$(cat "$dir/ORVEXVari.INI")" = "$(printf '[WINSIZE]\r\nWIDTH=abc\r\n')" ] || fail "configuration file changed"
    ;;
  empty_width)
    printf '[WINSIZE]\r\nWIDTH=\r\n' >"$dir/ORVEXVari.INI"
    run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    expect_report "$status" "'' is not a valid integer value."
    ;;
  missing_icon)
    rm "$dir/plane2.ico"
    # A bad value too: the icon must fail first, before the file is read.
    printf '[WINSIZE]\r\nWIDTH=abc\r\n' >"$dir/ORVEXVari.INI"
    run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    expect_report "$status" "Cannot open file \""
    expect_contains "$err" "plane2.ico\". "
    if grep -qF "not a valid integer" "$err"; then fail "configuration was read before the icon"; fi
    ;;
  invalid_icon)
    printf 'BM\x36\x00\x00\x00 this is a bitmap, not an icon' >"$dir/plane2.ico"
    run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    expect_report "$status" "Icon image is not valid."
    ;;
  no_display)
    # Started before the display is there (a login service): the window cannot be made,
    # which is a failure (status 1), so that a service manager starts the gauge again.
    # Wine has no window driver without a display and refuses the window itself.
    if [ "$platform" = windows ]; then
      wine_env
      (cd "$dir" && env -u DISPLAY timeout 60 wine ./ORVEXVario.exe) 2>"$err" || status=$?
    else
      (unset DISPLAY WAYLAND_DISPLAY; run_in "$dir" linux ORVEXVario) 2>"$err" || status=$?
    fi
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1; stderr: $(cat "$err")"
    [ "$(grep -a '^\[' "$err" | tr -d '\r')" = "[Error] Window creation error." ] || fail "boxes: $(cat "$err")"
    [ ! -e "$dir/ORVEXVari.INI" ] || fail "the run wrote ORVEXVari.INI"
    ;;
  no_gl_display)
    # A display without GL (an X server without GLX): no window for a GL context, status 1.
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -extension GLX 3>"$dir/display.txt" >/dev/null 2>&1 &
    xvfb_pid=$!
    trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -s "$dir/display.txt" ] && break; sleep 0.1; done
    [ -s "$dir/display.txt" ] || fail "Xvfb did not start"
    DISPLAY=:$(head -n 1 "$dir/display.txt") run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1; stderr: $(cat "$err")"
    expect_contains "$err" "[Error] Window creation error."
    ;;
  bad_images)
    # A scene that cannot be set up (network mode: no simulator link to stand in for the
    # images) ends with "initialization failed." and status 1: an image missing,
    # truncated, or claiming 65535 by 65535 pixels.
    printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$(closed_port)" >"$dir/ORVEXVari.INI"
    cp "$dir/ago.txr" "$dir/ago.txr.good"
    for kind in missing truncated enormous; do
      cp "$dir/ago.txr.good" "$dir/ago.txr"
      case "$kind" in
        missing) rm "$dir/ago.txr" ;;
        truncated) truncate -s 100 "$dir/ago.txr" ;;
        # The header's width and height (offsets 18 and 22) say 65535 by 65535.
        enormous) printf '\xff\xff\x00\x00\xff\xff\x00\x00' | dd of="$dir/ago.txr" bs=1 seek=18 conv=notrunc status=none ;;
      esac
      status=0
      run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
      [ "$status" -eq 1 ] || fail "ago.txr $kind: exit status $status, expected 1; stderr: $(cat "$err")"
      expect_contains "$err" "[Error] initialization failed."
      note "ago.txr $kind: status 1"
    done
    # A dial image of the user's own that is not there fails as the gauge's own images do.
    cp "$dir/ago.txr.good" "$dir/ago.txr"
    printf '[GAUGE]\r\nDIALIMAGE=myface.txr\r\n' >>"$dir/ORVEXVari.INI"
    status=0
    run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
    [ "$status" -eq 1 ] || fail "DIALIMAGE missing: exit status $status, expected 1; stderr: $(cat "$err")"
    expect_contains "$err" "[Error] initialization failed."
    note "DIALIMAGE missing: status 1"
    ;;
  bad_gauge_settings)
    # MAXFPS below 0, DAMPING above 60 s, an unknown face or unit, a scale past the
    # needle's limit, an image outside the working directory: a message, status 1.
    while IFS='|' read -r line message; do
      printf '[GAUGE]\r\n%s\r\n' "$line" >"$dir/ORVEXVari.INI"
      status=0
      run_in "$dir" "$platform" ORVEXVario 2>"$err" || status=$?
      expect_report "$status" "$message"
      note "$line: status 1"
    done <<'EOF'
MAXFPS=-30|'-30' is not a valid MAXFPS value (0 or more frames per second).
DAMPING=61|'61' is not a valid DAMPING value (0 to 60 seconds).
DIAL=MS10|'MS10' is not a known DIAL (FPM6000, FPM2000, MS5 or KT10).
UNITS=KMH|'KMH' is not a known UNITS (FPM, MS or KT).
SCALE=0:0,1:30,2:60,5:120,8:170|'8:170' turns the needle beyond 165 degrees in the SCALE.
DIALIMAGE=../faces/my.txr|'../faces/my.txr' is not a DIALIMAGE file name (a file in the working directory).
EOF
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "startup $platform $case_name: ok"
