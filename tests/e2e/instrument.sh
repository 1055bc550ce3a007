#!/usr/bin/env bash
# The whole instrument as a user runs it: ORVEXVario from its bundle against the
# development simulator or data server, natively and under Wine, with keys sent as a
# person would press them.
# Usage: instrument.sh linux|windows CASE NATIVE_PROBE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
native_probe=$3
export ORVEX_DIALOGS=stderr

# start_gauge DIR: ORVEXVario in the background (GAUGE_PID); its standard error in DIR/err.txt.
start_gauge() {
  RUN_TIMEOUT=240 run_in "$1" "$platform" ORVEXVario >"$1/out.txt" 2>"$1/err.txt" &
  GAUGE_PID=$!
}
GAUGE_PID=
# expect_exit STATUS: waits for the program to end with that status.
expect_exit() {
  local status=0
  for _ in $(seq 300); do kill -0 "$GAUGE_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$GAUGE_PID" 2>/dev/null && fail "the gauge did not end: $(cat "$dir/err.txt")"
  wait "$GAUGE_PID" || status=$?
  GAUGE_PID=
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1: $(cat "$dir/err.txt")"
}
stop_everything() {
  set +e
  [ -z "$GAUGE_PID" ] || { pkill -TERM -P "$GAUGE_PID" 2>/dev/null; kill "$GAUGE_PID" 2>/dev/null; wait "$GAUGE_PID" 2>/dev/null; }
  stop_simulator
  stop_data_server
  [ "${#WM_PIDS[@]}" -eq 0 ] || stop_window_manager
  cleanup_scratch
  true
}
trap stop_everything EXIT

# The gauge's own window, once it is shown (empty before).
gauge_id() { launched_window_id "$GAUGE_PID"; }
# The window's title (whichever of its titles it has now).
gauge_title() {
  local id
  id=$(gauge_id) && [ -n "$id" ] && xdotool getwindowname "$id"
}
title_is() { [ "$(gauge_title)" = "$1" ]; }
expect_title() {  # expect_title TEXT: within thirty seconds
  for _ in $(seq 150); do title_is "$1" && { note "title: $1"; return 0; }; sleep 0.2; done
  local state status=0
  if kill -0 "$GAUGE_PID" 2>/dev/null; then
    state="running as $(pgrep -a -P "$(pgrep -P "$GAUGE_PID" | head -n 1)" | head -n 1)"
  else
    wait "$GAUGE_PID" || status=$?
    GAUGE_PID=
    state="ended with status $status"
  fi
  fail "the title is \"$(gauge_title)\", not \"$1\"; the gauge is $state; its errors: $(tail -n 5 "$dir/err.txt")"
}

# needle_now DIR: the needle's angle on a screenshot of the gauge window.
needle_now() {
  local id
  id=$(gauge_id) && [ -n "$id" ] || return 1
  window_needle "$1" "$id"
}
# expect_needle_at DIR RAW: within twenty seconds the needle shows the raw value.
expect_needle_at() {
  local expected measured
  expected=$("$native_probe" angle "$2")
  for _ in $(seq 100); do
    measured=$(needle_now "$1") &&
      awk -v e="$expected" -v m="$measured" 'BEGIN { d = e - m; if (d < 0) d = -d; exit !(m == m + 0 && d <= 1.0) }' &&
      { note "raw $2: needle at $measured, scale $expected"; return 0; }
    sleep 0.2
  done
  fail "raw $2: the needle stands at ${measured:-nothing}, the scale says $expected; gauge: $(tail -n 5 "$1/err.txt" 2>/dev/null); simulator: $(tail -n 5 "$1/sim.txt" 2>/dev/null)"
}

press() {  # press KEY...: to the gauge window, with the focus the window manager gives it
  local id
  id=$(eventually_id)
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || xdotool windowfocus --sync "$id" >/dev/null 2>&1 || true
  # A key that ends the program leaves its release without a window: no error then.
  xdotool key --delay 150 "$@" 2>/dev/null || true
  sleep 0.5
}

# end_with KEY: presses the key until the program has ended (a window manager may still
# be handing the focus over), then expects status 0.
end_with() {
  for _ in $(seq 10); do
    kill -0 "$GAUGE_PID" 2>/dev/null || break
    press "$1"
    for _ in $(seq 20); do kill -0 "$GAUGE_PID" 2>/dev/null || break; sleep 0.1; done
  done
  expect_exit 0
}

eventually_id() {  # the gauge's window, waiting for it up to twenty seconds
  local id
  for _ in $(seq 100); do id=$(gauge_id) && [ -n "$id" ] && { echo "$id"; return 0; }; sleep 0.2; done
  fail "the gauge window did not appear"
}

ini_value() { sed -nE "s/^$2=(.*)\r?$/\1/p" "$1/ORVEXVari.INI" | tr -d '\r'; }
expect_ini() {  # expect_ini DIR KEY VALUE: within ten seconds
  eventually ini_is "$@" || fail "$2 is $(ini_value "$1" "$2"), expected $3"
}
ini_is() { [ "$(ini_value "$1" "$2")" = "$3" ]; }


# Every case but the file comparison runs on the private display with a window manager,
# one at a time: Wine takes keys only from the X focus, and on the shared display other
# tests' windows and keys have been seen to end a running gauge.
[ "$case_name" = same_session_file ] || start_window_manager

case "$case_name" in
  simulator)
    # The simulator's value script moves the needle; Escape ends with status 0.
    dir=$(needle_bundle)
    frameless_ini "$dir"
    start_simulator "$dir" --script 0:-300,12:450
    start_gauge "$dir"
    expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
    expect_needle_at "$dir" -300
    expect_needle_at "$dir" 450
    end_with Escape
    ;;
  no_simulator)
    # Without a simulator the needle stands at 0 and the gauge keeps running.
    dir=$(needle_bundle)
    frameless_ini "$dir"
    # A rendezvous directory of its own, where no other test's simulator answers.
    export SIMLINK_RUNTIME_DIR=$dir/run
    mkdir -m 700 "$SIMLINK_RUNTIME_DIR"
    start_gauge "$dir"
    expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
    expect_needle_at "$dir" 0
    sleep 3
    kill -0 "$GAUGE_PID" 2>/dev/null || fail "the gauge ended: $(cat "$dir/err.txt")"
    expect_needle_at "$dir" 0
    end_with Escape
    ;;
  network)
    # Server down at start, then up; then gone mid-run and back: the gauge reconnects.
    dir=$(needle_bundle)
    port=$(unused_port)
    frameless_ini "$dir" "$(network_lines "$port")"
    start_gauge "$dir"
    expect_title "ZEVRA VARIO - Freeware [CONNECTING...]"
    start_data_server "$dir" --port "$port" --value -300
    expect_title "ZEVRA VARIO - Freeware [NETWORK]"
    expect_needle_at "$dir" -300
    stop_data_server
    expect_title "ZEVRA VARIO - Freeware [CONNECTING...]"
    start_data_server "$dir" --port "$port" --value 450
    expect_title "ZEVRA VARIO - Freeware [NETWORK]"
    expect_needle_at "$dir" 450
    end_with Escape
    ;;
  network_bad_reply)
    # A reply that is no number ends the program through the report.
    dir=$(scratch_bundle "$platform")
    start_data_server "$dir" --raw 'abc\0'
    frameless_ini "$dir" "$(network_lines "$DATA_PORT")"
    start_gauge "$dir"
    expect_exit 1
    expect_contains "$dir/err.txt" "[Application Error] Exception EVarioError in module $(program_file "$platform" ORVEXVario) at "
    expect_contains "$dir/err.txt" "'abc' is not a valid floating point value."
    ;;
  keys)
    # Under a window manager: position and size keys write the file, F12 rebuilds
    # with the other frame, Alt+F4 (the window's close) ends with status 0.
    dir=$(scratch_bundle "$platform")
    printf '[WINDOW]\r\nX=100\r\nY=80\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=280\r\n' >"$dir/ORVEXVari.INI"
    start_gauge "$dir"
    expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
    sleep 1
    press F11 Right Right Down
    expect_ini "$dir" X 102
    expect_ini "$dir" Y 81
    press F9 Right Up Up
    expect_ini "$dir" WIDTH 301
    expect_ini "$dir" HEIGHT 278
    before=$(eventually_id)
    press F12
    after=$(eventually_id)
    [ "$before" != "$after" ] || fail "F12 did not build a new window"
    end_with alt+F4
    mkdir -p "$REPO_DIR/build/e2e"
    cp "$dir/ORVEXVari.INI" "$REPO_DIR/build/e2e/keys-$platform.INI"
    note "session file: $(tr '\r\n' '  ' <"$dir/ORVEXVari.INI")"
    ;;
  same_session_file)
    # The keys session leaves the same configuration file on both platforms.
    linux_file=$REPO_DIR/build/e2e/keys-linux.INI
    windows_file=$REPO_DIR/build/e2e/keys-windows.INI
    [ -f "$linux_file" ] && [ -f "$windows_file" ] || fail "run the keys cases of both platforms first"
    cmp "$linux_file" "$windows_file" ||
      fail "Linux left $(tr '\r\n' '  ' <"$linux_file"); Windows left $(tr '\r\n' '  ' <"$windows_file")"
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "instrument $platform $case_name: ok"
