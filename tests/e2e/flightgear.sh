#!/usr/bin/env bash
# The gauge against a real FlightGear: one fgfs with a Cessna in the air, bridged by
# vario-dataserver (the Linux gauge and the Windows gauge under Wine, in network mode) and
# by vario-simhost (the Linux gauge in simulator mode), all at once. Each needle is read
# from a screenshot and compared with what the bridges read, the cockpit's vertical speed
# indicator, read from FlightGear's property server just before and just after it. Then FlightGear is stopped (the gauges show that
# they have no data) and started again (the needles come back). Last, a data server reading
# total energy watches a pull-up with the engine at idle: the plain vertical speed climbs
# while the total energy stays below nothing.
# Usage: flightgear.sh NATIVE_PROBE
source "$(dirname "$0")/gauge_lib.sh"
native_probe=$1
platform=linux
export ORVEX_DIALOGS=stderr SIM_TIMEOUT=1500 SERVER_TIMEOUT=1500
export PATH=$PATH:/usr/games
command -v fgfs >/dev/null || fail "no fgfs: scripts/install-flightgear installs FlightGear"
[ -d /usr/share/games/flightgear ] || fail "no FlightGear data in /usr/share/games/flightgear"

work=$(mktemp -d "${TMPDIR:-/tmp}/vario-flightgear.XXXXXX")
SCRATCH_DIRS+=("$work")
FG_PID=
GAUGE_PIDS=()
stop_flightgear() {
  [ -n "$FG_PID" ] || return 0
  kill "$FG_PID" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$FG_PID" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$FG_PID" 2>/dev/null || true
  wait "$FG_PID" 2>/dev/null || true
  FG_PID=
}
stop_all() {
  local status=$?
  set +e
  local pid
  if [ "$status" -ne 0 ]; then
    echo "-- data server: $(tail -n 8 "$work/server.txt" 2>/dev/null)"
    echo "-- simulator host: $(grep -v '^exchange' "$work/sim.txt" 2>/dev/null | tail -n 8)"
    echo "-- fgfs: $(tail -n 5 "$work/fgfs.log" 2>/dev/null)"
  fi
  for pid in "${GAUGE_PIDS[@]}"; do pkill -TERM -P "$pid" 2>/dev/null; kill "$pid" 2>/dev/null; done
  for pid in "${GAUGE_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  WINEPREFIX=$VARIO_WINEPREFIX wineserver -k 2>/dev/null
  stop_flightgear
  stop_data_server
  stop_simulator
  stop_display
  cleanup_scratch
}
trap stop_all EXIT

# A display of this test's own (FlightGear and the three gauges side by side), with a
# window manager, and a Wine prefix of its own.
for n in $(seq 150 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
[ -n "${display:-}" ] || fail "no free display number"
VARIO_WM_DISPLAY=$display start_window_manager
VARIO_WINEPREFIX=$REPO_DIR/build/wineprefix-flightgear

# A loopback port where nothing listens yet, for FlightGear's property server.
fg_port=
for _ in $(seq 50); do
  candidate=$((20000 + RANDOM % 40000))
  (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null || { fg_port=$candidate; break; }
done
[ -n "$fg_port" ] || fail "no free port for FlightGear"

# start_flightgear: fgfs on this display, until its property server answers (minutes).
# Each start has a HOME of its own, so that the second does not load what the first saved.
FG_STARTS=0
start_flightgear() {
  FG_STARTS=$((FG_STARTS + 1))
  local home=$work/fg-home-$FG_STARTS
  mkdir -p "$home"
  local started=$SECONDS
  # Its frame rate is held down to spare the machine's other work; the property server
  # answers about once a frame, which is plenty for a gauge.
  DBUS_FATAL_WARNINGS=0 HOME=$home timeout 1500 fgfs --fg-root=/usr/share/games/flightgear \
    --aircraft=c172p --airport=KSFO --altitude=3000 --vc=90 --heading=280 --in-air \
    --telnet=socket,bi,60,127.0.0.1,$fg_port,tcp --disable-sound --disable-splash-screen --disable-ai-traffic \
    --disable-real-weather-fetch --disable-terrasync --geometry=320x240 --timeofday=noon \
    --prop:/sim/frame-rate-throttle-hz=15 >>"$work/fgfs.log" 2>&1 &
  FG_PID=$!
  # FlightGear listens long before it serves: one connection waits in its queue (a new
  # one each second would fill the queue, and connecting would then hang).
  FG_FD=
  while [ $((SECONDS - started)) -lt 900 ]; do
    kill -0 "$FG_PID" 2>/dev/null || fail "fgfs ended: $(tail -n 20 "$work/fgfs.log")"
    if [ -z "$FG_FD" ] && ! fg_connect 2>/dev/null; then
      sleep 1
      continue
    fi
    fg_read 5
    if [ -n "$FG_VALUE" ]; then
      fg_connect  # afresh, without the questions queued while it loaded
      note "FlightGear answers on port $fg_port after $((SECONDS - started)) s"
      fg_wait_steady
      return 0
    fi
    [ "$FG_READ_STATUS" -gt 128 ] || { exec {FG_FD}>&-; FG_FD=; sleep 1; }  # closed: connect again
  done
  fail "FlightGear's property server did not answer within 15 minutes: $(tail -n 20 "$work/fgfs.log")"
}

# fg_wait_steady: FlightGear's first frames after loading can take seconds each, which
# the bridges rightly report as no data, and it answers 0 before its flight model runs;
# the gauges are looked at once 20 answers in a row have come within a second each and
# the vertical speed has changed among them.
fg_wait_steady() {
  local started=$SECONDS in_row=0 reads=0 first=
  while [ "$in_row" -lt 20 ] || [ "$FG_VALUE" = "$first" ]; do
    [ $((SECONDS - started)) -lt 600 ] || fail "FlightGear did not answer steadily within 10 minutes"
    fg_read 1
    reads=$((reads + 1))
    if [ -n "$FG_VALUE" ]; then
      in_row=$((in_row + 1))
      [ "$in_row" -gt 1 ] || first=$FG_VALUE
    else
      in_row=0
      fg_connect
    fi
  done
  local timed_from=$SECONDS
  for _ in $(seq 20); do fg_read 2; done
  note "FlightGear answers steadily after $((SECONDS - started)) s more ($reads reads); 20 reads took $((SECONDS - timed_from)) s"
}

# One connection of the test's own to the property server, in data mode.
FG_FD=
fg_connect() {
  [ -z "$FG_FD" ] || exec {FG_FD}>&-
  FG_FD=
  exec {FG_FD}<>"/dev/tcp/127.0.0.1/$fg_port" || { FG_FD=; return 1; }
  printf 'data\r\n' >&$FG_FD
}
# fg_read [WAIT [PROPERTY]]: the vertical speed indicator's reading now into FG_VALUE,
# feet per minute, climb positive (or the property's value); empty when none came within
# WAIT seconds (default 15), FG_READ_STATUS telling why (above 128: the wait ran out).
FG_VALUE=
FG_READ_STATUS=0
fg_read() {
  local line=
  FG_READ_STATUS=0
  printf 'get %s\r\n' "${2:-/instrumentation/vertical-speed-indicator/indicated-speed-fpm}" >&$FG_FD 2>/dev/null ||
    FG_READ_STATUS=1
  [ "$FG_READ_STATUS" -ne 0 ] || IFS= read -r -t "${1:-15}" line <&$FG_FD || FG_READ_STATUS=$?
  FG_VALUE=${line%$'\r'}
}
# fg_read_patient [WAIT [PROPERTY]]: as fg_read, but a simulator that pauses (loading
# scenery) is waited for, on a new connection, up to two minutes.
fg_read_patient() {
  local started=$SECONDS
  while [ $((SECONDS - started)) -lt 120 ]; do
    fg_read "${1:-10}" ${2:+"$2"}
    [ -z "$FG_VALUE" ] || return 0
    fg_connect 2>/dev/null || sleep 1
  done
}
# raw_of FPM: the bridges' raw value, metres per minute descent positive, rounded.
raw_of() { awk -v fpm="$1" 'BEGIN { v = -fpm / 3.28084; printf "%d\n", (v < 0 ? v - 0.5 : v + 0.5) }'; }

# start_gauge NAME PLATFORM DIR: the gauge of the bundle in DIR, in the background.
declare -A GAUGE_PID_OF GAUGE_DIR_OF GAUGE_PLATFORM_OF
start_gauge() {
  local name=$1
  GAUGE_DIR_OF[$name]=$3
  GAUGE_PLATFORM_OF[$name]=$2
  RUN_TIMEOUT=1400 run_in "$3" "$2" ORVEXVario >"$3/out.txt" 2>"$3/err.txt" &
  GAUGE_PID_OF[$name]=$!
  GAUGE_PIDS+=($!)
}
gauge_window() {  # gauge_window NAME: its window id, waiting up to a minute
  local id
  for _ in $(seq 300); do
    id=$(launched_window_id "${GAUGE_PID_OF[$1]}") && [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "${GAUGE_PID_OF[$1]}" 2>/dev/null || fail "the $1 gauge ended: $(tail -n 5 "${GAUGE_DIR_OF[$1]}/err.txt")"
    sleep 0.2
  done
  fail "the $1 gauge's window did not appear"
}
expect_title() {  # expect_title NAME TEXT [TEXT...]: one of the texts within thirty seconds
  local id title want
  id=$(gauge_window "$1")
  for _ in $(seq 150); do
    title=$(xdotool getwindowname "$id" 2>/dev/null) || true
    for want in "${@:2}"; do
      [ "$title" = "$want" ] && { note "$1 gauge: title \"$title\""; return 0; }
    done
    sleep 0.2
  done
  fail "the $1 gauge's title is \"$title\", not \"$2\""
}

# expect_needle_follows NAME: the needle matches FlightGear's vertical speed, read just
# before and just after the screenshot, within 3 degrees of the range the two reads span.
# The aircraft's vertical speed swings by hundreds of feet per minute within seconds, so
# a picture that falls between two changes can miss: 3 of up to 12 pictures must match.
expect_needle_follows() {
  local name=$1 dir=${GAUGE_DIR_OF[$1]} id matched=0 attempt
  id=$(gauge_window "$name")
  for attempt in $(seq 12); do
    local before after needle raw_before raw_after angle_before angle_after verdict
    fg_read_patient
    before=$FG_VALUE
    needle=$(window_needle "$dir" "$id") || needle=
    fg_read_patient
    after=$FG_VALUE
    [ -n "$before" ] && [ -n "$after" ] || fail "FlightGear's property server stopped answering"
    raw_before=$(raw_of "$before")
    raw_after=$(raw_of "$after")
    angle_before=$("$native_probe" angle "$raw_before")
    angle_after=$("$native_probe" angle "$raw_after")
    verdict=$(awk -v a="$angle_before" -v b="$angle_after" -v m="$needle" 'BEGIN {
      lo = a < b ? a : b; hi = a < b ? b : a
      if (m == "" || m !~ /^-?[0-9]+(\.[0-9]+)?$/) { print "no needle"; exit }
      d = m < lo ? lo - m : (m > hi ? m - hi : 0)
      printf "%s (%.1f deg off the range)\n", d <= 3 ? "match" : "MISS", d }')
    printf -- '-- %s gauge: FlightGear %s then %s ft/min (raw %s, %s; scale %.1f..%.1f deg); needle %s deg: %s\n' \
      "$name" "$before" "$after" "$raw_before" "$raw_after" "$angle_before" "$angle_after" "${needle:-none}" "$verdict"
    [[ "$verdict" == match* ]] && matched=$((matched + 1))
    [ "$matched" -ge 3 ] && { note "$name gauge follows FlightGear ($matched of $attempt pictures match)"; return 0; }
    sleep 0.7
  done
  fail "the $name gauge's needle matched FlightGear's vertical speed in $matched of 12 pictures"
}


# fg_set PROPERTY VALUE...: sets properties on a connection of its own (data mode answers
# a "set" with nothing), closed once a "get" after them is answered.
fg_set() {
  local fd line
  exec {fd}<>"/dev/tcp/127.0.0.1/$fg_port" || fail "no connection to FlightGear to set $1"
  printf 'data\r\n' >&$fd
  while [ $# -ge 2 ]; do printf 'set %s %s\r\n' "$1" "$2" >&$fd; shift 2; done
  printf 'get /sim/time/elapsed-sec\r\n' >&$fd
  IFS= read -r -t 30 line <&$fd || true
  exec {fd}>&-
}
# pull_up: engine to idle (both throttle properties), then the elevator pulled for six
# seconds; each reading of the indicator (ft/min) is paired with the total-energy data
# server's reply (raw: metres per minute, descent positive) in $work/pull.txt. The
# aircraft's true airspeed first (knots) in PULL_SPEED.
pull_up() {
  fg_read_patient 15 /fdm/jsbsim/velocities/vtrue-kts
  PULL_SPEED=${FG_VALUE%.*}
  fg_set /controls/engines/engine/throttle 0 /controls/engines/current-engine/throttle 0
  sleep 2
  fg_set /controls/flight/elevator -0.7
  : >"$work/pull.txt"
  local started=$SECONDS
  while [ $((SECONDS - started)) -lt 6 ]; do
    fg_read_patient
    echo "$FG_VALUE $(query "$DATA_PORT")" >>"$work/pull.txt"
  done
}
# pull_up_verdict: "ok" when the indicator rose above +500 ft/min and at least four in
# five of the total-energy readings were sink, else what was wrong.
pull_up_verdict() {
  awk '{ if ($1 > best) best = $1; if ($2 ~ /^-?[0-9]+$/) { n++; if ($2 > 0) sink++ } }
    END { if (best <= 500) print "the indicator rose to " best " ft/min only"
          else if (n == 0 || sink * 5 < n * 4) print "total energy was sink in " sink + 0 " of " n + 0 " readings"
          else print "ok: indicator up to " best " ft/min, total energy sink in " sink " of " n " readings" }' best=-99999 "$work/pull.txt"
}

start_flightgear
# An aircraft without the instrument answers it empty, as any property it lacks: the
# bridges then read the flight model instead. The Cessna has one, so they do not.
fg_read 10 /instrumentation/no-such-instrument/indicated-speed-fpm
[ "$FG_READ_STATUS" -eq 0 ] && [ -z "$FG_VALUE" ] ||
  fail "FlightGear answered a property it lacks with '$FG_VALUE' (read status $FG_READ_STATUS), not an empty line"
note "FlightGear answers a property it lacks with an empty line"

# The bridges, and the gauges side by side beside FlightGear's window.
start_data_server "$work" --source "flightgear:127.0.0.1:$fg_port"
start_simulator "$work" --source "flightgear:127.0.0.1:$fg_port"
linux_network=$(needle_bundle)
frameless_ini "$linux_network" "$(network_lines "$DATA_PORT")" 340 0
start_gauge linux-network linux "$linux_network"
linux_simulator=$(needle_bundle)
frameless_ini "$linux_simulator" "" 660 0
start_gauge linux-simulator linux "$linux_simulator"
platform=windows
windows_network=$(needle_bundle)
platform=linux
frameless_ini "$windows_network" "$(network_lines "$DATA_PORT")" 340 340
start_gauge windows-network windows "$windows_network"

# Connected: at window creation when FlightGear is already live, else on a reconnection.
connected_titles=("ZEVRA VARIOMETER v1.2 - [NETWORK]" "ZEVRA VARIO - Freeware [NETWORK]")
expect_title linux-network "${connected_titles[@]}"
expect_title windows-network "${connected_titles[@]}"
expect_title linux-simulator "ZEVRA VARIOMETER v1.2 - [SIMLINK]"
for gauge in linux-network linux-simulator windows-network; do expect_needle_follows "$gauge"; done
for told in "$work/server.txt" "$work/sim.txt"; do
  grep -qx "flightgear 127.0.0.1:$fg_port: live" "$told" ||
    fail "the bridge did not read the Cessna's vertical speed indicator: $(grep flightgear "$told")"
done

# FlightGear stops: the network gauges go back to connecting, the simulator-mode gauge's
# exchanges fail, so that neither shows an old value as if it were current.
stop_flightgear
expect_title linux-network "ZEVRA VARIO - Freeware [CONNECTING...]"
expect_title windows-network "ZEVRA VARIO - Freeware [CONNECTING...]"
eventually grep -q "(no data: failing reply)" "$work/sim.txt" ||
  fail "the simulator-mode gauge's exchanges did not fail after FlightGear stopped: $(tail -n 3 "$work/sim.txt")"
note "linux-simulator gauge: its exchanges fail (no data)"
# The bridges say why: FlightGear's port is closed now.
eventually grep -q "flightgear 127.0.0.1:$fg_port: connection refused, retrying" "$work/server.txt" ||
  fail "the data server did not say that FlightGear refused the connection: $(grep flightgear "$work/server.txt")"
for gauge in linux-network linux-simulator windows-network; do
  kill -0 "${GAUGE_PID_OF[$gauge]}" 2>/dev/null || fail "the $gauge gauge ended while FlightGear was away"
done

# FlightGear again, on the same port: the needles come back without restarting anything.
start_flightgear
expect_title linux-network "ZEVRA VARIO - Freeware [NETWORK]"
expect_title windows-network "ZEVRA VARIO - Freeware [NETWORK]"
for gauge in linux-network linux-simulator windows-network; do expect_needle_follows "$gauge"; done

# Total energy: idle and a pull-up trade speed for height, which the indicator shows as
# climb and total energy does not. Tried once more if the first pull did not climb.
stop_data_server
mkdir -p "$work/te"
start_data_server "$work/te" --source "flightgear:127.0.0.1:$fg_port" --quantity te
for attempt in 1 2; do
  # Engine at full power until the aircraft is fast enough to climb on a pull (at most
  # a minute and a half): it may still be swinging from what went before.
  fg_set /controls/engines/engine/throttle 1 /controls/engines/current-engine/throttle 1 /controls/flight/elevator 0
  started=$SECONDS
  while [ $((SECONDS - started)) -lt 90 ]; do
    fg_read_patient 15 /fdm/jsbsim/velocities/vtrue-kts
    [ "${FG_VALUE%.*}" -ge 85 ] 2>/dev/null && break
    sleep 1
  done
  pull_up
  verdict=$(pull_up_verdict)
  note "pull-up $attempt at $PULL_SPEED kt: $verdict"
  [[ "$verdict" == ok* ]] && break
  [ "$attempt" -eq 1 ] || fail "total energy in a pull-up: $verdict; readings: $(tr '\n' ' ' <"$work/pull.txt")"
done
note "flightgear: ok"
