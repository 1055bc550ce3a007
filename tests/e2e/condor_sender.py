#!/usr/bin/env python3
"""A glider simulator's instrument output for the tests: UDP datagrams of "name=value"
lines, 20 a second, to each port given on 127.0.0.1, until ended (or for two minutes).

Usage: condor_sender.py PORT[,PORT...] good EVARIO NETTOVARIO
       condor_sender.py PORT[,PORT...] hostile
good sends vario, evario, nettovario and integrator (m/s); hostile sends, in turn,
garbage bytes, a 64 KB datagram of one huge line, a NaN, infinities and values beyond
100 m/s, never a usable evario or nettovario.
"""
import os
import socket
import sys
import time


def good(evario, netto):
    lines = [
        "time=13.250000",
        "airspeed=31.5",
        "altitude=1204.8",
        "vario=%.3f" % (evario + 0.8),
        "evario=%.3f" % evario,
        "nettovario=%.3f" % netto,
        "integrator=%.3f" % (evario - 0.4),
        "compass=271.0",
    ]
    return ("\r\n".join(lines) + "\r\n").encode()


HOSTILE = [
    os.urandom(1400),
    b"evario=" + b"7" * (65507 - 7),  # the largest UDP datagram there is
    b"vario=nan\r\nevario=nan\r\nnettovario=NaN\r\nintegrator=nan\r\n",
    b"evario=inf\r\nnettovario=-inf\r\n",
    b"evario=1e300\r\nnettovario=-150\r\n",
    b"evario\r\nnettovario\r\n=1\r\n\r\n",
    b"evario=2,5\r\nnettovario=1.0.0\r\n",
    b"\xff\xfe\x00evario=\x00\r\n",
]


def main():
    ports = [int(p) for p in sys.argv[1].split(",")]
    mode = sys.argv[2]
    if mode == "good":
        datagrams = [good(float(sys.argv[3]), float(sys.argv[4]))]
    elif mode == "hostile":
        datagrams = HOSTILE
    else:
        sys.exit("unknown mode " + mode)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sender.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
    sender.bind(("127.0.0.1", 0))
    print("sending from port %d" % sender.getsockname()[1], flush=True)
    end = time.monotonic() + 120
    n = 0
    while time.monotonic() < end:
        datagram = datagrams[n % len(datagrams)]
        for port in ports:
            sender.sendto(datagram, ("127.0.0.1", port))
        n += 1
        time.sleep(0.05)


if __name__ == "__main__":
    main()
