#!/usr/bin/env bash
# The simulator link between real processes: vario-simlink-probe (a minimal client of
# the link) against the bundle's vario-simhost, natively or both under Wine.
# Usage: simlink.sh linux|windows CASE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
: "${VARIO_LINUX_BUILD:=$REPO_DIR/build/linux}"
dir=$(scratch_bundle "$platform")
if [ "$platform" = windows ]; then
  probe_src=$VARIO_WINDOWS_BUILD/tools/simhost/vario-simlink-probe.exe
else
  probe_src=$VARIO_LINUX_BUILD/tools/simhost/vario-simlink-probe
fi
[ -f "$probe_src" ] || fail "no $probe_src (run scripts/build)"
cp "$probe_src" "$dir/"
# This run's own rendezvous directory, so that parallel runs never meet.
export SIMLINK_RUNTIME_DIR=$dir/run
mkdir -m 700 "$SIMLINK_RUNTIME_DIR"

host=$dir/sim.txt
probe=$dir/probe.txt
trap 'stop_simulator; cleanup_scratch' EXIT
start_host() { start_simulator "$dir" "$@"; }  # start_host ARGS...: until it answers

probe_status=0
run_probe() {  # Windows programs end their lines with CR LF
  probe_status=0
  run_in "$dir" "$platform" vario-simlink-probe "$@" >"$probe" 2>&1 || probe_status=$?
  sed -i 's/\r$//' "$probe"
}

wait_host_end() {  # the host quits by itself after its --exchanges
  for _ in $(seq 300); do
    if ! kill -0 "$SIM_PID" 2>/dev/null; then
      SIM_PID=
      sed -i 's/\r$//' "$host"
      return 0
    fi
    sleep 0.1
  done
  fail "vario-simhost did not quit after its exchanges: $(cat "$host")"
}

case "$case_name" in
  scripted)
    # A scripted value read through the whole exchange; the handshake writes 1004 once.
    start_host --script 0:123,1.2:-77 --exchanges 4
    run_probe --reads 3 --interval-ms 800
    [ "$probe_status" -eq 0 ] || fail "probe exit $probe_status: $(cat "$probe")"
    expect_contains "$probe" "open: result 0 add-on version 0x19980005 sim version 0xB"
    [ "$(grep -c '^read: result 0 value 123$' "$probe")" -eq 2 ] || fail "expected 123 twice: $(cat "$probe")"
    expect_contains "$probe" "read: result 0 value -77"
    wait_host_end
    expect_contains "$host" "exchange 1: R 3304+4 R 3308+4 W 330A+2[EC 03]"
    expect_contains "$host" "exchange 4: R 0842+2"
    [ "$(grep -c ' W ' "$host")" -eq 1 ] || fail "the client version was written more than once: $(cat "$host")"
    ;;
  zero_versions)
    # Five handshake passes, then 14 under the fallback class; the version write stays in pass 1.
    start_host --fallback-class --zero-versions --exchanges 5
    run_probe
    expect_contains "$probe" "open: result 14 "
    expect_contains "$probe" "read: result 9 value 12345"
    wait_host_end
    expect_contains "$host" "exchange 5: R 3304+4 R 3308+4"
    ;;
  old_addon)
    start_host --addon-version 0x19980004 --exchanges 1
    run_probe
    expect_contains "$probe" "open: result 7 "
    ;;
  wrong_sim_version)
    start_host --sim-version 0xFADE0009 --exchanges 1
    run_probe --sim-version 10
    expect_contains "$probe" "open: result 8 "
    ;;
  rejected)
    start_host --reply 2 --exchanges 1
    run_probe
    expect_contains "$probe" "open: result 13 "
    ;;
  vanished)
    # The simulator goes away after the link was opened: the exchange that finds its
    # window gone fails and closes the link, so the next read answers "not open" at once.
    # (Reads half a second apart: a window whose process is still ending may fail the
    # send in other ways, which counts as an exchange that failed, not a window gone.)
    start_host --value 42 --exchanges 2
    run_probe --reads 3 --interval-ms 500
    [ "$probe_status" -eq 1 ] || fail "probe exit $probe_status, expected 1: $(cat "$probe")"
    expect_contains "$probe" "open: result 0 "
    expect_contains "$probe" "read: result 0 value 42"
    [ "$(grep -c '^read: result 12 value 12345$' "$probe")" -eq 1 ] || fail "expected one failed exchange: $(cat "$probe")"
    [ "$(grep -c '^read: result 9 value 12345$' "$probe")" -eq 1 ] || fail "expected the link closed after it: $(cat "$probe")"
    ;;
  no_simulator)
    run_probe --reads 1
    expect_contains "$probe" "open: result 2 "
    expect_contains "$probe" "read: result 9 value 12345"
    ;;
  timed_out)
    # Every attempt runs into the 2000 ms time-out: about 21 s, then 11.
    start_host --delay-ms 3000
    started=$(date +%s)
    run_probe
    elapsed=$(($(date +%s) - started))
    expect_contains "$probe" "open: result 11 "
    [ "$elapsed" -ge 20 ] || fail "gave up after ${elapsed}s, expected about 21 s"
    ;;
  private_area)
    # The request area is an anonymous memory file of the client: no name in /dev/shm
    # to squat while the link is open, and nothing left behind after.
    start_host --delay-ms 1500 --exchanges 1
    (cd "$dir" && exec ./vario-simlink-probe >"$probe" 2>&1) &
    probe_pid=$!
    name=SimLinkLib:IPC:$(printf '%X' "$probe_pid"):1
    held=
    for _ in $(seq 30); do
      held=$(ls -l "/proc/$probe_pid/fd" 2>/dev/null | grep -F "/memfd:$name") && break
      sleep 0.1
    done
    [ -n "$held" ] || fail "the probe holds no memory file $name"
    [ ! -e "/dev/shm/$name" ] || fail "/dev/shm/$name exists"
    wait "$probe_pid" || true
    expect_contains "$probe" "open: result 0 "
    [ ! -e "/dev/shm/$name" ] || fail "/dev/shm/$name left behind"
    ;;
  other_user)
    # An add-on of another user cannot answer for the simulator.
    [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null || { note "needs root and setpriv; skipped"; exit 0; }
    other=$(mktemp -d "${TMPDIR:-/tmp}/vario-e2e-other.XXXXXX")
    SCRATCH_DIRS+=("$other")
    cp "$dir/vario-simhost" "$other/"
    chown -R 65534:65534 "$other"
    chmod 700 "$other"
    export SIMLINK_RUNTIME_DIR=$other
    (cd "$other" && exec timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups ./vario-simhost --trace >"$host" 2>&1) &
    SIM_PID=$!
    for _ in $(seq 50); do grep -q ready "$host" && break; sleep 0.1; done
    expect_contains "$host" "ready"
    run_probe
    expect_contains "$probe" "open: result 2 "
    grep -q "exchange" "$host" && fail "the other user's add-on was asked: $(cat "$host")"
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "simlink $platform $case_name: ok"
