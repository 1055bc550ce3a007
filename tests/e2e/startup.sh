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
  *) fail "unknown case $case_name" ;;
esac
note "startup $platform $case_name: ok"
