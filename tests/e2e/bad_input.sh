#!/usr/bin/env bash
# Hostile input to ORVEXVario as a real process, natively and under Wine: extreme window
# geometry, files that never end or never open (the gauge's images and a dial image of
# the user's own), configuration files behind links, in folders it may not write, owned
# by others or in UTF-16, enormous values, a key held before the start. Each case checks
# the exit status, the message, the peak memory and the files after the run.
# Usage: bad_input.sh linux|windows CASE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
export ORVEX_DIALOGS=stderr
max_rss_kb=$((200 * 1024))

# run_gauge DIR: the gauge to its end (a hang is a failure), status in STATUS, standard
# error in DIR/err.txt, the peak memory checked.
run_gauge() {
  local dir=$1
  STATUS=0
  PEAK_RSS_FILE=$dir/.rss RUN_TIMEOUT=${RUN_TIMEOUT:-30} run_in "$dir" "$platform" ORVEXVario 2>"$dir/err.txt" || STATUS=$?
  [ "$STATUS" -ne 124 ] || fail "the gauge hung; stderr: $(head -c 2000 "$dir/err.txt")"
  local rss
  rss=$(peak_rss_kb "$dir/.rss")
  [ "$rss" -lt "$max_rss_kb" ] || fail "peak memory $rss kB"
  note "exit $STATUS, peak memory $rss kB"
}

expect_status() { [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1; stderr: $(head -c 2000 "$dir/err.txt")"; }

# make_input PATH KIND: a file that must not be read whole or waited on.
make_input() {
  local path=$1
  rm -f "$path"
  case "$2" in
    devzero) ln -s /dev/zero "$path" ;;
    sparse) truncate -s 1G "$path" ;;
    fifo) mkfifo "$path" ;;
    # A bitmap whose header declares 16384 by 16384 pixels, then a gigabyte of nothing.
    huge_bitmap)
      printf 'BM\x36\x00\x00\x40\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x00\x40\x00\x00\x00\x40\x00\x00\x01\x00\x18\x00' >"$path"
      truncate -s 1G "$path" ;;
    # An icon whose one entry says 2 GB at 4 GB into the file.
    huge_icon) printf '\x00\x00\x01\x00\x01\x00\x00\x00\x00\x00\x01\x00\x20\x00\xff\xff\xff\x7f\x00\x00\x00\xf0' >"$path" ;;
    *) fail "unknown input $2" ;;
  esac
}

# The rows of the unbounded reads: file, kind, exit status, message.
unbounded_cases() {
  cat <<'EOF'
ORVEXVari.INI devzero 1 ORVEXVari.INI. Not a regular file
ORVEXVari.INI sparse 1 ORVEXVari.INI. The file is larger than 4 MB
ORVEXVari.INI fifo 1 ORVEXVari.INI. Not a regular file
plane2.ico devzero 1 plane2.ico". Not a regular file
plane2.ico sparse 1 Icon image is not valid
plane2.ico fifo 1 plane2.ico". Not a regular file
plane2.ico huge_icon 1 Icon image is not valid
vario.txr devzero 1 [Error] initialization failed.
vario.txr sparse 1 [Error] initialization failed.
vario.txr fifo 1 [Error] initialization failed.
vario.txr huge_bitmap 1 [Error] initialization failed.
myface.txr devzero 1 [Error] initialization failed.
EOF
}

# INI holding UTF-16LE text with its byte-order mark.
utf16_ini() { printf '\xff\xfe'; printf "$1" | iconv -f UTF-8 -t UTF-16LE; }

expect_same_file() {  # expect_same_file FILE EXPECTED_FILE WHAT
  cmp -s "$1" "$2" || fail "$3: the file holds $(od -c "$1" | head -n 8)"
}

no_stray_files() {  # no_stray_files DIR: no temporary file of the configuration is left
  local stray
  stray=$(cd "$1" && ls -A | grep -E '^\.?ORVEXVari\.INI\..+' || true)
  [ -z "$stray" ] || fail "stray files: $stray"
}

case "$case_name" in
  unbounded_reads)
    # Each refused with the paths of the start-up report or the image loader, quickly and
    # within the memory bound. Wine has no pipes, and opening one there waits.
    while read -r file kind status message; do
      [ "$platform" = windows ] && [ "$kind" = fifo ] && continue
      dir=$(scratch_bundle "$platform")
      # Network mode with no server: a missing image fails the window, whatever
      # simulator may run beside the test.
      [ "$file" = ORVEXVari.INI ] || printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$(closed_port)" >"$dir/ORVEXVari.INI"
      # A dial image of the user's own is read as the gauge's own images are.
      [ "$file" != myface.txr ] || printf '[GAUGE]\r\nDIALIMAGE=myface.txr\r\n' >>"$dir/ORVEXVari.INI"
      make_input "$dir/$file" "$kind"
      note "$file as $kind"
      run_gauge "$dir"
      expect_status "$status"
      expect_contains "$dir/err.txt" "$message"
      rm -rf "$dir"
    done < <(unbounded_cases)
    ;;
  enormous_values)
    # A megabyte of a value in the file: the message quotes its first 64 characters and
    # an ellipsis, and stays short.
    trap stop_window_manager EXIT
    start_window_manager
    dir=$(scratch_bundle "$platform")
    { printf '[WINSIZE]\r\nWIDTH='; head -c 1048576 /dev/zero | tr '\0' '7'; printf 'x\r\n'; } >"$dir/ORVEXVari.INI"
    cp "$dir/ORVEXVari.INI" "$dir/before.ini"
    run_gauge "$dir"
    expect_status 1
    expect_contains "$dir/err.txt" "'$(printf '7%.0s' $(seq 64))…' is not a valid integer value."
    [ "$(wc -c <"$dir/err.txt")" -lt 1024 ] || fail "a message of $(wc -c <"$dir/err.txt") bytes"
    expect_same_file "$dir/ORVEXVari.INI" "$dir/before.ini" "bad value"

    # A server whose one reply is a megabyte of digits: the gauge drops that connection
    # (no reply is that long), says nothing of its bytes and runs on without a value.
    port=$(unused_port)
    python3 - "$port" "$dir/listening" "$dir/answered" <<'PY' &
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(1)
open(sys.argv[2], "w").close()
server.settimeout(60)
connection, _ = server.accept()
connection.recv(64)
try:
    connection.sendall(b"1" * 64 + b"x" * 1048576 + b"\0")
except OSError:
    pass  # the gauge closed the connection before the whole reply went out
open(sys.argv[3], "w").close()
connection.settimeout(10)
try:
    connection.recv(64)
except OSError:
    pass
PY
    server_pid=$!
    printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n' "$port" >"$dir/ORVEXVari.INI"
    eventually test -e "$dir/listening" || fail "the test server did not listen"
    RUN_TIMEOUT=60 start_gauge "$dir"
    eventually_id >/dev/null
    eventually test -e "$dir/answered" || fail "the test server's reply did not go out"
    sleep 1
    kill -0 "$GAUGE_PID" 2>/dev/null || { wait "$GAUGE_PID" || STATUS=$?; fail "the gauge ended (status ${STATUS:-0}): $(head -c 2000 "$dir/err.txt")"; }
    [ "$(wc -c <"$dir/err.txt")" -lt 1024 ] || fail "a message of $(wc -c <"$dir/err.txt") bytes"
    end_with Escape
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    ;;
  utf16_read)
    # A UTF-16 file is read: its bad value is reported as it stands there.
    dir=$(scratch_bundle "$platform")
    utf16_ini '[WINSIZE]\r\nWIDTH=abc\r\n' >"$dir/ORVEXVari.INI"
    run_gauge "$dir"
    expect_status 1
    expect_contains "$dir/err.txt" "'abc' is not a valid integer value."
    ;;
  extreme_geometry)
    # Framed windows from the most extreme values: no crash, a window X can hold, and
    # no write to the file without a key.
    trap stop_window_manager EXIT
    start_window_manager
    while read -r x y width height; do
      # Wine shows no window placed beyond its 16-bit coordinates; Windows takes the
      # position as it stands, and the program passes it on unchanged there.
      [ "$platform" = windows ] && [ "$x" != 0 ] && continue
      dir=$(scratch_bundle "$platform")
      printf '[WINDOW]\r\nX=%s\r\nY=%s\r\n[WINSIZE]\r\nWIDTH=%s\r\nHEIGHT=%s\r\n' "$x" "$y" "$width" "$height" >"$dir/ORVEXVari.INI"
      cp "$dir/ORVEXVari.INI" "$dir/before.ini"
      note "X=$x Y=$y WIDTH=$width HEIGHT=$height"
      RUN_TIMEOUT=60 start_gauge "$dir"
      id=$(eventually_id)
      sleep 2
      kill -0 "$GAUGE_PID" 2>/dev/null || { wait "$GAUGE_PID" || STATUS=$?; fail "the gauge ended (status ${STATUS:-0}): $(cat "$dir/err.txt")"; }
      size=$(xwininfo -id "$id" | awk '/Width:/ {w=$NF} /Height:/ {h=$NF} END {print w " " h}')
      read -r w h <<<"$size"
      [ "$w" -le 32767 ] && [ "$h" -le 32767 ] || fail "a window of $w by $h"
      end_with Escape
      # Wine hands the X window manager's late answer to an absurd size (its smallest
      # window) to the program as a resize by the user, which is then kept: that is
      # Wine's window layer, not the program's arithmetic, so only Linux is held to it.
      if [ "$platform" = linux ]; then
        expect_same_file "$dir/ORVEXVari.INI" "$dir/before.ini" "no key pressed"
      fi
      note "window $w by $h, file: $(tr -d '\r' <"$dir/ORVEXVari.INI" | tr '\n' ' ')"
      rm -rf "$dir"
    done <<'EOF'
0 0 -2147483648 -2147483648
0 0 -2147483647 -2147483647
0 0 -2147483648 400
0 0 400 -2147483648
2147483647 0 400 400
-2147483648 -2147483648 400 400
EOF
    ;;
  held_key)
    # Escape held in the X server before the start: the gauge runs on until Escape is
    # pressed while its window has the focus.
    trap 'xdotool keyup Escape 2>/dev/null || true; stop_window_manager' EXIT
    start_window_manager
    dir=$(scratch_bundle "$platform")
    xdotool keydown Escape
    RUN_TIMEOUT=60 start_gauge "$dir"
    eventually_id >/dev/null
    sleep 2
    kill -0 "$GAUGE_PID" 2>/dev/null || { wait "$GAUGE_PID" || STATUS=$?; fail "the held key ended the gauge (status ${STATUS:-0})"; }
    xdotool keyup Escape
    sleep 0.5
    kill -0 "$GAUGE_PID" 2>/dev/null || fail "the release of the held key ended the gauge"
    end_with Escape
    ;;
  config_writes)
    # One step of the position keys (F11, Right) writes X through the configuration file;
    # each row is a file the write must keep as Windows would: the rows' checks follow.
    trap stop_window_manager EXIT
    start_window_manager
    for row in symlink other_owner readonly_folder utf16 killed; do
      [ "$platform" = windows ] && [ "$row" != utf16 ] && continue
      note "configuration file: $row"
      base=$(scratch_bundle "$platform")
      dir=$base
      chmod 755 "$base"
      ini='[WINDOW]\r\nX=20\r\nY=30\r\n; kept\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n'
      want='[WINDOW]\r\nX=21\r\nY=30\r\n; kept\r\n[WINSIZE]\r\nWIDTH=300\r\nHEIGHT=300\r\n'
      as_user=()
      case "$row" in
        symlink)
          mkdir "$base/etc"
          printf "$ini" >"$base/etc/vario.ini"
          chmod 640 "$base/etc/vario.ini"
          ln -s etc/vario.ini "$base/ORVEXVari.INI"
          printf "$want" >"$base/want.ini"
          ;;
        other_owner | readonly_folder)
          printf "$ini" >"$base/ORVEXVari.INI"
          chmod 664 "$base/ORVEXVari.INI"
          chown nobody:nogroup "$base/ORVEXVari.INI"
          printf "$want" >"$base/want.ini"
          if [ "$row" = readonly_folder ]; then
            # The gauge runs as the file's owner, in a folder it cannot create files in.
            chmod -R a+rX "$base"
            chmod 555 "$base"
            as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
          fi
          ;;
        utf16)
          utf16_ini "$ini" >"$base/ORVEXVari.INI"
          utf16_ini "$want" >"$base/want.ini"
          ;;
        killed)
          printf "$ini" >"$base/ORVEXVari.INI"
          ;;
      esac
      RUN_AS=("${as_user[@]}")
      RUN_TIMEOUT=60 start_gauge "$dir"
      RUN_AS=()
      id=$(eventually_id)
      sleep 1
      if [ "$row" = killed ]; then
        # Many writes, then the end without any chance to tidy up.
        xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
        xdotool key --delay 20 F11 $(printf 'Right %.0s' $(seq 40)) 2>/dev/null || true
        pkill -KILL -P "$(pgrep -P "$GAUGE_PID" | head -n 1)" 2>/dev/null || true
        wait "$GAUGE_PID" 2>/dev/null || true
        [ -z "$(cd "$base" && ls -A | grep -E '^ORVEXVari\.INI\..+')" ] || fail "stray files after kill -9: $(ls -A "$base")"
        # The next run's write takes over whatever the killed one left.
        RUN_TIMEOUT=60 start_gauge "$dir"
        eventually_id >/dev/null
        sleep 1
        press F11 Right
        end_with Escape
        grep -qa 'X=' "$base/ORVEXVari.INI" || fail "the file lost its key: $(cat "$base/ORVEXVari.INI")"
        no_stray_files "$base"
        note "$row: $(tr -d '\r' <"$base/ORVEXVari.INI" | tr '\n' ' ')"
        continue
      fi
      press F11 Right
      end_with Escape
      case "$row" in
        symlink)
          [ -L "$base/ORVEXVari.INI" ] || fail "the link was replaced by a file"
          expect_same_file "$base/etc/vario.ini" "$base/want.ini" "$row"
          [ "$(stat -c %a "$base/etc/vario.ini")" = 640 ] || fail "mode $(stat -c %a "$base/etc/vario.ini")"
          no_stray_files "$base/etc"
          ;;
        other_owner | readonly_folder)
          expect_same_file "$base/ORVEXVari.INI" "$base/want.ini" "$row"
          [ "$(stat -c '%U:%G %a' "$base/ORVEXVari.INI")" = "nobody:nogroup 664" ] ||
            fail "owner and mode $(stat -c '%U:%G %a' "$base/ORVEXVari.INI")"
          chmod 755 "$base"
          ;;
        utf16)
          expect_same_file "$base/ORVEXVari.INI" "$base/want.ini" "$row"
          ;;
      esac
      no_stray_files "$base"
      note "$row: kept"
    done
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "bad input $platform $case_name: ok"
