#!/usr/bin/env bash
# The delay from the frame that shows a new value to the first sample of its tone, as
# the Linux audio capture case measures it (SDL's disk driver, file growth watched each
# millisecond): prints every step's delay and their median (goal: under 50 ms).
# Needs the built bundle (scripts/build) and a DISPLAY; VARIO_WM_DISPLAY names a free
# display for the window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
probe=$(find build/linux -name vario-gauge-probe -type f -not -path '*/CMakeFiles/*' | head -n 1)
[ -n "$probe" ] || { echo "build first: scripts/build" >&2; exit 2; }
bash tests/e2e/audio.sh linux "$probe" | grep -E '^(delays|largest step|capture)'
