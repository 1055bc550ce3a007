#!/usr/bin/env bash
# The arm64 Debian package: its fields and files, and its programs run under qemu-user:
# the data server answers a query as the gauge sends it, the simulator prints its help,
# vario-make-dial draws a dial.
# Usage: package_arm64.sh
source "$(dirname "$0")/lib.sh"
# The multiarch loader, of the same glibc build as the libc.so.6 the programs load.
qemu=(qemu-aarch64 -L /)
command -v qemu-aarch64 >/dev/null || fail "qemu-aarch64 is missing (scripts/install-cross-deps)"

package_file deb-arm64
unpack_deb "$PACKAGE" arm64
bin=$DEB_ROOT/usr/bin

"${qemu[@]}" "$bin/vario-simhost" --help >"$DEB_ROOT/simhost.txt" 2>&1 || fail "vario-simhost --help: $(cat "$DEB_ROOT/simhost.txt")"
expect_contains "$DEB_ROOT/simhost.txt" "--script"
(cd "$DEB_ROOT" && timeout 120 "${qemu[@]}" "$bin/vario-make-dial" --dial MS5 --output ms5.txr) >"$DEB_ROOT/dial.txt" 2>&1 ||
  fail "the arm64 vario-make-dial: $(cat "$DEB_ROOT/dial.txt")"
# The same 512 x 512 24-bit bitmap as the packaged one (pixels may differ where another
# processor's pixman rounds an edge otherwise).
[ "$(head -c 2 "$DEB_ROOT/ms5.txr")" = BM ] && [ "$(stat -c %s "$DEB_ROOT/ms5.txr")" = \
  "$(stat -c %s "$DEB_ROOT/usr/share/zevra-variometer/vario_ms5.txr")" ] ||
  fail "the arm64 vario-make-dial did not draw a dial bitmap: $(file "$DEB_ROOT/ms5.txr")"

timeout 60 "${qemu[@]}" "$bin/vario-dataserver" --bind 127.0.0.1 --port 0 --value -321 >"$DEB_ROOT/server.txt" 2>&1 &
server_pid=$!
trap 'kill $server_pid 2>/dev/null; cleanup_scratch' EXIT
port=
for _ in $(seq 100); do
  port=$(sed -nE 's/.*listening on port ([0-9]+).*/\1/p' "$DEB_ROOT/server.txt")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the arm64 vario-dataserver did not listen: $(cat "$DEB_ROOT/server.txt")"
reply=$(python3 - "$port" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=20)
s.sendall(b"2114,2,4\0")
reply = b""
while not reply.endswith(b"\0"):
    chunk = s.recv(64)
    if not chunk:
        break
    reply += chunk
print(reply.rstrip(b"\0").decode())
PY
) || fail "no reply from the arm64 vario-dataserver: $(cat "$DEB_ROOT/server.txt")"
[ "$reply" = -321 ] || fail "the arm64 vario-dataserver answered '$reply', not -321"
note "arm64 package: programs run under qemu; the data server answered $reply"
