#!/usr/bin/env bash
# Frames per second of the whole program (ORVEXVario from the Linux bundle against
# vario-simhost, counted as the simulator's exchanges: one per frame) beside a bare
# loop drawing the same three textured quads with no value source, in the same run.
# Usage: bench/frame_rate.sh [SECONDS]   (after scripts/build)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
bundle=$repo/dist/linux
bench=$repo/build/linux/bench/vario-frame-bench
[ -x "$bundle/ORVEXVario" ] && [ -x "$bench" ] || { echo "run scripts/build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vario-frame-rate.XXXXXX")
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
cp -r "$bundle"/. "$work"/
export SIMLINK_RUNTIME_DIR=$work/run ORVEX_DIALOGS=stderr
mkdir -m 700 "$SIMLINK_RUNTIME_DIR"
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :97 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:97
  sleep 1
fi
cd "$work"

# The program: exchanges counted over the measured seconds, after a second of warm-up.
./vario-simhost --trace >sim.txt 2>&1 &
pids+=($!)
sleep 0.3
./ORVEXVario 2>err.txt &
gauge=$!
pids+=($gauge)
sleep 1
first=$(grep -c 'R 0842+2' sim.txt || true)
start=$(date +%s.%N)
sleep "$seconds"
last=$(grep -c 'R 0842+2' sim.txt || true)
end=$(date +%s.%N)
kill "$gauge" 2>/dev/null || true
program_fps=$(awk -v a="$first" -v b="$last" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", (b - a) / (e - s) }')

bare_line=$("$bench" "$seconds")
bare_fps=$(sed -nE 's/.* ([0-9.]+) frames\/s$/\1/p' <<<"$bare_line")

echo "program against vario-simhost: $program_fps frames/s"
echo "$bare_line"
awk -v p="$program_fps" -v b="$bare_fps" 'BEGIN { printf "ratio: %.3f of the bare loop (goal: at least 0.9)\n", p / b }'
