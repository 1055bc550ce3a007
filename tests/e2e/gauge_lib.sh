# Shared by the end-to-end scripts of the gauge: the development simulator and data
# server as sources, a display with a window manager, finding the gauge's window and
# measuring its needle. Source it; it sources lib.sh. NATIVE_PROBE-based measuring
# needs $native_probe set to the native vario-gauge-probe.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# measure FILE [--black-dial]: prints the figures of a saved picture.
measure() { "$native_probe" measure "$@"; }
figure() { sed -E "s/.*$1 ([^ ]+).*/\1/"; }  # figure NAME < measure output

# start_simulator DIR ARGS...: the bundle's development simulator, with its own
# rendezvous directory, until it answers (for SIM_TIMEOUT seconds at most, default
# 120); stop_simulator ends it.
start_simulator() {
  local dir=$1
  shift
  local simhost
  simhost=$(program_file "$platform" vario-simhost)
  cp "$(bundle_dir "$platform")/$simhost" "$dir/" || fail "the $platform bundle has no vario-simhost"
  export SIMLINK_RUNTIME_DIR=$dir/run
  mkdir -p -m 700 "$SIMLINK_RUNTIME_DIR"
  : >"$dir/sim.txt"
  RUN_TIMEOUT=${SIM_TIMEOUT:-120} run_in "$dir" "$platform" vario-simhost --trace "$@" >"$dir/sim.txt" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 300); do
    grep -q ready "$dir/sim.txt" && return 0
    kill -0 "$SIM_PID" 2>/dev/null || fail "vario-simhost ended: $(cat "$dir/sim.txt")"
    sleep 0.1
  done
  fail "vario-simhost not ready: $(cat "$dir/sim.txt")"
}
SIM_PID=
stop_simulator() {
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    pkill -TERM -P "$SIM_PID" 2>/dev/null || true  # the timeout wrapper ends the simulator
    wait "$SIM_PID" 2>/dev/null || true
  fi
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
    DATA_PORT=$(sed -nE 's/.*listening on port ([0-9]+).*/\1/p' "$dir/server.txt")
    [ -n "$DATA_PORT" ] && return 0
    sleep 0.1
  done
  fail "vario-dataserver did not listen: $(cat "$dir/server.txt")"
}
SERVER_PID=
stop_data_server() {
  if [ -n "$SERVER_PID" ]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  SERVER_PID=
}
# A port where nothing listens on the loopback: tcpmux, which no test machine serves.
free_port() { echo 1; }

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

# A loopback port where nothing listens now, for a server started later.
unused_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# launched_window_id LAUNCHER_PID: the visible window of a program that run_in started
# in the background (the launcher's subshell runs timeout, which runs the program), so
# that other tests' windows on the same display are never taken for it.
launched_window_id() {
  local timeout_pid program_pid
  timeout_pid=$(pgrep -P "$1" | head -n 1) && [ -n "$timeout_pid" ] || return 1
  program_pid=$(pgrep -P "$timeout_pid" | head -n 1) && [ -n "$program_pid" ] || return 1
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
window_needle() {
  import -window "$2" -depth 8 "ppm:$1/shot.ppm" 2>/dev/null || return 1
  measure "$1/shot.ppm" --black-dial | figure needle
}

# Frameless and square, so that a screenshot of the window is the gauge alone.
frameless_ini() {  # frameless_ini DIR [LAN LINES [X [Y]]]
  printf '[WINDOW]\r\nX=%s\r\nY=%s\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n[WINBORDER]\r\nACTIVE=N\r\n%s' \
    "${3:-520}" "${4:-0}" "${2:-}" >"$1/ORVEXVari.INI"
}
network_lines() { printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$1"; }
