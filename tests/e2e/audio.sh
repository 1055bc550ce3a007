#!/usr/bin/env bash
# The audio variometer heard: ORVEXVario against the development simulator, its sound
# captured into a file (Linux: SDL's disk driver; Windows under Wine: ALSA's file
# device), checked for pitch, beeps, silence, clicks and, on Linux, its delay.
# Usage: audio.sh linux|windows NATIVE_PROBE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
native_probe=$2
export ORVEX_DIALOGS=stderr
tool=$E2E_DIR/audio_capture.py

WATCH_PID=
STAMP_PIDS=()
stop_everything() {
  set +e
  [ -z "$GAUGE_PID" ] || { pkill -TERM -P "$GAUGE_PID" 2>/dev/null; kill "$GAUGE_PID" 2>/dev/null; wait "$GAUGE_PID" 2>/dev/null; }
  stop_simulator
  local pid
  for pid in "${STAMP_PIDS[@]}"; do end_helper "$pid"; done
  end_helper "$WATCH_PID"
  [ -z "${VARIO_KEEP_AUDIO:-}" ] || [ -z "${dir:-}" ] || cp -r "$dir" "$VARIO_KEEP_AUDIO"
  [ "${#WM_PIDS[@]}" -eq 0 ] || stop_window_manager
  cleanup_scratch
  true
}
trap stop_everything EXIT

# start_stamped_simulator DIR LOG ARGS...: the simulator with its exchange log in DIR/LOG,
# each line after its wall time.
start_stamped_simulator() {
  local dir=$1 log=$1/$2
  shift 2
  local simhost
  simhost=$(program_file "$platform" vario-simhost)
  [ -f "$dir/$simhost" ] || cp "$(bundle_dir "$platform")/$simhost" "$dir/"
  export SIMLINK_RUNTIME_DIR=$dir/run
  mkdir -p -m 700 "$SIMLINK_RUNTIME_DIR"
  rm -f "$dir/sim.fifo" "$log"
  mkfifo "$dir/sim.fifo"
  # The pipe held open here lets the stamper start (and say so) before the simulator.
  exec 8<>"$dir/sim.fifo"
  python3 "$tool" stamp "$log" <"$dir/sim.fifo" 8>&- &
  STAMP_PIDS+=($!)
  for _ in $(seq 300); do [ -s "$log" ] && break; sleep 0.1; done
  RUN_TIMEOUT=120 run_in "$dir" "$platform" vario-simhost --trace "$@" >"$dir/sim.fifo" 2>&1 8>&- &
  SIM_PID=$!
  exec 8>&-
  await_ready "$log" "$SIM_PID" vario-simhost
}

# first_exchange_after LOG T: the wall time of the first exchange at or after T in the
# simulator's log, waiting for it up to thirty seconds.
first_exchange_after() {
  local t
  for _ in $(seq 300); do
    t=$(awk -v t="$2" '$2 == "exchange" && $NF >= t { print $NF; exit }' "$1")
    [ -n "$t" ] && { echo "$t"; return 0; }
    sleep 0.1
  done
  fail "no exchange after $2: $(tail -n 3 "$1"); gauge: $(tail -n 3 "$GAUGE_DIR/err.txt")"
}
# ready_time LOG: when the simulator said it was ready.
ready_time() { awk '/vario-simhost: ready/ { print $1; exit }' "$1"; }
now() { date +%s.%N; }
# wait_until T: sleeps until the wall time T.
wait_until() { sleep "$(awk -v t="$1" -v n="$(now)" 'BEGIN { d = t - n; print (d > 0 ? d : 0) }')"; }
# plan_segment FROM TO CLIMB|null [DELAY]: one line of the plan's segments.
plan_segment() { printf '{"from": %s, "to": %s, "climb": %s, "delay": %s}' "$1" "$2" "$3" "${4:-false}"; }

# The scripted values, in seconds from the first exchange and m/s of climb: every pitch
# the checks name, the dead band, and quick steps between two sink tones for the delay.
script_times=(0 2.5 4 7 9.2 10.7 11.9 12.6 13.3 14 14.7 15.4 16.1 16.8 17.5 18.2 18.9 24.9)
script_climbs=(-4 -1 0.5 2 4 0 -4 -1 -4 -1 -4 -1 -4 -1 -4 -1 -2.5 -2.5)
script_option() {
  local i out=""
  for i in "${!script_times[@]}"; do
    out+="${out:+,}${script_times[$i]}:$(awk -v c="${script_climbs[$i]}" 'BEGIN { printf "%g", -60 * c }')"
  done
  echo "$out"
}

# The plan of the main run from the simulator's log: each scripted value from the first
# exchange that carried it, the simulator's absence, and its return.
write_plan() {  # write_plan DIR T0 OFF_AT BACK_AT END DEAD_BAND GROWTH CONTINUOUS...
  local dir=$1 t0=$2 off_at=$3 back_at=$4 end=$5 dead_band=$6 growth=$7
  shift 7
  local segments=() i from to delay
  for i in "${!script_times[@]}"; do
    from=$(first_exchange_after "$dir/sim.txt" "$(awk -v a="$t0" -v b="${script_times[$i]}" 'BEGIN { printf "%.6f", a + b }')")
    if ((i + 1 < ${#script_times[@]})); then
      to=$(awk -v a="$t0" -v b="${script_times[$((i + 1))]}" 'BEGIN { printf "%.6f", a + b }')
    else
      to=$off_at
    fi
    delay=false
    ((i > 6 && i < 16)) && delay=true
    segments+=("$(plan_segment "$from" "$to" "${script_climbs[$i]}" "$delay")")
  done
  # The gauge finds the simulator gone at its next exchange.
  segments+=("$(plan_segment "$(awk -v a="$off_at" 'BEGIN { printf "%.6f", a + 0.5 }')" "$back_at" null)")
  segments+=("$(plan_segment "$back_at" "$end" -4)")
  local joined
  joined=$(IFS=,; echo "${segments[*]}")
  printf '{"volume": 80, "dead_band": %s, "growth": %s, "segments": [%s], "continuous": [%s]}\n' \
    "$dead_band" "$growth" "$joined" "$*" >"$dir/plan.json"
}

# audio_ini DIR LINES: a frameless gauge at 200 frames a second with these [AUDIO] lines.
audio_ini() {
  frameless_ini "$1"
  printf '[GAUGE]\r\nMAXFPS=200\r\n[AUDIO]\r\n%b' "$2" >>"$1/ORVEXVari.INI"
}

# A sound that returns after a missing value: the first sample after T that sounds.
first_sound_after() {  # first_sound_after CAPTURE GROWTH T: prints the wall time
  python3 - "$@" <<'PY'
import sys
capture, growth, t = sys.argv[1], sys.argv[2], float(sys.argv[3])
log = [(float(a), int(b) // 2) for a, b in (l.split() for l in open(growth)) if int(b) > 0]
start = next(n for when, n in log if when >= t)
data = open(capture, "rb").read()
s = memoryview(data[: len(data) // 2 * 2]).cast("h")
i = next((i for i in range(start, len(s)) if s[i] != 0), None)
print(next(when for when, n in log if n > i) if i is not None else "none")
PY
}

start_window_manager
case "$platform" in
  linux)
    dir=$(needle_bundle)
    export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$dir/capture.raw
    audio_ini "$dir" 'VARIO=Y\r\n'
    python3 "$tool" watch "$dir/capture.raw" "$dir/growth.txt" &
    WATCH_PID=$!
    start_stamped_simulator "$dir" sim.txt --script "$(script_option)"
    start_gauge "$dir"
    t0=$(first_exchange_after "$dir/sim.txt" 0)
    note "first exchange at $t0"
    # The window rebuilt twice and moved while a sink tone sounds: no break in it.
    wait_until "$(awk -v a="$t0" 'BEGIN { printf "%.6f", a + 19.4 }')"
    rebuild_from=$(now)
    press F12
    press F12
    xdotool windowmove "$(eventually_id)" 300 200 || fail "cannot move the gauge window"
    sleep 0.5
    rebuild_to=$(now)
    wait_until "$(awk -v a="$t0" 'BEGIN { printf "%.6f", a + 25.9 }')"
    # The simulator gone: silence; back: the tone within a second.
    off_at=$(now)
    stop_simulator
    sleep 2
    start_stamped_simulator "$dir" back.txt --value 240
    back_at=$(ready_time "$dir/back.txt")
    first_back=$(first_exchange_after "$dir/back.txt" 0)
    sleep 2.5
    end=$(now)
    end_with Escape
    stop_simulator
    end_helper "$WATCH_PID"
    WATCH_PID=
    grep -q "runs silent" "$dir/err.txt" && fail "no sound: $(cat "$dir/err.txt")"
    sound_back=$(first_sound_after "$dir/capture.raw" "$dir/growth.txt" "$first_back")
    note "simulator back at $back_at, its first exchange at $first_back, the tone at $sound_back"
    # The gauge looks for a simulator once a second, so the value is back within about a
    # second of the simulator; the tone must follow it within a second.
    awk -v a="$first_back" -v b="$sound_back" 'BEGIN { exit !(b != "none" && b - a < 1.0) }' ||
      fail "the tone did not come back within a second of the simulator's first exchange"
    write_plan "$dir" "$t0" "$off_at" "$first_back" "$end" true "\"$dir/growth.txt\"" "[$rebuild_from, $rebuild_to]"
    python3 "$tool" check "$dir/capture.raw" "$dir/plan.json" || fail "the capture does not sound as due (above)"

    # No dead band: a tone at 0 m/s; and with no audio device, one line and a running gauge.
    audio_ini "$dir" 'VARIO=Y\r\nDEADBAND=N\r\n'
    rm -f "$dir/capture.raw" "$dir/growth.txt"
    python3 "$tool" watch "$dir/capture.raw" "$dir/growth.txt" &
    WATCH_PID=$!
    start_stamped_simulator "$dir" dead_band.txt --value 0
    start_gauge "$dir"
    from=$(first_exchange_after "$dir/dead_band.txt" 0)
    sleep 2
    to=$(now)
    end_with Escape
    end_helper "$WATCH_PID"
    WATCH_PID=
    printf '{"volume": 80, "dead_band": false, "growth": "%s", "segments": [%s]}\n' "$dir/growth.txt" \
      "$(plan_segment "$from" "$to" 0)" >"$dir/plan.json"
    python3 "$tool" check "$dir/capture.raw" "$dir/plan.json" || fail "no tone at 0 m/s without the dead band"
    SDL_AUDIODRIVER=no-such-driver start_gauge "$dir"
    eventually_id >/dev/null
    first_exchange_after "$dir/dead_band.txt" "$(now)" >/dev/null
    [ "$(grep -c "runs silent" "$dir/err.txt")" -eq 1 ] || fail "no device: $(cat "$dir/err.txt")"
    note "no device: $(cat "$dir/err.txt")"
    end_with Escape
    ;;
  windows)
    # Wine's ALSA driver into ALSA's file device, in a home of the test's own. Time in
    # such a file is not wall time (the device takes samples as fast as they come), so
    # the tones are found in the capture itself and no delay is measured.
    dir=$(needle_bundle)
    mkdir -p "$dir/home"
    cat >"$dir/home/.asoundrc" <<ASOUNDRC
pcm.!default { type plug; slave { pcm "capture"; format S16_LE; rate 48000; channels 1 } }
pcm.capture { type file; slave.pcm "null"; file "$dir/capture.raw"; format "raw" }
ASOUNDRC
    wine_env
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1 || fail "cannot choose Wine's ALSA driver"
    audio_ini "$dir" 'VARIO=Y\r\n'
    start_stamped_simulator "$dir" sim.txt --script 0:240,4:-120,8:0
    HOME=$dir/home start_gauge "$dir"
    t0=$(first_exchange_after "$dir/sim.txt" 0)
    wait_until "$(awk -v a="$t0" 'BEGIN { printf "%.6f", a + 9 }')"
    end_with Escape
    [ -s "$dir/capture.raw" ] || fail "nothing was captured: $(tail -n 5 "$dir/err.txt")"
    python3 "$tool" scan "$dir/capture.raw" 80 -4 2 || fail "the capture does not sound as due (above)"
    ;;
  *) fail "unknown platform $platform" ;;
esac
