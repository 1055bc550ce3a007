# Shared by the end-to-end scripts of the gauge: the development simulator and data
# server as sources, a display with a window manager, finding the gauge's window and
# measuring its needle. Source it; it sources lib.sh. NATIVE_PROBE-based measuring
# needs $native_probe set to the native vario-gauge-probe.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# measure FILE [--black-dial]: prints the figures of a saved picture.
measure() { "$native_probe" measure "$@"; }
figure() { sed -E "s/.*$1 ([^ ]+).*/\1/"; }  # figure NAME < measure output
# angle_matches EXPECTED MEASURED TOLERANCE: a measured angle (a number: a picture with
# no needle gives nan) within the tolerance of the expected one.
angle_matches() {
  awk -v e="$1" -v m="$2" -v t="$3" 'BEGIN { d = e - m; if (d < 0) d = -d; exit !(m ~ /^-?[0-9]+(\.[0-9]+)?$/ && d <= t) }'
}

# start_simulator DIR ARGS...: the bundle's development simulator, with its own
# rendezvous directory, until it answers (for SIM_TIMEOUT seconds at most, default
# 120; its output in DIR/sim.txt, its launcher SIM_PID); stop_simulator ends it,
# kill_simulator kills it as a crash would.
start_simulator() {
  local dir=$1
  shift
  local simhost
  simhost=$(program_file "$platform" vario-simhost)
  [ -f "$dir/$simhost" ] || cp "$(bundle_dir "$platform")/$simhost" "$dir/" || fail "the $platform bundle has no vario-simhost"
  export SIMLINK_RUNTIME_DIR=$dir/run
  mkdir -p -m 700 "$SIMLINK_RUNTIME_DIR"
  : >"$dir/sim.txt"
  RUN_TIMEOUT=${SIM_TIMEOUT:-120} run_in "$dir" "$platform" vario-simhost --trace "$@" >"$dir/sim.txt" 2>&1 &
  SIM_PID=$!
  await_ready "$dir/sim.txt" "$SIM_PID" vario-simhost
}

# await_ready FILE PID NAME: until the program's output FILE says "ready" (thirty
# seconds at most); fails when the program ends first.
await_ready() {
  for _ in $(seq 300); do
    grep -q ready "$1" && return 0
    kill -0 "$2" 2>/dev/null || fail "$3 ended: $(cat "$1")"
    sleep 0.1
  done
  fail "$3 not ready: $(cat "$1")"
}
# end_helper PID: ends a helper started in the background, if one was.
end_helper() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
SIM_PID=
stop_simulator() {
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    pkill -TERM -P "$SIM_PID" 2>/dev/null || true  # the timeout wrapper ends the simulator
    wait "$SIM_PID" 2>/dev/null || true
  fi
  SIM_PID=
}
kill_simulator() {
  local program
  program=$(launched_program_pid "$SIM_PID") || fail "no running vario-simhost"
  kill -KILL "$program"
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}

# start_data_server DIR ARGS...: the bundle's development data server on a free port
# (DATA_PORT), until it listens (for SERVER_TIMEOUT seconds at most, default 120);
# stop_data_server ends it.
start_data_server() {
  local dir=$1
  shift
  cp "$(bundle_dir linux)/vario-dataserver" "$dir/" || fail "the Linux bundle has no vario-dataserver"
  : >"$dir/server.txt"
  (cd "$dir" && exec timeout "${SERVER_TIMEOUT:-120}" ./vario-dataserver --bind 127.0.0.1 --port 0 "$@" >"$dir/server.txt" 2>&1) &
  SERVER_PID=$!
  for _ in $(seq 100); do
    DATA_PORT=$(sed -nE 's/^listening on port ([0-9]+)$/\1/p' "$dir/server.txt" | head -n 1)
    [ -n "$DATA_PORT" ] && return 0
    sleep 0.1
  done
  fail "vario-dataserver did not listen: $(cat "$dir/server.txt")"
}
# query PORT: one request on a new connection; prints the reply, "closed" when the
# server closed the connection instead, "silent" when nothing came within 3 s.
query() {
  local fd reply status=0
  exec {fd}<>"/dev/tcp/127.0.0.1/$1" 2>/dev/null || { echo refused; return; }
  printf '2114,2,4\0' >&$fd 2>/dev/null
  IFS= read -r -d '' -t 3 reply <&$fd || status=$?
  exec {fd}>&-
  if [ "$status" -eq 0 ]; then echo "$reply"; elif [ "$status" -gt 128 ]; then echo silent; else echo closed; fi
}
SERVER_PID=
stop_data_server() {
  end_helper "$SERVER_PID"
  SERVER_PID=
}
# start_fault_server DIR MODE ARGS...: tests/e2e/fault_server.py (see there) until it
# is set up; stop_fault_server ends it.
start_fault_server() {
  local dir=$1
  shift
  : >"$dir/fault.txt"
  timeout 300 python3 "$E2E_DIR/fault_server.py" "$@" >"$dir/fault.txt" 2>&1 &
  FAULT_PID=$!
  await_ready "$dir/fault.txt" "$FAULT_PID" "the fault server"
}
FAULT_PID=
stop_fault_server() {
  end_helper "$FAULT_PID"
  FAULT_PID=
}

# A port where nothing listens on the loopback: tcpmux, which no test machine serves.
closed_port() { echo 1; }

# A private virtual display with a window manager, for frames, focus and minimising.
start_window_manager() {
  local display=${VARIO_WM_DISPLAY:-:105}
  # Wine keeps one foreground window for all its windows, whatever their display: a
  # prefix of their own keeps the other Wine tests' windows from taking the focus.
  VARIO_WINEPREFIX=$REPO_DIR/build/wineprefix-wm
  export DISPLAY=$display
  local attempt
  for attempt in 1 2 3; do
    try_window_manager "$display" && return 0
    note "display $display with openbox not ready (attempt $attempt): $WM_FAILURE"
    stop_display
  done
  fail "no display $display with openbox: $WM_FAILURE"
}

# try_window_manager DISPLAY: starts Xvfb and openbox; false with WM_FAILURE set.
try_window_manager() {
  local display=$1
  # The display of the test before may still be going away.
  local lock=/tmp/.X${display#:}-lock
  for _ in $(seq 100); do [ -e "$lock" ] || break; sleep 0.1; done
  [ ! -e "$lock" ] || { WM_FAILURE="display $display is taken ($lock)"; return 1; }
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb_pid=$!
  WM_PIDS+=($xvfb_pid)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  if ! kill -0 "$xvfb_pid" 2>/dev/null || ! xdpyinfo >/dev/null 2>&1; then
    WM_FAILURE="Xvfb did not start"
    return 1
  fi
  local wm_log
  wm_log=$(mktemp "${TMPDIR:-/tmp}/vario-openbox.XXXXXX")
  SCRATCH_DIRS+=("$wm_log")
  openbox >"$wm_log" 2>&1 &
  WM_PIDS+=($!)
  for _ in $(seq 150); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0; sleep 0.1; done
  WM_FAILURE="openbox did not start: $(cat "$wm_log")"
  return 1
}
WM_PIDS=()
WM_FAILURE=
stop_display() {
  local pid
  for pid in "${WM_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${WM_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  WM_PIDS=()
}
stop_window_manager() {
  if [ "$platform" = windows ] && [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  stop_display
  stop_simulator
  stop_data_server
  stop_fault_server
  cleanup_scratch
}

# The gauge window's X window id, once it is shown.
gauge_window_id() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^ZEVRA VARIO' 2>/dev/null | head -n 1) && [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  fail "the gauge window did not appear"
}

# eventually CHECK ARGS...: true once the check holds, within ten seconds.
eventually() {
  for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
  return 1
}


# Driving the gauge as a person would. start_gauge DIR: ORVEXVario of $platform from DIR
# in the background (GAUGE_PID), its output in DIR/out.txt and DIR/err.txt; it ends by
# itself after RUN_TIMEOUT seconds (default 240).
start_gauge() {
  GAUGE_DIR=$1
  RUN_TIMEOUT=${RUN_TIMEOUT:-240} run_in "$1" "$platform" ORVEXVario >"$1/out.txt" 2>"$1/err.txt" &
  GAUGE_PID=$!
}
GAUGE_PID=
GAUGE_DIR=
# The gauge's own window, once it is shown (empty before).
gauge_id() { launched_window_id "$GAUGE_PID"; }
# The gauge's window, waiting for it up to twenty seconds; a gauge that ended fails.
eventually_id() {
  local id status=0
  for _ in $(seq 100); do
    id=$(gauge_id) && [ -n "$id" ] && { echo "$id"; return 0; }
    if ! kill -0 "$GAUGE_PID" 2>/dev/null; then
      wait "$GAUGE_PID" || status=$?
      fail "the gauge ended (status $status) without a window: $(tail -n 5 "$GAUGE_DIR/err.txt")"
    fi
    sleep 0.2
  done
  fail "the gauge window did not appear"
}
# expect_exit STATUS: waits for the program to end with that status.
expect_exit() {
  local status=0
  for _ in $(seq 300); do kill -0 "$GAUGE_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$GAUGE_PID" 2>/dev/null && fail "the gauge did not end: $(cat "$GAUGE_DIR/err.txt")"
  wait "$GAUGE_PID" || status=$?
  GAUGE_PID=
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1: $(cat "$GAUGE_DIR/err.txt")"
}
# press KEY...: to the gauge window, with the focus the window manager gives it.
press() {
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

# launched_program_pid LAUNCHER_PID: the process of a program that run_in started in
# the background (the launcher's subshell runs timeout, which runs the program).
launched_program_pid() {
  local timeout_pid program_pid
  timeout_pid=$(pgrep -P "$1" | head -n 1) && [ -n "$timeout_pid" ] || return 1
  program_pid=$(pgrep -P "$timeout_pid" | head -n 1) && [ -n "$program_pid" ] || return 1
  echo "$program_pid"
}

# launched_window_id LAUNCHER_PID: the visible window of that program, so that other
# tests' windows on the same display are never taken for it.
launched_window_id() {
  local program_pid
  program_pid=$(launched_program_pid "$1") || return 1
  xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | head -n 1
}

# A scratch bundle of $platform whose dial is black, so that a screenshot shows the
# needle alone.
needle_bundle() {
  local dir
  dir=$(scratch_bundle "$platform")
  convert -size 512x512 xc:black -type TrueColor "BMP3:$dir/vario.txr"
  echo "$dir"
}

# window_needle DIR WINDOW_ID: the needle's angle on a screenshot of a black-dial gauge.
window_needle() { window_figures "$1" "$2" --black-dial | figure needle; }
# window_figures DIR WINDOW_ID [--black-dial]: the figures of a screenshot of that window
# (kept in DIR/shot.ppm).
window_figures() {
  import -window "$2" -depth 8 "ppm:$1/shot.ppm" 2>/dev/null || return 1
  measure "$1/shot.ppm" ${3:-}
}

# Frameless and square, so that a screenshot of the window is the gauge alone.
frameless_ini() {  # frameless_ini DIR [LAN LINES [X [Y]]]
  printf '[WINDOW]\r\nX=%s\r\nY=%s\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n[WINBORDER]\r\nACTIVE=N\r\n%s' \
    "${3:-520}" "${4:-0}" "${2:-}" >"$1/ORVEXVari.INI"
}
network_lines() { printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$1"; }

# The test driver vario-gauge-probe of $platform: use_probe sets probe_file from
# $native_probe (Linux) or the Windows build.
use_probe() {
  if [ "$platform" = windows ]; then
    probe_file=$VARIO_WINDOWS_BUILD/tests/gauge_probe/vario-gauge-probe.exe
  else
    probe_file=$native_probe
  fi
  [ -x "$probe_file" ] || [ -f "$probe_file" ] || fail "no test program at $probe_file (run scripts/build)"
}

# probe DIR ARGS...: runs the test program in DIR; its output goes to DIR/out.txt and DIR/err.txt.
probe() {
  local dir=$1
  shift
  cp "$probe_file" "$dir/"
  local name
  name=$(basename "$probe_file")
  local status=0
  if [ "$platform" = windows ]; then
    wine_env
    (cd "$dir" && timeout "${RUN_TIMEOUT:-120}" wine "./$name" "$@" >"$dir/out.txt" 2>"$dir/err.txt") || status=$?
  else
    (cd "$dir" && timeout "${RUN_TIMEOUT:-60}" "./$name" "$@" >"$dir/out.txt" 2>"$dir/err.txt") || status=$?
  fi
  return $status
}

# The test program's output without the line ends' carriage returns Windows adds.
out_lines() { tr -d '\r' <"$1/out.txt"; }

# client_rect ID: the client area's absolute left, top, width and height.
client_rect() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

# outer_rect ID: the client area grown by the frame the window manager drew.
outer_rect() {
  local extents l r t b
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -nE 's/.*= *([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1 \2 \3 \4/p')
  read -r l r t b <<<"${extents:-0 0 0 0}"
  read -r x y w h < <(client_rect "$1")
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
