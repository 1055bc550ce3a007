#!/usr/bin/env bash
# The remote value query of a unit-test build against real vario-dataserver processes.
# Usage: net_dataserver.sh CLIENT SERVER, each linux or windows: CLIENT is the unit-test
# build that queries (windows: under Wine, so that WinSock is used for real), SERVER the
# bundle whose vario-dataserver answers.
source "$(dirname "$0")/lib.sh"
client=$1
server=$2
: "${VARIO_LINUX_BUILD:=$REPO_DIR/build/linux}"
dir=$(scratch_bundle "$server")
server_program=$(program_file "$server" vario-dataserver)
[ -x "$dir/$server_program" ] || [ "$server" = windows ] || fail "no $server_program in the $server bundle"
[ -f "$dir/$server_program" ] || fail "no $server_program in the $server bundle"
[ "$server" = windows ] && wine_env

server_pids=()
stop_servers() {
  local pid
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${server_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  cleanup_scratch
}
trap stop_servers EXIT

# start_server NAME ARGS...: starts a server on a free port and sets NAME to that port.
start_server() {
  local name=$1
  shift
  local port_file=$name.port
  if [ "$server" = windows ]; then
    (cd "$dir" && exec wine "./$server_program" --port 0 --port-file "$port_file" "$@" >"$name.out" 2>&1) &
  else
    (cd "$dir" && exec "./$server_program" --port 0 --port-file "$port_file" "$@" >"$name.out" 2>&1) &
  fi
  server_pids+=($!)
  for _ in $(seq 600); do [ -s "$dir/$port_file" ] && break; sleep 0.1; done
  [ -s "$dir/$port_file" ] || fail "$server_program $* did not start listening: $(cat "$dir/$name.out" 2>/dev/null)"
  printf -v "$name" '%s' "$(tr -d '\r\n' <"$dir/$port_file")"
}

start_server VARIO_DATASERVER_VALUE_PORT --value -157 --log
start_server VARIO_DATASERVER_BLANKS_PORT --raw '  12  \0'
start_server VARIO_DATASERVER_LINE_END_PORT --raw '12\r\n\0'
start_server VARIO_DATASERVER_CLOSING_PORT --close-after 0
start_server VARIO_DATASERVER_COMMA_PORT --raw '1,5\0'
start_server VARIO_DATASERVER_POINT_PORT --raw '1.5\0'
delayed_port=$(unused_port)
if [ "$server" = windows ]; then
  (cd "$dir" && exec wine "./$server_program" --port "$delayed_port" --listen-delay 4 --value 33 >delayed.out 2>&1) &
else
  (cd "$dir" && exec "./$server_program" --port "$delayed_port" --listen-delay 4 --value 33 >delayed.out 2>&1) &
fi
server_pids+=($!)
export VARIO_DATASERVER_VALUE_PORT VARIO_DATASERVER_BLANKS_PORT VARIO_DATASERVER_LINE_END_PORT \
  VARIO_DATASERVER_CLOSING_PORT VARIO_DATASERVER_COMMA_PORT VARIO_DATASERVER_POINT_PORT \
  VARIO_DATASERVER_DELAYED_PORT=$delayed_port

# run_client OUTPUT GTEST-FILTER: runs the client build's tests; returns their status.
run_client() {
  local out=$1 filter=$2
  if [ "$client" = windows ]; then
    local exe=$VARIO_WINDOWS_BUILD/tests/unit/unit_tests.exe
    [ -f "$exe" ] || fail "no $exe (run scripts/build)"
    wine_env
    (cd "$dir" && timeout 240 wine "$exe" --gtest_filter="$filter" >"$out" 2>&1)
  else
    local exe=$VARIO_LINUX_BUILD/tests/unit/unit_tests
    [ -x "$exe" ] || fail "no $exe (run scripts/build)"
    (cd "$dir" && timeout 240 "$exe" --gtest_filter="$filter" >"$out" 2>&1)
  fi
}

out=$dir/client.out
status=0
run_client "$out" 'DataServer.*' || status=$?
cat "$out"
[ "$status" -eq 0 ] || fail "the $client queries against the $server server failed (status $status)"
expect_contains "$out" "[  PASSED  ] 6 tests."
if grep -qF "SKIPPED" "$out"; then fail "tests were skipped"; fi
expect_contains "$dir/VARIO_DATASERVER_VALUE_PORT.out" "request: 2114,2,4"
expect_contains "$dir/VARIO_DATASERVER_VALUE_PORT.out" "request: -5,2,4"

# Once more with the user's regional settings in German: the comma is the separator.
# Wine takes it from the locale variables, through glibc as a native program does; glibc
# needs the locale's data, built here (a fresh machine has none but C).
mkdir -p "$dir/locales"
localedef -i de_DE -f UTF-8 "$dir/locales/de_DE.UTF-8" 2>"$dir/localedef.err" ||
  [ -d "$dir/locales/de_DE.UTF-8" ] || fail "cannot build the de_DE locale: $(cat "$dir/localedef.err")"
export LOCPATH=$dir/locales
# Wine keeps the regional settings in its prefix's registry and rewrites them for the
# locale of each program it starts: a prefix of this run's own keeps other tests' out.
[ "$client" = windows ] && VARIO_WINEPREFIX=$REPO_DIR/build/wineprefix-comma
out=$dir/client-comma.out
status=0
LC_ALL=de_DE.UTF-8 VARIO_EXPECT_DECIMAL_SEPARATOR=, run_client "$out" 'DataServer.ReplyFollows*' || status=$?
cat "$out"
[ "$status" -eq 0 ] || fail "the $client queries in a comma locale failed (status $status)"
expect_contains "$out" "[  PASSED  ] 1 test."
note "net dataserver: $client client, $server server: ok"
