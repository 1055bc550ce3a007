#!/usr/bin/env python3
"""Helpers of the audio e2e case: time-stamping a program's lines, watching a capture
file grow, and checking a capture of 48 kHz signed 16-bit mono samples against the
values the simulator fed.

  audio_capture.py stamp OUT            stdin lines to OUT, each after its wall time
                                        (after a first line "stamping")
  audio_capture.py watch FILE OUT       (wall time, size of FILE) at every change, to OUT
  audio_capture.py check CAPTURE PLAN.json   prints figures; status 1 with the faults
  audio_capture.py scan CAPTURE VOLUME CLIMB...   the same without wall times: finds
        each climb rate's tone in the capture's stretches of sound

PLAN.json: {"volume": 80, "dead_band": true, "growth": LOG or null,
  "segments": [{"from": T, "to": T, "climb": M/S or null (missing), "delay": bool}],
  "continuous": [[T, T], ...]  stretches that must sound without a break}
Times are wall times when "growth" maps them to samples; else seconds of samples.
"""
import json
import math
import os
import statistics
import sys
import time

RATE = 48000
RAMP_S = 0.004


def stamp(out_path):
    with open(out_path, "a") as out:
        # Started first, so that the program's lines are stamped as they come.
        out.write(f"{time.time():.6f} stamping\n")
        out.flush()
        for line in sys.stdin:
            out.write(f"{time.time():.6f} {line}")
            out.flush()


def watch(path, out_path):
    last = -2
    with open(out_path, "w") as out:
        while True:
            try:
                size = os.path.getsize(path)
            except OSError:
                size = -1
            if size != last:
                out.write(f"{time.time():.6f} {size}\n")
                out.flush()
                last = size
            time.sleep(0.001)


def tone(climb, dead_band):
    """(frequency Hz, beep period s or 0) of a climb rate, None for silence."""
    if climb is None or (dead_band and -0.3 <= climb <= 0.1):
        return None
    share = max(-1.0, min(1.0, climb / 5))
    if share > 0:
        return 500 + share * 1000, 0.8 - share * 0.65
    return 500 + share * 300, 0


def crossings(s, a, b):
    """Upward zero crossings in s[a:b], interpolated, in samples."""
    out = []
    for i in range(max(a, 1), min(b, len(s))):
        if s[i - 1] < 0 <= s[i]:
            out.append(i - 1 + -s[i - 1] / (s[i] - s[i - 1]))
    return out


def frequency(s, a, b):
    c = crossings(s, a, b)
    return (len(c) - 1) * RATE / (c[-1] - c[0]) if len(c) > 2 else 0.0


def stretches(s, a, b):
    """Sounding stretches [first, last] in s[a:b], apart by at least 2 ms of zeros."""
    out, zeros, quiet = [], 96, 96
    for i in range(a, min(b, len(s))):
        if s[i] == 0:
            zeros += 1
            continue
        if zeros >= quiet:
            out.append([i, i])
        out[-1][1] = i
        zeros = 0
    return out


def check(capture, plan_path):
    plan = json.load(open(plan_path))
    raw = open(capture, "rb").read()
    s = memoryview(raw[: len(raw) // 2 * 2]).cast("h").tolist()
    amplitude = plan["volume"] / 100 * 32767
    growth = []
    if plan.get("growth"):
        for line in open(plan["growth"]):
            t, size = line.split()
            if int(size) > 0:
                growth.append((float(t), int(size) // 2))
    faults = []

    def position(t):  # the sample made at wall time t
        if not growth:
            return int(t * RATE)
        for when, samples in growth:
            if when >= t:
                return samples
        return len(s)

    def time_of(sample):  # wall time at which that sample was in the file
        for when, samples in growth:
            if samples > sample:
                return when
        return None

    print(f"capture: {len(s)} samples ({len(s) / RATE:.1f} s)")
    segs = plan["segments"]
    for seg in segs:
        seg["tone"] = tone(seg["climb"], plan["dead_band"])
        seg["a"], seg["b"] = position(seg["from"]), position(seg["to"])
    # Each value is checked once its tone has settled, 300 ms after its frame (a loaded
    # machine may hold the audio thread back for a while), until the
    # next value's frame, less two of the disk driver's blocks: a block that reached the
    # file just after a frame may have been made after it.
    for seg in segs:
        a, b = position(seg["from"] + 0.3), seg["b"] - (4096 if growth else 0)
        name = f"{seg['climb']} m/s at {seg['from']:.3f}"
        if b - a < RATE // 2:
            continue
        expected = seg["tone"]
        if expected is None:
            peak = max((abs(v) for v in s[a:b]), default=0)
            print(f"{name}: silent, peak {peak}")
            if peak:
                faults.append(f"{name}: sound (peak {peak}) where silence was due")
            continue
        hz, period = expected
        found = stretches(s, a, b)
        if period == 0:
            f = frequency(s, a, b)
            print(f"{name}: {len(found)} stretch(es), {f:.2f} Hz (due {hz:.2f})")
            if len(found) != 1:
                faults.append(f"{name}: the sink tone breaks into {len(found)} stretches")
            if abs(f - hz) > 0.01 * hz:
                faults.append(f"{name}: {f:.2f} Hz, due {hz:.2f}")
            continue
        whole = [x for x in found if x[0] > a + 96 and x[1] < b - 96]
        if len(whole) < 2:
            faults.append(f"{name}: {len(found)} beeps, too few to measure")
            continue
        periods = [(y[0] - x[0]) / RATE for x, y in zip(whole, whole[1:])]
        duties = [((x[1] - x[0]) / RATE - RAMP_S) / period for x in whole]
        freqs = [frequency(s, x[0], x[1]) for x in whole]
        print(f"{name}: beeps {len(whole)}, periods {[round(p, 4) for p in periods]} (due {period:.4f}), "
              f"duties {[round(d, 3) for d in duties]}, {statistics.median(freqs):.2f} Hz (due {hz:.2f})")
        if any(abs(p - period) > 0.05 * period for p in periods):
            faults.append(f"{name}: beep periods {periods}, due {period:.4f}")
        if any(abs(d - 2 / 3) > 0.05 for d in duties):
            faults.append(f"{name}: beep duties {duties}, due 2/3")
        if any(abs(f - hz) > 0.01 * hz for f in freqs):
            faults.append(f"{name}: beep pitches {freqs}, due {hz:.2f}")

    # No step between samples beyond what a sine at the pitches around can make, plus
    # one ramp step (two samples of rounding), over the whole capture.
    limit = [0.0] * len(s)
    for k, seg in enumerate(segs):
        near = [x["tone"][0] for x in segs[max(0, k - 1): k + 2] if x["tone"]]
        hz = max(near, default=0)
        end = segs[k + 1]["a"] if k + 1 < len(segs) else seg["b"]
        for i in range(max(0, seg["a"] - 8192), min(len(s), max(end, seg["b"]) + 8192)):
            limit[i] = max(limit[i], hz)
    worst, worst_at = 0.0, 0
    for i in range(max(1, segs[0]["a"]), min(len(s), segs[-1]["b"])):
        bound = 2 * math.pi * limit[i] * amplitude / RATE + amplitude / (RAMP_S * RATE) + 2
        ratio = abs(s[i] - s[i - 1]) / bound
        if ratio > worst:
            worst, worst_at = ratio, i
    print(f"largest step: {worst:.3f} of the bound (at sample {worst_at})")
    if worst > 1:
        faults.append(f"a click: step {abs(s[worst_at] - s[worst_at - 1])} at sample {worst_at}, "
                      f"{worst:.2f} times what the tone can make")

    for t0, t1 in plan.get("continuous", []):
        found = stretches(s, position(t0), position(t1))
        print(f"continuous {t0:.3f}..{t1:.3f}: {len(found)} stretch(es)")
        if len(found) != 1:
            faults.append(f"the tone breaks {len(found) - 1} times between {t0:.3f} and {t1:.3f}")

    # The delay from the frame of a new value to the first sample of its tone: the
    # first zero crossing after which three periods match the new pitch.
    delays = []
    for prev, seg in zip(segs, segs[1:]):
        if not seg.get("delay") or not growth:
            continue
        hz = seg["tone"][0]
        c = crossings(s, prev["a"], seg["b"])
        earliest = position(seg["from"] - 0.3)
        start = next((c[j] for j in range(len(c) - 3) if c[j] >= earliest
                      and all(abs(RATE / (c[j + m + 1] - c[j + m]) - hz) < 0.03 * hz for m in range(3))), None)
        heard = time_of(int(start)) if start is not None else None
        if heard is None:
            faults.append(f"step to {seg['climb']} m/s at {seg['from']:.3f}: its tone never came")
            continue
        delays.append(heard - seg["from"])
    if delays:
        median = statistics.median(delays)
        print(f"delays (ms): {[round(d * 1000) for d in delays]}, median {median * 1000:.1f}")
        if median >= 0.05:
            faults.append(f"median delay {median * 1000:.1f} ms, not under 50 ms")
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


def scan(capture, volume, climbs):
    """Checks a capture whose time is not wall time (Wine's ALSA file device): each
    climb rate's tone must be found in it, and no step inside a stretch of sound may
    exceed what the highest of the tones can make. Gaps in the capture (silence the
    audio system put in) only split stretches."""
    raw = open(capture, "rb").read()
    s = memoryview(raw[: len(raw) // 2 * 2]).cast("h").tolist()
    amplitude = volume / 100 * 32767
    tones = [(c, tone(c, True)) for c in climbs]
    found = stretches(s, 0, len(s))
    print(f"capture: {len(s)} samples, {len(found)} stretches of sound")
    faults = []
    for climb, (hz, period) in tones:
        if period == 0:
            long = [x for x in found if x[1] - x[0] > RATE // 2]
            # A stretch of sink tone may run on into the first beep of a climb after it
            # (no silence between them): its pitch is the median of quarter seconds.
            quarter = RATE // 4
            freqs = [statistics.median(frequency(s, a, a + quarter) for a in range(x[0] + 480, x[1] - 480 - quarter + 1, quarter))
                     for x in long if x[1] - x[0] - 960 >= quarter]
            good = [f for f in freqs if abs(f - hz) <= 0.01 * hz]
            print(f"{climb} m/s: continuous stretches at {[round(f, 2) for f in freqs]} Hz (due {hz:.2f})")
            if not good:
                faults.append(f"{climb} m/s: no continuous tone at {hz:.2f} Hz")
            continue
        beeps = [x for x in found if abs(frequency(s, x[0], x[1]) - hz) <= 0.01 * hz
                 and abs((x[1] - x[0]) / RATE - RAMP_S - period * 2 / 3) < 0.05 * period]
        periods = [(y[0] - x[0]) / RATE for x, y in zip(beeps, beeps[1:])]
        periods = [p for p in periods if p < 1.5 * period]  # next beeps, not across a gap
        duties = [((x[1] - x[0]) / RATE - RAMP_S) / period for x in beeps]
        print(f"{climb} m/s: {len(beeps)} beeps at {hz:.2f} Hz, periods {[round(p, 4) for p in periods]} "
              f"(due {period:.4f}), duties {[round(d, 3) for d in duties]}")
        if len(periods) < 2:
            faults.append(f"{climb} m/s: too few beeps at {hz:.2f} Hz")
        elif abs(statistics.median(periods) - period) > 0.05 * period:
            faults.append(f"{climb} m/s: beep period {statistics.median(periods):.4f}, due {period:.4f}")
    top = max(hz for _, (hz, _) in tones)
    bound = 2 * math.pi * top * amplitude / RATE + amplitude / (RAMP_S * RATE) + 2
    worst = max((abs(s[i] - s[i - 1]) for a, b in found for i in range(a + 1, b + 1)), default=0)
    print(f"largest step inside a stretch: {worst} (bound {bound:.0f})")
    if worst > bound:
        faults.append(f"a click: a step of {worst} inside a stretch of sound, bound {bound:.0f}")
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "stamp":
        stamp(sys.argv[2])
    elif command == "watch":
        watch(sys.argv[2], sys.argv[3])
    elif command == "scan":
        sys.exit(scan(sys.argv[2], int(sys.argv[3]), [float(c) for c in sys.argv[4:]]))
    elif command == "check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(f"unknown command {command}")
