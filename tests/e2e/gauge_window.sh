#!/usr/bin/env bash
# The gauge window as a real window, natively and under Wine, driven by the test
# program vario-gauge-probe: pictures read back from GL, the window procedure with a
# real window, and (under a window manager) keys, minimising and the geometry that
# ORVEXVari.INI keeps from one start to the next.
# Usage: gauge_window.sh linux|windows CASE NATIVE_PROBE
source "$(dirname "$0")/gauge_lib.sh"
platform=$1
case_name=$2
native_probe=$3
export ORVEX_DIALOGS=stderr
tolerance_deg=1.0

use_probe

# A working directory with the icon, and gauge images made here: a dark blue dial, a
# red needle pointing to nine o'clock and its mask, white overlays.
test_images_dir() {
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/vario-gauge.XXXXXX")
  SCRATCH_DIRS+=("$dir")
  cp "$VARIO_LINUX_DIST/plane2.ico" "$dir/"
  convert -size 128x128 'xc:rgb(0,0,80)' -type TrueColor "BMP3:$dir/vario.txr"
  convert -size 128x128 xc:black -fill 'rgb(255,0,0)' -draw 'rectangle 6,62 63,65' -type TrueColor "BMP3:$dir/ago.txr"
  convert -size 128x128 xc:white -fill black -draw 'rectangle 6,62 63,65' -type TrueColor "BMP3:$dir/ago_mask.txr"
  convert -size 64x64 xc:white -type TrueColor "BMP3:$dir/setpos.txr"
  convert -size 64x64 xc:white -type TrueColor "BMP3:$dir/setsize.txr"
  echo "$dir"
}

# expect_needle WHAT PICTURE EXPECTED_DEG [--black-dial]: the needle within the tolerance.
expect_needle() {
  local what=$1 picture=$2 expected=$3 measured
  measured=$(measure "$picture" ${4:-} | figure needle)
  angle_matches "$expected" "$measured" "$tolerance_deg" ||
    fail "$what: the needle points at $measured degrees, the scale says $expected"
  note "$what: scale $expected, needle $measured"
}

# Needle angles from pictures of a table of vertical speeds against the scale.
check_needles() {  # check_needles DIR [--black-dial]
  local dir=$1 extra=${2:-}
  # 0 first and last: the first frame in a new context blends the dial differently.
  local raws=(0 -305 305 -1 1 -609 609 -611 611 -1829 1829 32767 -32768 -152 458 -1220 0)
  probe "$dir" snapshot "$dir/frame" $extra "${raws[@]}" || fail "snapshot failed: $(cat "$dir/err.txt")"
  local line raw
  while read -r line; do
    raw=$(awk '{print $2}' <<<"$line")
    expect_needle "raw $raw" "$dir/frame$raw.ppm" "$(awk '{print $6}' <<<"$line")" $extra
  done < <(out_lines "$dir" | grep '^raw ')
  [ "$(out_lines "$dir" | grep -c '^raw ')" -eq "${#raws[@]}" ] || fail "not every frame was drawn: $(cat "$dir/out.txt")"
  cmp -s "$dir/frame0.ppm" "$dir/frame0.again.ppm" || fail "the first frame differs from a later one at the same speed"
}

trap 'stop_simulator; stop_data_server; cleanup_scratch' EXIT

write_network_ini() {  # write_network_ini DIR PORT
  printf '[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=127.0.0.1\r\nORVEXPORT=%s\r\n[WINDOW]\r\nX=40\r\nY=30\r\n[WINSIZE]\r\nWIDTH=360\r\nHEIGHT=330\r\n' "$2" >"$1/ORVEXVari.INI"
}

# platform_outer DIR ID first|last: the outer rectangle in the platform's own terms:
# for SDL the client grown by the X frame, for Wine what the program reported.
platform_outer() {
  if [ "$platform" = windows ]; then
    local pick=head
    [ "$3" = last ] && pick=tail
    out_lines "$1" | grep '^outer ' | $pick -n 1 | cut -d' ' -f2-
  else
    outer_rect "$2"
  fi
}

ini_rect() {  # ini_rect DIR
  local f=$1/ORVEXVari.INI
  local x y w h
  x=$(sed -nE 's/^X=(-?[0-9]+)\r?$/\1/p' "$f")
  y=$(sed -nE 's/^Y=(-?[0-9]+)\r?$/\1/p' "$f")
  w=$(sed -nE 's/^WIDTH=(-?[0-9]+)\r?$/\1/p' "$f")
  h=$(sed -nE 's/^HEIGHT=(-?[0-9]+)\r?$/\1/p' "$f")
  echo "$x $y $w $h"
}

write_ini() {  # write_ini DIR X Y WIDTH HEIGHT ACTIVE
  printf '[WINDOW]\r\nX=%s\r\nY=%s\r\n[WINSIZE]\r\nWIDTH=%s\r\nHEIGHT=%s\r\n[WINBORDER]\r\nACTIVE=%s\r\n' "$2" "$3" "$4" "$5" "$6" >"$1/ORVEXVari.INI"
}

# hold DIR SECONDS: starts the window in the background; stop_hold ends it.
hold() {
  rm -f "$1/stop"
  probe "$1" hold "$2" &
  HOLD_PID=$!
}
stop_hold() {
  touch "$1/stop"
  wait "$HOLD_PID" || fail "the window's run failed: $(cat "$1/err.txt")"
  rm -f "$1/stop"
}

has_outer() { [ -n "$(platform_outer "$dir" "$id" first)" ]; }
file_follows_window() {
  local outer
  outer=$(platform_outer "$dir" "$id" last)
  [ "$outer" != "100 80 320 260" ] && [ "$(ini_rect "$dir")" = "$outer" ]
}

wait_for_rect() {  # wait_for_rect ID EXPECTED: until the client rectangle settles on it
  for _ in $(seq 50); do [ "$(client_rect "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}

case "$case_name" in
  needles)
    dir=$(test_images_dir)
    write_ini "$dir" 40 30 360 330 Y
    check_needles "$dir"
    ;;
  real_needles)
    # The bundle's own images: the needle alone over a dial made black.
    dir=$(scratch_bundle linux)
    write_ini "$dir" 40 30 360 330 Y
    check_needles "$dir" --black-dial
    ;;
  overlays)
    dir=$(test_images_dir)
    write_ini "$dir" 40 30 360 330 Y
    probe "$dir" snapshot "$dir/plain" 0 || fail "snapshot failed: $(cat "$dir/err.txt")"
    for overlay in position size both; do
      probe "$dir" snapshot "$dir/$overlay" --overlay "$overlay" 0 || fail "snapshot failed: $(cat "$dir/err.txt")"
      figures=$(measure "$dir/${overlay}0.ppm")
      plain=$(measure "$dir/plain0.ppm")
      centre=$(figure centre_green <<<"$figures")
      edge=$(figure edge_green <<<"$figures")
      awk -v c="$centre" -v p="$(figure centre_green <<<"$plain")" 'BEGIN { exit !(c >= 250 && p <= 5) }' ||
        fail "$overlay overlay: centre green $centre over $(figure centre_green <<<"$plain") without it"
      awk -v e="$edge" 'BEGIN { exit !(e <= 5) }' || fail "$overlay overlay: green $e reaches the edge"
      note "$overlay overlay: centre green $centre, edge green $edge"
    done
    ;;
  simulator_needles)
    # The whole road of a value: the development simulator's word through the link,
    # the conversion and the scale, to the needle on the screen.
    dir=$(test_images_dir)
    write_ini "$dir" 40 30 360 330 Y
    for raw in -305 611; do
      start_simulator "$dir" --value "$raw"
      probe "$dir" render "$dir/sim$raw.ppm" || fail "simulator frame failed: $(cat "$dir/err.txt")"
      stop_simulator
      grep -q 'R 0842+2' "$dir/sim.txt" || fail "the frame did not read offset 0x0842: $(cat "$dir/sim.txt")"
      expect_needle "simulator word $raw" "$dir/sim$raw.ppm" "$("$native_probe" angle "$raw")"
    done
    ;;
  missing_dial_with_link)
    # A simulator link is open and "vario.txr" is missing: plain white quads.
    dir=$(test_images_dir)
    rm "$dir/vario.txr"
    write_ini "$dir" 40 30 360 330 Y
    start_simulator "$dir" --value -305
    probe "$dir" render "$dir/white.ppm" || fail "simulator frame failed: $(cat "$dir/err.txt")"
    stop_simulator
    if grep -qF "initialization failed." "$dir/err.txt"; then fail "creation failed although the link was open"; fi
    white=$(measure "$dir/white.ppm" | figure white)
    awk -v w="$white" 'BEGIN { exit !(w >= 0.99) }' || fail "only $white of the picture is white"
    note "missing dial with link: $white of the picture white"
    ;;
  network_needles)
    # The data server's number, rounded halves to even, to the needle.
    dir=$(test_images_dir)
    for value in -305 611.5; do
      start_data_server "$dir" --value "$value"
      write_network_ini "$dir" "$DATA_PORT"
      probe "$dir" render "$dir/net.ppm" || fail "network frame failed: $(cat "$dir/err.txt")"
      stop_data_server
      raw=$(awk -v v="$value" 'BEGIN { r = int(v < 0 ? v - 0.5 : v + 0.5); if (r - v == 0.5 && r % 2) r--; if (v - r == 0.5 && r % 2) r++; print r }')
      expect_needle "server value $value" "$dir/net.ppm" "$("$native_probe" angle "$raw")"
    done
    ;;
  network_server_down)
    # No server: the window opens all the same and says so in its title.
    dir=$(test_images_dir)
    write_network_ini "$dir" "$(closed_port)"
    hold "$dir" 60
    found=
    for _ in $(seq 100); do
      found=$(xdotool search --onlyvisible --name 'ZEVRA VARIOMETER v1.0 - \[NOT CONNECTED\]' 2>/dev/null | head -n 1) && [ -n "$found" ] && break
      sleep 0.2
    done
    stop_hold "$dir"
    [ -n "$found" ] || fail "no window titled \"ZEVRA VARIOMETER v1.0 - [NOT CONNECTED]\""
    if grep -qF "initialization failed." "$dir/err.txt"; then fail "creation failed without a server"; fi
    ;;
  network_missing_image)
    dir=$(test_images_dir)
    rm "$dir/ago.txr"
    write_network_ini "$dir" "$(closed_port)"
    status=0
    probe "$dir" render "$dir/none.ppm" || status=$?
    [ "$status" -eq 1 ] || fail "exit status $status, expected a failed creation"
    expect_contains "$dir/err.txt" "[Error] initialization failed."
    ;;
  window_checks)
    dir=$(test_images_dir)
    write_ini "$dir" 60 50 300 280 Y
    probe "$dir" window-checks || fail "window checks failed: $(cat "$dir/out.txt" "$dir/err.txt")"
    expect_contains "$dir/out.txt" "all checks passed"
    # The class refused once, and the second release finds only the class gone.
    boxes=$(tr -d '\r' <"$dir/err.txt")
    [ "$boxes" = "$(printf '%s\n%s' '[Error] Failed To Register The Window Class.' '[SHUTDOWN ERROR] Could Not Unregister Class.')" ] ||
      fail "expected the class box and the unregister box, in this order: $boxes"
    ;;
  no_display)
    # No display to open a window on.
    dir=$(test_images_dir)
    write_ini "$dir" 60 50 300 280 Y
    status=0
    (unset DISPLAY; probe "$dir" render "$dir/none.ppm") || status=$?
    [ "$status" -eq 1 ] || fail "exit status $status, expected a failed creation"
    # The only box (other libraries may say why on standard error too).
    [ "$(grep '^\[' "$dir/err.txt")" = "[Error] Window creation error." ] || fail "boxes: $(cat "$dir/err.txt")"
    ;;
  input)
    trap stop_window_manager EXIT
    start_window_manager
    dir=$(test_images_dir)
    write_ini "$dir" 60 50 300 280 Y
    hold "$dir" 60
    id=$(gauge_window_id)
    sleep 1
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    sleep 1
    xdotool key --delay 100 F12 F11 F9 Left Up Right Down Escape
    sleep 0.5
    xdotool windowminimize --sync "$id"
    sleep 0.5
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || xdotool windowmap --sync "$id"
    sleep 0.5
    # Closing the window from the window manager (Alt+F4) ends the loop by itself.
    xdotool key alt+F4
    for _ in $(seq 100); do kill -0 "$HOLD_PID" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$HOLD_PID" 2>/dev/null; then
      stop_hold "$dir"
      fail "closing the window did not end the loop: $(out_lines "$dir" | tail -n 5)"
    fi
    wait "$HOLD_PID" || fail "the window's run failed: $(cat "$dir/err.txt")"
    out_lines "$dir" | grep -qx quit || fail "no quit message after the close"
    keys=$(out_lines "$dir" | sed -nE 's/^key ([0-9]+)$/\1/p' | tr '\n' ' ')
    [ "$keys" = "123 122 120 37 38 39 40 27 " ] || fail "virtual-key codes $keys"
    minimised=$(out_lines "$dir" | sed -nE 's/^minimised ([01])$/\1/p' | tr -d '\n')
    [[ "$minimised" == 0*1*0 ]] || fail "minimise and restore gave the minimised states '$minimised'"
    actives=$(out_lines "$dir" | sed -nE 's/^active ([01])$/\1/p' | tr -d '\n')
    # Wine sends the deactivation of a minimised window only to the window it holds in
    # front, which it does not learn from this window manager; Linux reports it always.
    if [ "$platform" = linux ]; then
      [[ "$actives" == 1*0*1 ]] || fail "minimise and restore gave the activity sequence '$actives'"
    fi
    note "keys $keys; minimised $minimised; activity $actives"
    ;;
  geometry_framed | geometry_frameless)
    trap stop_window_manager EXIT
    start_window_manager
    active=Y
    [ "$case_name" = geometry_frameless ] && active=N
    dir=$(test_images_dir)
    write_ini "$dir" 100 80 320 260 "$active"
    # Left of the screen on Linux. Wine asks for its position only as the program's
    # choice, which the window manager keeps on the screen, so Wine stays right of it.
    move_x=-40
    [ "$platform" = windows ] && move_x=40

    hold "$dir" 60
    id=$(gauge_window_id)
    eventually has_outer || fail "the window reported no rectangle: $(cat "$dir/out.txt" "$dir/err.txt")"
    created=$(platform_outer "$dir" "$id" first)
    [ "$created" = "100 80 320 260" ] || fail "created at $created, not at 100 80 320 260"
    xdotool windowmove --sync "$id" "$move_x" 150 >/dev/null 2>&1 || xdotool windowmove "$id" "$move_x" 150
    if [ "$active" = Y ]; then  # a frameless window has no edge to pull
      xdotool windowsize --sync "$id" 333 277 >/dev/null 2>&1 || xdotool windowsize "$id" 333 277
    fi
    eventually file_follows_window || fail "the file holds $(ini_rect "$dir"), the window is at $(platform_outer "$dir" "$id" last)"
    # The window manager may still be applying the move or the size: let it settle.
    sleep 1
    eventually file_follows_window || fail "the file holds $(ini_rect "$dir"), the window is at $(platform_outer "$dir" "$id" last)"
    first_client=$(client_rect "$id")
    first_outer=$(platform_outer "$dir" "$id" last)
    note "moved and resized: client $first_client, outer $first_outer, file $(ini_rect "$dir")"
    [ "$first_outer" != "$created" ] || fail "the window did not move"
    # Ended while minimised: the file keeps the rectangle of the window before.
    xdotool windowminimize --sync "$id" >/dev/null 2>&1 || xdotool windowminimize "$id"
    sleep 0.5
    stop_hold "$dir"
    [ "$(ini_rect "$dir")" = "$first_outer" ] || fail "minimising changed the file to $(ini_rect "$dir")"

    hold "$dir" 60
    id=$(gauge_window_id)
    wait_for_rect "$id" "$first_client" || fail "restarted at client $(client_rect "$id"), left at $first_client"
    sleep 0.5
    stop_hold "$dir"
    [ "$(ini_rect "$dir")" = "$first_outer" ] || fail "the restart changed the file to $(ini_rect "$dir")"
    note "$case_name: the window came back at $first_outer"
    ;;
  *) fail "unknown case $case_name" ;;
esac
note "gauge window $platform $case_name: ok"
