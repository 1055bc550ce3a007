#!/usr/bin/env bash
# scripts/demo ends every process it started when its process group gets Ctrl-C's
# SIGINT (or it gets SIGTERM), quietly: the run's processes (Xvfb, the source, the gauge,
# Wine's server and services) are known by a tag in their environment or by their
# working directory, and after the signal none of them may be left and nothing may have
# been printed.
# Usage: demo.sh SIGNAL [DEMO OPTIONS...]   (SIGNAL: INT to the group, TERM to the script)
source "$(dirname "$0")/lib.sh"
signal=$1
shift
tag=vario-demo-$$-$RANDOM
log=$(mktemp "${TMPDIR:-/tmp}/vario-demo.XXXXXX")
SCRATCH_DIRS+=("$log")

# demo_pids [NAME]: the demo's processes (named NAME, if given): those that carry this
# run's tag, and those working in the demo's folders, its Wine prefix or that prefix's
# wineserver directory (Wine's processes rewrite their environment, so the tag misses
# them). A few processes per look, whatever the number of processes on the machine.
demo_prefix=$REPO_DIR/build/wineprefix-demo
demo_pids() {
  local server_dir=/nonexistent dev ino pid cwd
  if [ -d "$demo_prefix" ]; then
    read -r dev ino < <(stat -c '%d %i' "$demo_prefix")
    server_dir=$(printf '/tmp/.wine-%d/server-%x-%x' "$(id -u)" "$dev" "$ino")
  fi
  {
    grep -lzx "VARIO_DEMO_TAG=$tag" /proc/[0-9]*/environ 2>/dev/null | sed -E 's|/proc/([0-9]+)/environ|\1|'
    find /proc -mindepth 2 -maxdepth 2 -name cwd -printf '%h %l\n' 2>/dev/null |
      while read -r pid cwd; do
        case "$cwd" in
          "$REPO_DIR/build/demo/"* | "$demo_prefix" | "$demo_prefix/"* | "$server_dir") echo "${pid#/proc/}" ;;
        esac
      done
  } | sort -un | while read -r pid; do
    [ -z "${1:-}" ] || grep -qa -- "$1" "/proc/$pid/cmdline" 2>/dev/null || continue
    echo "$pid"
  done
  # find reports the processes that went away while it looked: not a failure here.
  return 0
}
describe() { local pid; for pid in "$@"; do echo "$pid: $({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null)"; done; }

# Without a display, so that the demo starts its own; in a session of its own, so that
# the signal reaches its whole process group as Ctrl-C in a terminal does; with SIGINT
# handled as in a terminal's foreground job (a background job of a script ignores it).
env -u DISPLAY VARIO_DEMO_TAG="$tag" python3 -c '
import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.setsid()
os.execv(sys.argv[1], sys.argv[1:])' "$REPO_DIR/scripts/demo" "$@" >"$log" 2>&1 </dev/null &
demo_pid=$!
leftovers() {
  local pids
  pids=$(demo_pids)
  [ -z "$pids" ] || { describe $pids; kill -KILL $pids 2>/dev/null; }
}
trap 'leftovers >/dev/null; cleanup_scratch' EXIT

# Running once the gauge and its source are up (a build or a Wine prefix may come first),
# within a time that leaves this script, not CTest, to end the demo.
started=0
while ((SECONDS < 240)); do
  if [ -n "$(demo_pids ORVEXVario)" ] && [ -n "$(demo_pids vario-simhost)$(demo_pids vario-dataserver)" ]; then
    started=1
    break
  fi
  kill -0 "$demo_pid" 2>/dev/null || fail "the demo ended by itself: $(tail -n 20 "$log")"
  sleep 0.5
done
((started)) || fail "the gauge and its source did not start: $(tail -n 20 "$log")"
sleep 2
note "running: $(describe $(demo_pids) | tr '\n' ';')"
[ "$(ps -o pgid= -p "$demo_pid" | tr -d ' ')" = "$demo_pid" ] || fail "the demo does not lead its process group"

# What the demo printed until now; after the signal nothing more may come (an X error
# of a gauge whose display went first, a helper's complaint about the signal).
printed=$(wc -c <"$log")
case "$signal" in
  INT) kill -INT -- "-$demo_pid" ;;
  TERM) kill -TERM "$demo_pid" ;;
  *) fail "unknown signal $signal" ;;
esac
for _ in $(seq 200); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demo_pid" 2>/dev/null && fail "the demo did not end within 20 seconds of SIG$signal"
# The status tells that the demo itself acted on the signal (130 or 143, as a shell).
status=0
wait "$demo_pid" || status=$?
expected=$((128 + $(kill -l "$signal")))
[ "$status" -eq "$expected" ] || fail "the demo ended with status $status, not $expected: $(tail -n 20 "$log")"
left=$(leftovers)
[ -z "$left" ] || fail "left running after SIG$signal: $left"
after=$(tail -c +$((printed + 1)) "$log")
[ -z "$after" ] || fail "after SIG$signal the demo printed: $after"
note "demo $* ended on SIG$signal with nothing left"
