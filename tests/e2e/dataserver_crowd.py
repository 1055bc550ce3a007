#!/usr/bin/env python3
"""A crowd of clients against vario-dataserver on 127.0.0.1 (tests/e2e/bridges.sh).

Usage: dataserver_crowd.py PORT EXPECTED_REPLY

1. Two clients connect and say nothing (the older one first).
2. 252 more ask in rounds while another floods garbage (bytes with NULs here and
   there, never reading, connecting again whenever it is dropped); every reply must be
   right. The figures of the reply times are printed.
3. The server is filled to 256 clients; one more makes room by closing the client
   silent longest (the older silent one), while the other silent one stays.
4. The remaining silent client is closed 30 s after it connected; a client that asks
   every few seconds meanwhile is still answered.
Prints "crowd: ok" at the end; exits 1 with "FAIL: ..." otherwise.
"""
import os
import socket
import statistics
import sys
import threading
import time

IDLE_LIMIT_S = 30
REQUEST = b"2114,2,4\0"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def connect(port):
    client = socket.create_connection(("127.0.0.1", port), timeout=5)
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return client


def ask(client):
    """One request; the reply text and the seconds it took."""
    started = time.monotonic()
    client.sendall(REQUEST)
    reply = b""
    while not reply.endswith(b"\0"):
        chunk = client.recv(64)
        if not chunk:
            raise ConnectionError("closed by the server")
        reply += chunk
    return reply[:-1].decode(), time.monotonic() - started


def closed_by_server(client, wait_s):
    """True when the server closes the silent client within the wait."""
    client.settimeout(max(wait_s, 0.05))  # 0 would not wait at all
    try:
        return client.recv(1) == b""
    except socket.timeout:
        return False
    except ConnectionError:
        return True


class Flooder(threading.Thread):
    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.stop = threading.Event()
        self.connections = 0
        self.sent_bytes = 0

    def run(self):
        garbage = bytearray(os.urandom(65536))
        for i in range(0, len(garbage), 37):
            garbage[i] = 0
        while not self.stop.is_set():
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as flood:
                    self.connections += 1
                    while not self.stop.is_set():
                        flood.sendall(garbage)
                        self.sent_bytes += len(garbage)
            except OSError:
                time.sleep(0.01)


def main():
    port, expected = int(sys.argv[1]), sys.argv[2]

    older_silent = connect(port)
    older_silent_at = time.monotonic()
    time.sleep(0.2)
    silent = connect(port)
    silent_at = time.monotonic()

    flooder = Flooder(port)
    flooder.start()
    askers = [connect(port) for _ in range(252)]
    times = []
    for round_number in range(5):
        for i, asker in enumerate(askers):
            try:
                reply, seconds = ask(asker)
            except OSError as error:
                fail(f"client {i} in round {round_number}: {error}")
            if reply != expected:
                fail(f"client {i} in round {round_number} got '{reply}', not '{expected}'")
            times.append(seconds)
    flooder.stop.set()
    flooder.join()
    times.sort()
    print(f"-- {len(askers)} clients, {len(times)} replies beside a flood of {flooder.sent_bytes // 1024} KiB "
          f"on {flooder.connections} connections: reply time median {statistics.median(times) * 1000:.2f} ms, "
          f"95th {times[int(len(times) * 0.95)] * 1000:.2f} ms, most {times[-1] * 1000:.2f} ms", flush=True)
    time.sleep(0.3)  # the flood's last connection is gone by now

    # Full: 2 silent + 252 asking + 2 more = 256. The next one closes the older silent one.
    askers += [connect(port), connect(port)]
    newcomer = connect(port)
    reply, _ = ask(newcomer)
    if reply != expected:
        fail(f"the client that came when all places were taken got '{reply}'")
    if not closed_by_server(older_silent, 2):
        fail("the client silent longest was not closed to make room")
    if closed_by_server(silent, 0.2):
        fail("a client other than the one silent longest was closed to make room")
    print(f"-- full at 256 clients: the one silent for {time.monotonic() - older_silent_at:.1f} s made room",
          flush=True)

    # The silent one is closed at 30 s; an asking one stays.
    keeper = askers[0]
    while True:
        left = silent_at + IDLE_LIMIT_S - time.monotonic()
        if closed_by_server(silent, min(left + 0.5, 5)):
            break
        if time.monotonic() - silent_at > IDLE_LIMIT_S + 3:
            fail(f"the silent client was still connected after {time.monotonic() - silent_at:.1f} s")
        reply, _ = ask(keeper)
        if reply != expected:
            fail(f"the asking client got '{reply}' while the silent one waited")
    silent_for = time.monotonic() - silent_at
    print(f"-- the silent client was closed after {silent_for:.1f} s", flush=True)
    if silent_for < IDLE_LIMIT_S - 0.5:
        fail(f"the silent client was closed after {silent_for:.1f} s, before {IDLE_LIMIT_S} s")
    reply, _ = ask(keeper)
    if reply != expected:
        fail(f"the asking client got '{reply}' after the silent one was closed")
    print("crowd: ok", flush=True)


if __name__ == "__main__":
    main()
