# Shared by the end-to-end scripts: bundles, a scratch working directory, and running a
# bundle's program natively or under Wine. Source it; it sets -euo pipefail.
set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$E2E_DIR/../.." && pwd)
: "${VARIO_LINUX_DIST:=$REPO_DIR/dist/linux}"
: "${VARIO_WINDOWS_DIST:=$REPO_DIR/dist/windows}"
: "${VARIO_WINDOWS_BUILD:=$REPO_DIR/build/windows}"
: "${VARIO_WINEPREFIX:=$REPO_DIR/build/wineprefix}"

fail() { echo "FAIL: $*" >&2; exit 1; }
# A check the machine cannot make now (CTest shows it as skipped: SKIP_RETURN_CODE 77).
skip() { echo "SKIP: $*" >&2; exit 77; }
note() { echo "-- $*"; }

# bundle_dir linux|windows
bundle_dir() {
  case "$1" in
    linux) echo "$VARIO_LINUX_DIST" ;;
    windows) echo "$VARIO_WINDOWS_DIST" ;;
    *) fail "unknown platform $1" ;;
  esac
}

# program_file linux|windows NAME
program_file() { if [ "$1" = windows ]; then echo "$2.exe"; else echo "$2"; fi; }

# Makes a scratch copy of the bundle and prints its path; removed when the script ends.
scratch_bundle() {
  local platform=$1 src
  src=$(bundle_dir "$platform")
  [ -d "$src" ] || fail "no bundle at $src (run scripts/build)"
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vario-e2e.XXXXXX")
  cp -r "$src"/. "$dir"/
  SCRATCH_DIRS+=("$dir")
  echo "$dir"
}
SCRATCH_DIRS=()
cleanup_scratch() { local d; for d in "${SCRATCH_DIRS[@]}"; do rm -rf "$d"; done; }
trap cleanup_scratch EXIT

# A Wine prefix for the tests: made once, with the crash dialog off so that a crash
# fails the test instead of hanging it.
wine_env() {
  export WINEPREFIX=$VARIO_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  [ -n "${DISPLAY:-}" ] || fail "Wine tests need DISPLAY (scripts/test starts a virtual display)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.vario-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      # Let the set-up session end first: windows made while it winds down are not
      # found by programs started after it.
      wineserver -w
      touch "$WINEPREFIX/.vario-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# run_in DIR linux|windows NAME [ARGS...]: runs a bundle program from DIR (its working
# directory) and returns its exit status. Output goes where the caller sends it.
run_in() {
  local dir=$1 platform=$2 name=$3
  shift 3
  local file
  file=$(program_file "$platform" "$name")
  if [ "$platform" = windows ]; then
    wine_env
    (cd "$dir" && timeout "${RUN_TIMEOUT:-60}" wine "./$file" "$@")
  else
    (cd "$dir" && timeout "${RUN_TIMEOUT:-60}" "./$file" "$@")
  fi
}

# expect_contains FILE TEXT
expect_contains() {
  grep -qF -- "$2" "$1" || fail "expected '$2' in $(basename "$1"); it holds: $(cat "$1")"
}
