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

# A scratch bundle whose dial is black, so that a screenshot shows the needle alone.
needle_bundle() {
  local dir
  dir=$(scratch_bundle "$platform")
  convert -size 512x512 xc:black -type TrueColor "BMP3:$dir/vario.txr"
  echo "$dir"
}

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
SQUATTER_PID=
stop_everything() {
  set +e
  [ -z "$SQUATTER_PID" ] || { kill "$SQUATTER_PID" 2>/dev/null; wait "$SQUATTER_PID" 2>/dev/null; }
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
  import -window "$id" -depth 8 "ppm:$1/shot.ppm" 2>/dev/null || return 1
  measure "$1/shot.ppm" --black-dial | figure needle
}
# expect_needle_at DIR RAW: within twenty seconds the needle shows the raw value.
expect_needle_at() {
  local expected measured
  expected=$("$native_probe" angle "$2")
  for _ in $(seq 100); do
    measured=$(needle_now "$1") &&
      angle_matches "$expected" "$measured" 1.0 &&
      { note "raw $2: needle at $measured, scale $expected"; return 0; }
    sleep 0.2
  done
  fail "raw $2: the needle stands at ${measured:-nothing}, the scale says $expected; gauge: $(tail -n 5 "$1/err.txt" 2>/dev/null); simulator: $(tail -n 5 "$1/sim.txt" 2>/dev/null)"
}

# needle_at_within DIR RAW START SECONDS: the needle shows the raw value on a screenshot
# taken at most SECONDS after START (a `date +%s.%N` reading); prints that time.
needle_at_within() {
  local expected measured shot_at
  expected=$("$native_probe" angle "$2")
  while :; do
    shot_at=$(seconds_since "$3")
    at_most "$shot_at" "$4" || fail "raw $2: the needle still stands at ${measured:-nothing} ${shot_at}s after, scale $expected"
    measured=$(needle_now "$1") &&
      angle_matches "$expected" "$measured" 1.0 &&
      { echo "$shot_at"; return 0; }
    sleep 0.1
  done
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

# seconds_since START: the seconds (fractional) since START, a `date +%s.%N` reading.
seconds_since() { awk -v s="$1" -v n="$(date +%s.%N)" 'BEGIN { printf "%.2f", n - s }'; }
# at_most SECONDS LIMIT: true when SECONDS <= LIMIT.
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

# red_share_now DIR: the share of flag-red pixels on a screenshot of the gauge window.
red_share_now() {
  local id
  id=$(gauge_id) && [ -n "$id" ] || return 1
  import -window "$id" -depth 8 "ppm:$1/shot.ppm" 2>/dev/null || return 1
  red_share "$1/shot.ppm"
}

# off_flag_within DIR shown|gone START SECONDS: a screenshot taken at most SECONDS after
# START shows the OFF flag (at least 2 % of the pixels flag red) or no flag (at most
# 0.1 %); prints when, and the red share.
off_flag_within() {
  local shot_at share=
  while :; do
    shot_at=$(seconds_since "$3")
    at_most "$shot_at" "$4" || fail "OFF flag not $2 ${shot_at}s after (red share ${share:-unmeasured})"
    if share=$(red_share_now "$1"); then
      if [ "$2" = shown ]; then ! at_most "$share" 0.02; else at_most "$share" 0.001; fi &&
        { echo "screenshot at ${shot_at}s, red share $share"; return 0; }
    fi
    sleep 0.1
  done
}

ini_value() { sed -nE "s/^$2=(.*)\r?$/\1/p" "$1/ORVEXVari.INI" | tr -d '\r'; }
expect_ini() {  # expect_ini DIR KEY VALUE: within ten seconds
  eventually ini_is "$@" || fail "$2 is $(ini_value "$1" "$2"), expected $3"
}
ini_is() { [ "$(ini_value "$1" "$2")" = "$3" ]; }

# Frameless and square, so that a screenshot of the window is the gauge alone.
frameless_ini() {  # frameless_ini DIR [LAN LINES]
  printf '[WINDOW]\r\nX=520\r\nY=0\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n[WINBORDER]\r\nACTIVE=N\r\n%s' "${2:-}" >"$1/ORVEXVari.INI"
}
network_lines() { printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$1"; }

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
  simulator_restarted)
    # The simulator killed: the gauge runs on and its keys act at once; started again,
    # it is found again and the needle follows within three seconds.
    dir=$(needle_bundle)
    frameless_ini "$dir"
    start_simulator "$dir" --value -300
    start_gauge "$dir"
    expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
    expect_needle_at "$dir" -300
    kill_simulator
    sleep 2
    kill -0 "$GAUGE_PID" 2>/dev/null || fail "the gauge ended with the simulator: $(cat "$dir/err.txt")"
    # Before the mend every frame held the loop for a second of retries against the
    # gone window (21 s against one that cannot answer); the bound is generous for a
    # busy machine, the figure is printed.
    xdotool windowactivate --sync "$(eventually_id)" >/dev/null 2>&1 || true
    xdotool key --delay 150 F11 Right
    started=$(date +%s.%N)
    expect_ini "$dir" X 521
    took=$(seconds_since "$started")
    press F11
    at_most "$took" 2 || fail "a key step took ${took}s with the simulator gone"
    note "key step with the simulator gone: written ${took}s after the key"
    start_simulator "$dir" --value 450
    took=$(needle_at_within "$dir" 450 "$(date +%s.%N)" 3)
    note "needle follows the restarted simulator: shown on a screenshot taken ${took}s after it answered"
    end_with Escape
    ;;
  off_flag_simulator_killed)
    # The OFF flag within three seconds of the simulator's end, gone within three seconds
    # of its return (red pixel share of a screenshot).
    dir=$(needle_bundle)
    frameless_ini "$dir"
    start_simulator "$dir" --value -300
    start_gauge "$dir"
    expect_needle_at "$dir" -300
    share=$(red_share_now "$dir")
    at_most "$share" 0.001 || fail "red share $share while the simulator answers"
    kill_simulator
    seen=$(off_flag_within "$dir" shown "$(date +%s.%N)" 3)
    note "OFF flag shown: $seen"
    start_simulator "$dir" --value 450
    seen=$(off_flag_within "$dir" gone "$(date +%s.%N)" 3)
    note "OFF flag gone: $seen"
    end_with Escape
    ;;
  simulator_stops_reading)
    # A simulator that stops (neither reads nor answers): every pass waits for the link's
    # own bound, yet the gauge runs on, and Escape ends it with status 0.
    dir=$(needle_bundle)
    frameless_ini "$dir"
    start_simulator "$dir" --value -300
    start_gauge "$dir"
    expect_needle_at "$dir" -300
    simulator=$(launched_program_pid "$SIM_PID")
    kill -STOP "$simulator"
    sleep 5
    kill -0 "$GAUGE_PID" 2>/dev/null || fail "the gauge ended: $(cat "$dir/err.txt")"
    started=$(date +%s.%N)
    end_with Escape
    note "Escape acted on after $(seconds_since "$started")s (a pass holds up to 21 s here)"
    kill -CONT "$simulator"
    ;;
  squatted_runtime_dir)
    # The rendezvous directory taken by someone else (wrong mode, or another owner) with
    # a socket that never accepts: the link does not open, and the gauge does not hang.
    for squat in "755 $(id -u)" "700 65534"; do
      read -r mode owner <<<"$squat"
      [ "$owner" = "$(id -u)" ] || [ "$(id -u)" -eq 0 ] || { note "another owner needs root; skipped"; continue; }
      dir=$(needle_bundle)
      frameless_ini "$dir"
      export SIMLINK_RUNTIME_DIR=$dir/run
      mkdir -m "$mode" "$SIMLINK_RUNTIME_DIR"
      python3 - "$SIMLINK_RUNTIME_DIR/SIMLINKMAIN" <<'PY' &
import socket, sys, time
listener = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
listener.bind(sys.argv[1])
listener.listen(0)
held = []
for _ in range(4):  # fill the queue: a blocking connect would now wait for ever
    s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    s.setblocking(False)
    try: s.connect(sys.argv[1])
    except OSError: pass
    held.append(s)
time.sleep(120)
PY
      SQUATTER_PID=$!
      eventually test -S "$SIMLINK_RUNTIME_DIR/SIMLINKMAIN" || fail "the squatter did not listen"
      chown "$owner" "$SIMLINK_RUNTIME_DIR"
      start_gauge "$dir"
      expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
      expect_needle_at "$dir" 0
      sleep 2
      started=$(date +%s.%N)
      end_with Escape
      took=$(seconds_since "$started")
      at_most "$took" 8 || fail "Escape took ${took}s with a squatted directory ($mode, owner $owner)"
      note "directory $mode owned by $owner: Escape after ${took}s"
      kill "$SQUATTER_PID"
      wait "$SQUATTER_PID" 2>/dev/null || true
      SQUATTER_PID=
    done
    ;;
  end_signals)
    # SIGTERM, SIGINT and SIGHUP end the gauge as its close button does: status 0, the
    # configuration file as it was, no request area left anywhere.
    for signal in TERM INT HUP; do
      dir=$(needle_bundle)
      frameless_ini "$dir"
      cp "$dir/ORVEXVari.INI" "$dir/before.INI"
      start_simulator "$dir" --value -300
      start_gauge "$dir"
      expect_needle_at "$dir" -300
      program=$(launched_program_pid "$GAUGE_PID")
      area=SimLinkLib:IPC:$(printf '%X' "$program"):1
      ls -l "/proc/$program/fd" | grep -qF "/memfd:$area" || fail "the gauge holds no request area $area"
      kill -"$signal" "$program"
      expect_exit 0
      cmp -s "$dir/ORVEXVari.INI" "$dir/before.INI" || fail "SIG$signal changed the file: $(cat "$dir/ORVEXVari.INI")"
      [ ! -e "/dev/shm/$area" ] || fail "SIG$signal left /dev/shm/$area"
      note "SIG$signal: status 0, file intact, nothing left"
      stop_simulator
    done
    ;;
  window_procedure_write_fails)
    # A move the window procedure cannot write to the file ends the program through the
    # report with status 1 (the file's place is taken by a directory: no write succeeds).
    dir=$(scratch_bundle "$platform")
    printf '[WINDOW]\r\nX=100\r\nY=80\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=280\r\n' >"$dir/ORVEXVari.INI"
    export SIMLINK_RUNTIME_DIR=$dir/run
    mkdir -m 700 "$SIMLINK_RUNTIME_DIR"
    start_gauge "$dir"
    expect_title "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
    id=$(eventually_id)
    sleep 1
    rm "$dir/ORVEXVari.INI"
    mkdir "$dir/ORVEXVari.INI"
    xdotool windowmove "$id" 240 200
    expect_exit 1
    expect_contains "$dir/err.txt" "[Application Error] Exception EVarioError in module $(program_file "$platform" ORVEXVario) at "
    expect_contains "$dir/err.txt" "Unable to write to "
    expect_contains "$dir/err.txt" "ORVEXVari.INI."
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
