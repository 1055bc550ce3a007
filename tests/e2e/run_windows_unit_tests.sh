#!/usr/bin/env bash
# Runs the Windows build of the unit tests under Wine.
source "$(dirname "$0")/lib.sh"
exe=$VARIO_WINDOWS_BUILD/tests/unit/unit_tests.exe
[ -f "$exe" ] || fail "no $exe (run scripts/build)"
wine_env
dir=$(mktemp -d)
SCRATCH_DIRS+=("$dir")
cd "$dir"
wine "$exe" --gtest_brief=1
