#!/usr/bin/env python3
# A data server that misbehaves on purpose, for the gauge's end-to-end fault cases. It
# listens on 127.0.0.1 only, prints "ready" when set up, and ends by itself after
# --for seconds. Modes:
#   silent        accepts one connection, reads its requests, never replies; then refuses
#                 further connections (no listener), so that the gauge stays unconnected
#   mute          accepts every connection, reads its requests, never replies
#   full          listens with the smallest backlog, never accepts, and fills the accept
#                 queue itself, so that the system drops the gauge's connection requests
#   reset         replies --value to each request, and resets each connection (SO_LINGER 0)
#                 --reset-after seconds after accepting it
#   flap          --up seconds replying --value, then --down seconds without a listener
#                 (refused) and --down seconds closing each connection at once, over again
# Each accepted connection is counted; the count goes to --count-file as it changes.
import argparse
import selectors
import socket
import struct
import sys
import time


def listener(port, backlog):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(backlog)
    s.setblocking(False)
    return s


def reset(conn):
    try:
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    conn.close()


class Server:
    def __init__(self, args):
        self.args = args
        self.sel = selectors.DefaultSelector()
        self.listen_socket = None
        self.conns = {}  # socket -> accept time
        self.accepted = 0
        self.closing_at_once = False

    def note_accept(self):
        self.accepted += 1
        if self.args.count_file:
            with open(self.args.count_file, "w") as f:
                f.write(f"{self.accepted}\n")

    def open_listener(self):
        if self.listen_socket is None:
            self.listen_socket = listener(self.args.port, 16)
            self.sel.register(self.listen_socket, selectors.EVENT_READ, "listen")

    def close_listener(self):
        if self.listen_socket is not None:
            self.sel.unregister(self.listen_socket)
            self.listen_socket.close()
            self.listen_socket = None

    def drop(self, conn, hard=False):
        self.sel.unregister(conn)
        del self.conns[conn]
        if hard:
            reset(conn)
        else:
            conn.close()

    def drop_all(self):
        for conn in list(self.conns):
            self.drop(conn)

    def serve(self, until):
        while time.monotonic() < until:
            for key, _ in self.sel.select(timeout=0.05):
                if key.data == "listen":
                    if self.listen_socket is None:
                        continue
                    try:
                        conn, _ = self.listen_socket.accept()
                    except OSError:
                        continue
                    self.note_accept()
                    if self.args.mode == "silent":
                        self.close_listener()
                    if self.closing_at_once:
                        conn.close()
                        continue
                    conn.setblocking(False)
                    self.conns[conn] = time.monotonic()
                    self.sel.register(conn, selectors.EVENT_READ, "conn")
                    continue
                conn = key.fileobj
                try:
                    data = conn.recv(4096)
                except OSError:
                    data = b""
                if not data:
                    self.drop(conn)
                    continue
                if self.args.mode not in ("silent", "mute"):
                    for _ in range(data.count(b"\0")):
                        try:
                            conn.send(self.args.value.encode() + b"\0")
                        except OSError:
                            break
            if self.args.mode == "reset":
                now = time.monotonic()
                for conn, since in list(self.conns.items()):
                    if now - since >= self.args.reset_after:
                        self.drop(conn, hard=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["silent", "mute", "full", "reset", "flap"])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--value", default="-300")
    parser.add_argument("--reset-after", type=float, default=3.0)
    parser.add_argument("--up", type=float, default=2.0)
    parser.add_argument("--down", type=float, default=1.0)
    parser.add_argument("--for", dest="duration", type=float, default=120.0)
    parser.add_argument("--count-file")
    args = parser.parse_args()
    end = time.monotonic() + args.duration

    if args.mode == "full":
        held = listener(args.port, 0)
        fillers = []
        for _ in range(8):
            c = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            c.setblocking(False)
            c.connect_ex(("127.0.0.1", args.port))
            fillers.append(c)
        time.sleep(0.5)  # the queue is full once the first handshakes are through
        print("ready", flush=True)
        time.sleep(max(0.0, end - time.monotonic()))
        held.close()
        return

    server = Server(args)
    server.open_listener()
    print("ready", flush=True)
    if args.mode != "flap":
        server.serve(end)
        return
    while time.monotonic() < end:
        server.open_listener()
        server.closing_at_once = False
        server.serve(min(end, time.monotonic() + args.up))
        server.drop_all()
        server.close_listener()
        server.serve(min(end, time.monotonic() + args.down))
        server.open_listener()
        server.closing_at_once = True
        server.serve(min(end, time.monotonic() + args.down))


if __name__ == "__main__":
    sys.exit(main())
