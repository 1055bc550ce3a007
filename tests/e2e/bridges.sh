#!/usr/bin/env bash
# The development tools as bridges from simulators, between real processes: the X-Plane
# stand-in feeding vario-dataserver and vario-simhost (values, staleness, subscribing
# again after the simulator restarts, cancelling on exit, total energy), a glider
# simulator's datagrams moving both tools' gauges, the data server serving many clients
# at once, some of them silent, slow or hostile, and both tools' options and end signals.
# Usage: bridges.sh CASE [linux|windows]: windows runs the bridge and the simulator link's
# client of the Windows bundle under Wine (the cases that name a simulator host).
source "$(dirname "$0")/gauge_lib.sh"
case_name=$1
platform=${2:-linux}
: "${VARIO_LINUX_BUILD:=$REPO_DIR/build/linux}"
dir=$(scratch_bundle linux)
standin_src=$VARIO_LINUX_BUILD/tests/xplane_standin/vario-xplane-standin
[ -x "$standin_src" ] || fail "no $standin_src (run scripts/build)"

STANDIN_PID=
STANDIN_PORT=
# start_standin [--port N] [--script T:FPM,...]: the X-Plane stand-in; its log in standin.txt.
start_standin() {
  rm -f "$dir/standin.port"
  (cd "$dir" && exec timeout 120 "$standin_src" --port-file standin.port "$@" >>"$dir/standin.txt" 2>&1) &
  STANDIN_PID=$!
  for _ in $(seq 100); do [ -s "$dir/standin.port" ] && break; sleep 0.1; done
  [ -s "$dir/standin.port" ] || fail "the X-Plane stand-in did not start: $(cat "$dir/standin.txt")"
  STANDIN_PORT=$(cat "$dir/standin.port")
}
stop_standin() {
  [ -n "$STANDIN_PID" ] || return 0
  kill "$STANDIN_PID" 2>/dev/null || true
  wait "$STANDIN_PID" 2>/dev/null || true
  STANDIN_PID=
}
CLIENT_PIDS=()
# vario-make-dial (cairo, or GDI+ under Wine): a bad option set is a message and status 2
# and leaves no file (and an existing one as it was); --help and --version answer; a
# scale of one's own is drawn over an existing file, with its marks where the scale puts
# the needle (the unit test's probe reads it).
make_dial_options() {
  local tool=vario-make-dial words status version expected scale="0:0,0.5:30,1:55,2:95,3.5:135,5:165"
  for words in "--dial FPM3000 --output dial.txr" "--scale 0:0,100:170 --output dial.txr" \
    "--scale 1:0,100:100 --output dial.txr" "--scale 0:0,100:100,50:120 --output dial.txr" \
    "--scale 0:0,100:100 --units FTM --output dial.txr" "--dial MS5 --units MS --output dial.txr" \
    "--dial MS5 --scale 0:0,1:100 --output dial.txr" "--output dial.txr" "--dial MS5" "--dial MS5 --output" \
    "--dial MS5 --dial KT10 --output dial.txr" "--frobnicate --output dial.txr"; do
    status=0
    RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" $words >"$dir/options.txt" 2>&1 || status=$?
    [ "$status" -eq 2 ] || fail "$tool $words: status $status, not 2: $(cat "$dir/options.txt")"
    grep -q "^$tool: .*" "$dir/options.txt" || fail "$tool $words: no message: $(cat "$dir/options.txt")"
    ! ls "$dir"/dial.txr* >/dev/null 2>&1 || fail "$tool $words wrote $(ls "$dir"/dial.txr*)"
  done
  note "$tool: 12 bad option sets, status 2 with a message and no file each; e.g. $(head -n 1 "$dir/options.txt" | tr -d '\r')"
  echo "the user's own" >"$dir/dial.txr"
  status=0
  RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" --scale 0:0,9:170 --output dial.txr >"$dir/options.txt" 2>&1 || status=$?
  [ "$status" -eq 2 ] && [ "$(cat "$dir/dial.txr")" = "the user's own" ] ||
    fail "$tool with a bad scale over an existing file: status $status, file now $(head -c 40 "$dir/dial.txr")"
  status=0
  RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" --dial MS5 --output no/such/folder/dial.txr >"$dir/options.txt" 2>&1 || status=$?
  [ "$status" -eq 1 ] && grep -q "^$tool: cannot write" "$dir/options.txt" ||
    fail "$tool into a missing folder: status $status: $(cat "$dir/options.txt")"
  RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" --help >"$dir/help.txt" 2>&1 || fail "$tool --help: $(cat "$dir/help.txt")"
  grep -q -- "--scale TEXT" "$dir/help.txt" || fail "$tool --help does not tell --scale: $(cat "$dir/help.txt")"
  version=$(RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" --version | tr -d '\r') || fail "$tool --version failed"
  expected=$(sed -nE 's/^project\(ZevraVario VERSION ([0-9.]+) .*/\1/p' "$REPO_DIR/CMakeLists.txt")
  [ "$version" = "$tool $expected" ] || fail "$tool --version says '$version', not '$tool $expected'"
  RUN_TIMEOUT=60 run_in "$dir" "$platform" "$tool" --scale "$scale" --units MS --output dial.txr >"$dir/options.txt" 2>&1 ||
    fail "$tool --scale $scale: $(cat "$dir/options.txt")"
  [ ! -e "$dir/dial.txr.part" ] || fail "$tool left dial.txr.part behind"
  VARIO_TEST_SCALE_DIAL=$dir/dial.txr "$VARIO_LINUX_BUILD/tests/unit/unit_tests" --gtest_filter='ScaleDialImage.*' \
    >"$dir/probe.txt" 2>&1 || fail "the dial $tool drew for $scale: $(grep -B2 -A3 Failure "$dir/probe.txt" | head -n 30)"
  grep -q "PASSED.*1 test" "$dir/probe.txt" || fail "the probe of the dial did not run: $(cat "$dir/probe.txt")"
  note "$tool ($platform): --help, --version '$version', a missing folder is status 1, a scale's marks where its needle goes"
}

stop_all() {
  set +e
  local pid
  for pid in "${SENDER_PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for pid in "${CLIENT_PIDS[@]}"; do
    pkill -TERM -P "$(pgrep -P "$pid" | head -n 1)" 2>/dev/null  # under run_in's timeout
    pkill -TERM -P "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  stop_data_server
  stop_simulator
  stop_standin
  cleanup_scratch
}
trap stop_all EXIT

# expect_reply PORT TEXT SECONDS: the server answers TEXT within the time.
expect_reply() {
  local got
  for _ in $(seq $((${3} * 5))); do
    got=$(query "$1")
    [ "$got" = "$2" ] && { note "reply $got"; return 0; }
    sleep 0.2
  done
  fail "expected the reply '$2' within $3 s, last got '$got'; server: $(tail -n 5 "$dir/server.txt"); stand-in: $(tail -n 5 "$dir/standin.txt")"
}
# expect_line FILE TEXT SECONDS
expect_line() {
  for _ in $(seq $((${3} * 10))); do grep -qF -- "$2" "$1" && return 0; sleep 0.1; done
  fail "expected '$2' in $(basename "$1") within $3 s; it holds: $(cat "$1")"
}
# probe_read: one read of the vertical speed through the simulator link; prints the line.
probe_read() {
  if [ "$platform" = windows ]; then
    cp -n "$VARIO_WINDOWS_BUILD/tools/simhost/vario-simlink-probe.exe" "$dir/" 2>/dev/null || true
    run_in "$dir" windows vario-simlink-probe --reads 1 2>&1 | tr -d '\r' | grep '^read:' || true
  else
    (cd "$dir" && timeout 30 "$VARIO_LINUX_BUILD/tools/simhost/vario-simlink-probe" --reads 1 2>&1 | grep '^read:') || true
  fi
}
expect_probe() {  # expect_probe LINE SECONDS
  local got
  for _ in $(seq $((${2} * 4))); do
    got=$(probe_read)
    [ "$got" = "$1" ] && { note "$got"; return 0; }
    sleep 0.25
  done
  fail "expected '$1' within $2 s, last got '$got'; simulator: $(tail -n 5 "$dir/sim.txt")"
}


# ---- A glider simulator's datagrams (tests/e2e/condor_sender.py) ----
SENDER_PIDS=()
# start_sender PORTS MODE ARGS...: a sender in the background; its pid in SENDER_PID.
start_sender() {
  timeout 120 python3 "$E2E_DIR/condor_sender.py" "$@" >>"$dir/sender.txt" 2>&1 &
  SENDER_PID=$!
  SENDER_PIDS+=("$SENDER_PID")
}
unused_udp_port() {
  python3 -c 'import socket; s = socket.socket(type=socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# start_bridge NAME TOOL ARGS...: a tool of the platform in the background, its output
# in NAME.txt; a data server's port in PORT_OF[NAME] once it listens.
declare -A PORT_OF
start_bridge() {
  local name=$1 tool=$2
  shift 2
  if [ "$tool" = vario-simhost ]; then
    export SIMLINK_RUNTIME_DIR=$dir/run
    mkdir -p -m 700 "$SIMLINK_RUNTIME_DIR"
    RUN_TIMEOUT=200 run_in "$dir" "$platform" vario-simhost "$@" >"$dir/$name.txt" 2>&1 &
    CLIENT_PIDS+=($!)
    expect_line "$dir/$name.txt" ready 30
    return 0
  fi
  RUN_TIMEOUT=200 run_in "$dir" "$platform" vario-dataserver --bind 127.0.0.1 --port 0 "$@" >"$dir/$name.txt" 2>&1 &
  CLIENT_PIDS+=($!)
  for _ in $(seq 300); do
    PORT_OF[$name]=$(tr -d '\r' <"$dir/$name.txt" | sed -nE 's/^listening on port ([0-9]+)$/\1/p' | head -n 1)
    [ -n "${PORT_OF[$name]}" ] && return 0
    sleep 0.1
  done
  fail "$name did not listen: $(cat "$dir/$name.txt")"
}
# start_gauge NAME [INI LINES]: the platform's gauge with a black dial, frameless, in
# simulator mode or as the lines say; its launcher in GAUGE_OF[NAME].
declare -A GAUGE_OF GAUGE_DIR_OF
GAUGE_COUNT=0
start_gauge() {
  local gauge_dir
  gauge_dir=$(needle_bundle)
  frameless_ini "$gauge_dir" "${2:-}" $((20 + 320 * GAUGE_COUNT)) 0
  GAUGE_COUNT=$((GAUGE_COUNT + 1))
  RUN_TIMEOUT=200 run_in "$gauge_dir" "$platform" ORVEXVario >"$gauge_dir/out.txt" 2>"$gauge_dir/err.txt" &
  GAUGE_OF[$1]=$!
  GAUGE_DIR_OF[$1]=$gauge_dir
  CLIENT_PIDS+=($!)
}
# gauge_figures NAME [--black-dial]: the figures of a screenshot of the gauge's window.
gauge_figures() {
  local id
  id=$(launched_window_id "${GAUGE_OF[$1]}") && [ -n "$id" ] || return 1
  window_figures "${GAUGE_DIR_OF[$1]}" "$id" ${2:-}
}
# expect_gauge NAME RAW: within thirty seconds the needle is within 1 degree of the raw
# value on the scale, or (RAW "off") the OFF flag covers at least 2 % of the window.
expect_gauge() {
  local name=$1 want=$2 expected= got=
  [ "$want" = off ] || expected=$("$native_probe" angle "$want")
  for _ in $(seq 60); do
    if [ "$want" = off ]; then
      got=$(gauge_figures "$name" | figure red) &&
        awk -v s="$got" 'BEGIN { exit !(s >= 0.02) }' && { note "$name gauge: OFF flag, red share $got"; return 0; }
    else
      got=$(gauge_figures "$name" --black-dial | figure needle) && angle_matches "$expected" "$got" 1.0 &&
        { note "$name gauge: needle $got deg for raw $want (scale $expected)"; return 0; }
    fi
    kill -0 "${GAUGE_OF[$name]}" 2>/dev/null || fail "the $name gauge ended: $(tail -n 5 "${GAUGE_DIR_OF[$name]}/err.txt")"
    sleep 0.5
  done
  fail "the $name gauge: expected ${expected:-the OFF flag} (raw $want), measured '${got}'; its errors: $(tail -n 5 "${GAUGE_DIR_OF[$name]}/err.txt")"
}

TOOL_PID=
# start_tool NAME ARGS...: a tool of the bundle straight from the scratch folder, so that
# signals reach it and not a wrapper; its output in NAME.txt, its process TOOL_PID.
start_tool() {
  local name=$1
  shift
  (cd "$dir" && exec "./$(program_file "$platform" "$name")" "$@" >"$dir/$name.txt" 2>&1) &
  TOOL_PID=$!
  CLIENT_PIDS+=("$TOOL_PID")
}
# expect_signal_ends SIGNAL WHAT: the signal ends TOOL_PID within a second, with status 0.
expect_signal_ends() {
  local signal=$1 what=$2 started status=0 elapsed
  started=$EPOCHREALTIME
  kill -s "$signal" "$TOOL_PID"
  for _ in $(seq 300); do kill -0 "$TOOL_PID" 2>/dev/null || break; sleep 0.01; done
  elapsed=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
  kill -0 "$TOOL_PID" 2>/dev/null && fail "$what: still running $elapsed s after SIG$signal"
  wait "$TOOL_PID" || status=$?
  [ "$status" -eq 0 ] || fail "$what: status $status after SIG$signal"
  awk -v e="$elapsed" 'BEGIN { exit !(e <= 1) }' || fail "$what: SIG$signal took $elapsed s"
  note "$what: SIG$signal ended it in $elapsed s, status 0"
}

case "$case_name" in
  xplane_dataserver)
    # 1000 ft/min climb is -305 m/min; 500 ft/min descent is 152.
    start_standin --script 0:1000,6:-500
    start_data_server "$dir" --source "xplane:127.0.0.1:$STANDIN_PORT"
    expect_reply "$DATA_PORT" -305 5
    expect_reply "$DATA_PORT" 152 12
    expect_line "$dir/standin.txt" "subscribe 30 Hz index 1 sim/cockpit2/gauges/indicators/vvi_fpm_pilot from 127.0.0.1:" 1
    expect_line "$dir/server.txt" "xplane 127.0.0.1:$STANDIN_PORT: live" 1
    # The simulator goes away: after 2 s a connected client is closed at its next request,
    # and new connections are refused.
    exec {kept}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    printf '2114,2,4\0' >&$kept
    IFS= read -r -d '' -t 3 reply <&$kept && [ "$reply" = 152 ] || fail "no reply on the kept connection: '$reply'"
    stop_standin
    expect_line "$dir/server.txt" "xplane 127.0.0.1:$STANDIN_PORT: no data for 2 s, retrying" 4
    expect_line "$dir/server.txt" "stopped listening on port $DATA_PORT while the simulator gives no data" 1
    printf '2114,2,4\0' >&$kept
    status=0
    IFS= read -r -d '' -t 3 reply <&$kept || status=$?
    [ "$status" -ne 0 ] && [ "$status" -le 128 ] && [ -z "$reply" ] ||
      fail "the kept connection was not closed at its request (read status $status, '$reply')"
    exec {kept}>&-
    expect_reply "$DATA_PORT" refused 2
    # It comes back (knowing nothing of the old subscription): values within 3 s.
    port=$STANDIN_PORT
    : >"$dir/standin.txt"
    start_standin --port "$port" --script 0:-1000
    expect_reply "$DATA_PORT" 305 4
    expect_line "$dir/standin.txt" "subscribe 30 Hz index 1" 1
    [ "$(grep -c 'xplane 127.0.0.1:.*: live' "$dir/server.txt")" -eq 2 ] || fail "each change is told once: $(cat "$dir/server.txt")"
    [ "$(grep -c "^listening on port $DATA_PORT\$" "$dir/server.txt")" -eq 2 ] &&
      [ "$(grep -c "^stopped listening on port $DATA_PORT " "$dir/server.txt")" -eq 1 ] ||
      fail "listening, stopping and listening again are told once each: $(cat "$dir/server.txt")"
    # Ending the bridge cancels the subscription.
    stop_data_server
    expect_line "$dir/standin.txt" "cancel index 1 from 127.0.0.1:" 2
    ;;
  xplane_simhost)
    start_standin --script 0:1000
    start_simulator "$dir" --source "xplane:127.0.0.1:$STANDIN_PORT"
    expect_probe "read: result 0 value -305" 5
    # No data: the exchange fails (reply 0, result 13) and the value is not written.
    stop_standin
    sleep 2.2
    expect_probe "read: result 13 value 12345" 3
    expect_line "$dir/sim.txt" "xplane 127.0.0.1:$STANDIN_PORT: no data for 2 s, retrying" 1
    start_standin --port "$STANDIN_PORT" --script 0:-500
    expect_probe "read: result 0 value 152" 4
    stop_simulator
    # Under Wine the process is ended from outside, with no signal of its own to take.
    [ "$platform" = windows ] || expect_line "$dir/standin.txt" "cancel index 1 from 127.0.0.1:" 2
    ;;
  dataserver_many_clients)
    start_data_server "$dir" --value -157
    # A client that connects and never says anything, one that stops inside a request,
    # one that sends requests and never reads the replies: none holds up the others.
    exec {silent}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    exec {halfway}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    printf '2114,2,' >&$halfway
    exec {unread}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    for _ in $(seq 50); do printf '2114,2,4\0'; done >&$unread
    for i in $(seq 20); do
      got=$(query "$DATA_PORT")
      [ "$got" = -157 ] || fail "query $i beside the stuck clients: '$got'"
    done
    note "20 queries answered beside a silent, a half-way and a non-reading client"
    # One connection with many requests in a row is answered in order.
    exec {steady}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    for i in $(seq 5); do
      printf '2114,2,4\0' >&$steady
      IFS= read -r -d '' -t 3 reply <&$steady || fail "request $i on one connection got no reply"
      [ "$reply" = -157 ] || fail "request $i on one connection: '$reply'"
    done
    # A request that runs past 4096 bytes without its NUL: the client is dropped.
    exec {long}<>"/dev/tcp/127.0.0.1/$DATA_PORT"
    head -c 5000 /dev/zero | tr '\0' 7 >&$long
    status=0
    IFS= read -r -d '' -t 3 reply <&$long || status=$?
    [ "$status" -ne 0 ] && [ "$status" -le 128 ] && [ -z "$reply" ] ||
      fail "a request of 5000 bytes without NUL was not dropped (read status $status, '$reply')"
    note "a request longer than 4096 bytes without NUL ends its connection"
    # A client that floods requests and never reads is dropped once its replies no longer
    # fit, while others are still answered; the server's memory stays where it was.
    server_pid=$(pgrep -P "$SERVER_PID" | head -n 1)  # the server under its timeout wrapper
    rss_before=$(awk '/VmRSS/ { print $2 }' "/proc/$server_pid/status")
    (exec {flood}<>"/dev/tcp/127.0.0.1/$DATA_PORT"; yes '2114,2,4' | tr '\n' '\0' >&$flood 2>/dev/null) &
    flood_pid=$!
    CLIENT_PIDS+=("$flood_pid")
    for i in $(seq 10); do
      got=$(query "$DATA_PORT")
      [ "$got" = -157 ] || fail "query $i beside the flooding client: '$got'"
    done
    for _ in $(seq 300); do kill -0 "$flood_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$flood_pid" 2>/dev/null && fail "the client that never reads its replies was still served after 30 s"
    rss_after=$(awk '/VmRSS/ { print $2 }' "/proc/$server_pid/status")
    note "flooding client dropped; server memory ${rss_before} kB before, ${rss_after} kB after"
    [ "$rss_after" -lt $((rss_before + 16384)) ] || fail "the server grew from $rss_before kB to $rss_after kB"
    exec {silent}>&- {halfway}>&- {unread}>&- {steady}>&- {long}>&-
    ;;
  simhost_client_never_reads)
    # A client that keeps sending and never reads its replies is dropped; meanwhile and
    # afterwards the simulator answers another client at once.
    start_simulator "$dir" --value 42
    stuck=$VARIO_LINUX_BUILD/tests/simlink_stuck_client/vario-simlink-stuck-client
    [ -x "$stuck" ] || fail "no $stuck (run scripts/build)"
    timeout 60 "$stuck" 6 >"$dir/stuck.txt" 2>&1 &
    stuck_pid=$!
    CLIENT_PIDS+=("$stuck_pid")
    for i in $(seq 5); do
      got=$(probe_read)
      [ "$got" = "read: result 0 value 42" ] || fail "read $i beside the client that never reads: '$got'"
      sleep 0.5
    done
    wait "$stuck_pid" || fail "the stuck client failed: $(cat "$dir/stuck.txt")"
    expect_contains "$dir/stuck.txt" "dropped by the add-on"
    note "$(cat "$dir/stuck.txt")"
    expect_probe "read: result 0 value 42" 2
    ;;
  dataserver_crowd)
    # 256 clients at once beside a flood of garbage, the silent one making room when all
    # places are taken, and a silent client closed after 30 s.
    start_data_server "$dir" --value -157
    timeout 120 python3 "$E2E_DIR/dataserver_crowd.py" "$DATA_PORT" -157 >"$dir/crowd.txt" 2>&1 ||
      fail "$(cat "$dir/crowd.txt")"
    cat "$dir/crowd.txt"
    ;;
  tool_options)
    [ "$platform" = linux ] || cp "$(bundle_dir "$platform")"/vario-*.exe "$dir/"
    # One strict reading of options: anything but a whole number for a port or a count, a
    # duration out of bounds, or a word not known is a message and status 2.
    for tool in vario-dataserver vario-simhost; do
      for words in "--port 8e3" "--port 70000" "--late inf" "--listen-delay 1e10" "--close-after 1.5" \
        "--exchanges 0x" "--delay-ms 9e3" "--reply 1e3" "--source xplane:h:8e3" "--quantity instrument" \
        "--source flightgear --quantity vsi" "--value" "--frobnicate"; do
        # Each tool knows only some of these; the others are unknown to it, which ends it too.
        status=0
        RUN_TIMEOUT=30 run_in "$dir" "$platform" "$tool" $words >"$dir/options.txt" 2>&1 || status=$?
        [ "$status" -eq 2 ] || fail "$tool $words: status $status, not 2: $(cat "$dir/options.txt")"
        grep -q "^$tool: .*" "$dir/options.txt" || fail "$tool $words: no message: $(cat "$dir/options.txt")"
      done
      note "$tool: 13 bad options, status 2 with a message each; e.g. $(head -n 1 "$dir/options.txt" | tr -d '\r')"
    done
    make_dial_options
    ;;
  tool_signals)
    # SIGINT, SIGTERM and SIGHUP end either tool within a second in every state, and a
    # bridge to X-Plane cancels its subscription first.
    start_tool vario-dataserver --port 0 --listen-delay 3600
    sleep 0.3
    expect_signal_ends INT "vario-dataserver in a listen delay of an hour"
    start_tool vario-dataserver --port 0 --bind 127.0.0.1 --source "xplane:127.0.0.1:$(unused_port)"
    expect_line "$dir/vario-dataserver.txt" "while the simulator gives no data" 3
    expect_signal_ends TERM "vario-dataserver not listening while X-Plane is silent"
    start_tool vario-dataserver --port 0 --bind 127.0.0.1 --source "flightgear:sim.invalid"
    expect_line "$dir/vario-dataserver.txt" "flightgear sim.invalid:5401: host not found, retrying" 5
    expect_signal_ends INT "vario-dataserver bridging a FlightGear whose host is not found"
    start_standin --script 0:1000
    start_tool vario-dataserver --port 0 --bind 127.0.0.1 --source "xplane:127.0.0.1:$STANDIN_PORT"
    expect_line "$dir/vario-dataserver.txt" "xplane 127.0.0.1:$STANDIN_PORT: live" 5
    expect_line "$dir/standin.txt" "subscribe 30 Hz index 1" 1
    expect_signal_ends HUP "vario-dataserver bridging X-Plane"
    expect_line "$dir/standin.txt" "cancel index 1 from 127.0.0.1:" 2

    export SIMLINK_RUNTIME_DIR=$dir/run
    mkdir -p -m 700 "$SIMLINK_RUNTIME_DIR"
    : >"$dir/standin.txt"
    start_tool vario-simhost --source "xplane:127.0.0.1:$STANDIN_PORT"
    expect_line "$dir/vario-simhost.txt" "ready" 5
    expect_line "$dir/standin.txt" "subscribe 30 Hz index 1" 3
    expect_signal_ends HUP "vario-simhost bridging X-Plane"
    expect_line "$dir/standin.txt" "cancel index 1 from 127.0.0.1:" 2
    # In the middle of an answer held back for ten minutes.
    start_tool vario-simhost --trace --delay-ms 600000
    expect_line "$dir/vario-simhost.txt" "ready" 5
    (cd "$dir" && exec timeout 60 "$VARIO_LINUX_BUILD/tools/simhost/vario-simlink-probe" --reads 1 >probe.txt 2>&1) &
    CLIENT_PIDS+=($!)
    expect_line "$dir/vario-simhost.txt" "exchange 1:" 5
    expect_signal_ends INT "vario-simhost holding an answer back"
    ;;
  condor)
    # Both tools bridging a glider simulator's datagrams at 20 Hz, the gauges' needles
    # read from screenshots: evario by default, nettovario when asked; a second sender is
    # ignored; garbage, 64 KB datagrams, NaN and values out of range are no data (the OFF
    # flag), and all runs on until good datagrams come again.
    native_probe=$VARIO_LINUX_BUILD/tests/gauge_probe/vario-gauge-probe
    [ "$platform" = linux ] || cp "$(bundle_dir "$platform")"/vario-*.exe "$dir/"
    server_udp=$(unused_udp_port)
    sim_udp=$(unused_udp_port)
    netto_udp=$(unused_udp_port)
    ports=$server_udp,$sim_udp,$netto_udp
    # 2.5 m/s climb is raw -150 (metres per minute, descent positive); nettovario
    # -1.25 m/s is 75.
    start_sender "$ports" good 2.5 -1.25
    first_sender=$SENDER_PID
    start_bridge server vario-dataserver --source "condor:$server_udp"
    start_bridge netto vario-dataserver --source "condor:$netto_udp" --quantity nettovario
    start_bridge sim vario-simhost --source "condor:$sim_udp"
    start_gauge network "$(network_lines "${PORT_OF[server]}")"
    start_gauge simulator
    expect_gauge network -150
    expect_gauge simulator -150
    expect_reply "${PORT_OF[netto]}" 75 10
    expect_line "$dir/server.txt" "condor 0.0.0.0:$server_udp: live" 1

    # A second sender with other values changes nothing while the first speaks.
    start_sender "$ports" good -3 -3
    second_sender=$SENDER_PID
    expect_line "$dir/sender.txt" "sending from port" 5
    sleep 1
    for _ in 1 2 3; do
      [ "$(query "${PORT_OF[server]}")" = -150 ] && [ "$(query "${PORT_OF[netto]}")" = 75 ] ||
        fail "the second sender was heard: $(query "${PORT_OF[server]}"), $(query "${PORT_OF[netto]}")"
      sleep 0.3
    done
    expect_gauge simulator -150
    note "a second sender is ignored"

    # Only hostile datagrams: no data, every tool and gauge still running. They start once
    # the feed has gone stale, so that the hostile sender is the one taken (before that its
    # datagrams are ignored as a second sender's). The stale line names the second sender
    # when its last datagram came after the first sender's last.
    end_helper "$first_sender"
    end_helper "$second_sender"
    # (Under Wine the tool's standard output and error write over each other in one file.)
    if [ "$platform" = windows ]; then
      sleep 3
    else
      stale="condor 0.0.0.0:$server_udp: (no data for 2 s|datagrams from 127.0.0.1:[0-9]+ ignored), retrying"
      for _ in $(seq 100); do grep -qE -- "$stale" "$dir/server.txt" && break; sleep 0.1; done
      grep -qE -- "$stale" "$dir/server.txt" || fail "no stale line in server.txt within 10 s; it holds: $(cat "$dir/server.txt")"
    fi
    start_sender "$ports" hostile
    hostile_sender=$SENDER_PID
    expect_gauge network off
    expect_gauge simulator off
    for _ in 1 2 3 4; do
      [ "$(query "${PORT_OF[server]}")" = refused ] && [ "$(query "${PORT_OF[netto]}")" = refused ] ||
        fail "a hostile datagram gave data: $(tail -n 3 "$dir/server.txt")"
      sleep 0.5
    done
    for pid in "${CLIENT_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null || fail "a tool or gauge ended: $(tail -n 3 "$dir"/*.txt)"; done
    note "garbage, 64 KB datagrams, NaN and out-of-range values: no data, nothing ended"

    # Good datagrams again, once the hostile sender has been silent for 2 s.
    end_helper "$hostile_sender"
    start_sender "$ports" good -1 2
    expect_gauge network 60
    expect_gauge simulator 60
    expect_reply "${PORT_OF[netto]}" -120 10
    ;;
  xplane_total_energy)
    # Speed traded for height at constant energy, climbing at 5 m/s: the indicator shows
    # the climb (raw -300), total energy stays within 0.3 m/s of nothing (raw within 18).
    start_standin --energy-trade 5
    start_data_server "$dir" --source "xplane:127.0.0.1:$STANDIN_PORT"
    expect_reply "$DATA_PORT" -300 25
    stop_data_server
    start_data_server "$dir" --source "xplane:127.0.0.1:$STANDIN_PORT" --quantity te
    expect_line "$dir/standin.txt" "sim/time/total_running_time_sec" 5
    readings=()
    for _ in $(seq 40); do
      got=$(query "$DATA_PORT")
      [[ "$got" =~ ^-?[0-9]+$ ]] || fail "total energy: no value but '$got'; server: $(tail -n 3 "$dir/server.txt")"
      [ "${got#-}" -le 18 ] || fail "total energy $got m/min while trading speed for height at constant energy"
      readings+=("$got")
      sleep 0.25
    done
    note "total energy over 10 s of a 5 m/s pull-up and dive at constant energy: ${readings[*]}"
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "bridges $case_name: ok"
