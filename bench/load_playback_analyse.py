#!/usr/bin/env python3
"""Measurements for bench/load-playback.sh. Recordings are raw s16le, 2 channels,
48 kHz, of the null sink's monitor; only the left channel is read (the tones are
mono). Times on the wall clock are time.time() seconds (bash's EPOCHREALTIME).

  watch RAW MARKS FROM_BYTE WHAT SECONDS
      waits until WHAT is heard in RAW (still being recorded) after FROM_BYTE and
      prints the frame where it began; exits 1 after SECONDS. While it polls it
      appends "cal WALL BYTES" lines to MARKS (see recording_start). WHAT is sound,
      silence, quieter or tone:HZ.
  calibrate RAW MARKS SECONDS
                          appends "cal WALL BYTES" lines to MARKS, about every
                          millisecond for SECONDS
  at MARKS FRAME          the wall-clock time of FRAME, in µs
  responses RAW MARKS     for each "cmd NAME WALL WHAT" line of MARKS: NAME_ms, from
                          the command to the start of WHAT in RAW
  dropouts RAW FROM_FRAME FRAMES HZ PREFIX
                          breaks in the tone of HZ over the frames given; each one
                          is listed on stderr, in seconds from FROM_FRAME
  snapshot PID            prints the CPU time and per-thread context switches (JSON)
  wakeups A B PREFIX LABEL
                          LABEL_per_s: wake-ups per second between two snapshots,
                          and the same for the top 5 thread names
  cpu LAUNCH_US SNAPSHOT PREFIX
                          the process's CPU seconds, and the window they cover
"""
import array
import json
import math
import operator
import os
import re
import statistics
import sys
import time

RATE = 48000
FRAME_BYTES = 4
FULL = 32768.0
WINDOW = RATE // 100  # 10 ms: long enough to tell 440, 660 and 880 Hz apart
HOP = RATE // 500  # 2 ms
BLOCK = RATE // 500  # 2 ms: the resolution of the dropout search
SUSTAIN = RATE // 20  # a condition must hold for 50 ms to count
TONES = (440, 660, 880)
SOUND_RMS = 0.01  # -40 dBFS; the tones are at -21 dBFS, -31 dBFS at volume 0.3
SILENT_RMS = 0.003  # -50 dBFS
QUIETER = 0.65  # a volume step from 1.0 to 0.3 moves the level below this ratio


def read_left(path, first_frame, frames=None):
    with open(path, "rb") as f:
        f.seek(first_frame * FRAME_BYTES)
        data = f.read(-1 if frames is None else frames * FRAME_BYTES)
    samples = array.array("h")
    samples.frombytes(data[: len(data) // FRAME_BYTES * FRAME_BYTES])
    if sys.byteorder != "little":
        samples.byteswap()
    return [s / FULL for s in samples[0::2]]


class Fit:
    """Least-squares fit of a*cos(w n) + b*sin(w n) to `length` samples at one
    frequency; n counts from the first sample of the stretch fitted."""

    def __init__(self, hz, length):
        self.w = 2 * math.pi * hz / RATE
        self.cos = [math.cos(self.w * n) for n in range(length)]
        self.sin = [math.sin(self.w * n) for n in range(length)]
        cc = sum(c * c for c in self.cos)
        ss = sum(s * s for s in self.sin)
        cs = sum(c * s for c, s in zip(self.cos, self.sin))
        det = cc * ss - cs * cs
        self.inv = (ss / det, -cs / det, cc / det)

    def __call__(self, x):
        """(a, b, x.cos, x.sin) for the samples x."""
        xc = sum(map(operator.mul, x, self.cos))
        xs = sum(map(operator.mul, x, self.sin))
        i0, i1, i2 = self.inv
        return i0 * xc + i1 * xs, i1 * xc + i2 * xs, xc, xs


def rms(x):
    return math.sqrt(sum(map(operator.mul, x, x)) / len(x))


# ---- Conditions on 10 ms windows, every 2 ms. ----

class Detector:
    """Tells, window by window, whether WHAT holds; `ref` is the level before the
    command (for quieter)."""

    def __init__(self, what, ref=None):
        self.what = what
        self.ref = ref
        self.fits = {hz: Fit(hz, WINDOW) for hz in TONES}
        self.hz = int(what.split(":")[1]) if what.startswith("tone:") else None
        # Where in its window a change shows first: a rising level within the last
        # samples, a silence only once the window is all silent, a new tone or
        # level once it fills half the window.
        self.lead = {"sound": WINDOW, "silence": 0}.get(what, WINDOW // 2)

    def holds(self, x):
        level = rms(x)
        if self.what == "sound":
            return level > SOUND_RMS
        if self.what == "silence":
            return level < SILENT_RMS
        if self.what == "quieter":
            return SILENT_RMS < level < QUIETER * self.ref
        amps = {hz: math.hypot(*fit(x)[:2]) for hz, fit in self.fits.items()}
        best = max(amps, key=amps.get)
        # The tone must also carry most of the energy (a sine of amplitude A has an
        # RMS of A/sqrt(2)).
        return best == self.hz and level > SILENT_RMS and amps[best] > level

    def first(self, samples, start=0):
        """Index into samples where WHAT began and held for SUSTAIN, or None."""
        run_start = None
        pos = start
        while pos + WINDOW <= len(samples):
            if self.holds(samples[pos:pos + WINDOW]):
                if run_start is None:
                    run_start = pos
                if pos - run_start >= SUSTAIN:
                    return run_start + self.lead
            else:
                run_start = None
            pos += HOP
        return None


def level_before(path, frame):
    before = read_left(path, max(0, frame - RATE // 5), RATE // 5)
    return rms(before) if before else 0.0


def note_length(raw, log):
    size = os.path.getsize(raw)  # before the clock: the pair then bounds from above
    print(f"cal {time.time():.6f} {size}", file=log, flush=True)


def calibrate(raw, marks, seconds):
    deadline = time.monotonic() + float(seconds)
    with open(marks, "a") as log:
        while time.monotonic() < deadline:
            note_length(raw, log)
            time.sleep(0.001)


def watch(raw, marks, from_byte, what, seconds):
    from_frame = int(from_byte) // FRAME_BYTES
    detector = Detector(what, level_before(raw, from_frame) if what == "quieter" else None)
    deadline = time.monotonic() + float(seconds)
    samples = []
    checked = 0
    with open(marks, "a") as log, open(raw, "rb") as recording:
        recording.seek(from_frame * FRAME_BYTES)
        pending = b""
        while time.monotonic() < deadline:
            note_length(raw, log)
            pending += recording.read()
            whole = len(pending) // FRAME_BYTES * FRAME_BYTES
            block = array.array("h")
            block.frombytes(pending[:whole])
            pending = pending[whole:]
            if sys.byteorder != "little":
                block.byteswap()
            samples.extend(s / FULL for s in block[0::2])
            found = detector.first(samples, checked)
            if found is not None:
                print(from_frame + found)
                return
            # A run that began in the last SUSTAIN may still hold: look again there.
            checked = max(0, len(samples) - WINDOW - SUSTAIN - HOP)
            checked -= checked % HOP
            time.sleep(0.02)
    sys.exit(f"{what} was not heard within {seconds} s")


def recording_start(marks):
    """The wall-clock time of the recording's first frame, taking a frame's time as
    the moment the sound server mixed it, that is took it from the player (a sound
    card would add its own latency, the same for every player). parec writes a
    frame only after it was mixed, so each pair (clock, length of the file) noted
    while polling bounds the start from above; the smallest bound of the run is
    taken, off by the quickest way from the mixer to the file seen (about 1 ms when
    polled every millisecond). The null sink mixes a block at a time, at most the
    10 ms that parec asks for, so a single frame's time is good to about 10 ms."""
    bounds = [float(f[1]) - int(f[2]) / FRAME_BYTES / RATE
              for f in (line.split() for line in open(marks)) if f[0] == "cal"]
    if not bounds:
        sys.exit(f"{marks} holds no calibration")
    return min(bounds)


def at(marks, frame):
    print(round((recording_start(marks) + int(frame) / RATE) * 1e6))


def responses(raw, marks):
    start = recording_start(marks)
    samples = read_left(raw, 0)
    for fields in (line.split() for line in open(marks)):
        if fields[0] != "cmd":
            continue
        name, wall, what = fields[1], float(fields[2]), fields[3]
        frame = round((wall - start) * RATE)
        ref = rms(samples[max(0, frame - RATE // 5):frame])
        detector = Detector(what, ref)
        if what != "quieter" and detector.holds(samples[frame - WINDOW:frame]):
            sys.exit(f"{what} was heard already before {name}")
        found = detector.first(samples[frame:frame + 10 * RATE])
        if found is None:
            sys.exit(f"no {what} in the 10 s after {name}")
        print(f"{name}_ms: {found * 1000 / RATE:.0f} ms")


# ---- Dropouts. ----

def wrap(phase):
    return (phase + math.pi) % (2 * math.pi) - math.pi


def dropouts(raw, from_frame, frames, hz, prefix):
    """A dropout is a stretch where the tone is missing or broken: a block of 2 ms
    too quiet, not fitted by the sine, or whose phase jumped from the block before.
    Its length is the time the signal follows neither the sine before it nor the
    sine after it: a silence counts whole, a phase jump with no loss counts 0 ms."""
    x = read_left(raw, int(from_frame), int(frames))
    fit = Fit(int(hz), BLOCK)
    blocks = []  # (amplitude, absolute phase, residual RMS, a, b) per block
    for start in range(0, len(x) - BLOCK + 1, BLOCK):
        piece = x[start:start + BLOCK]
        a, b, xc, xs = fit(piece)
        residual = max(0.0, sum(map(operator.mul, piece, piece)) - a * xc - b * xs) / BLOCK
        blocks.append((math.hypot(a, b), math.atan2(b, a) + fit.w * start,
                       math.sqrt(residual), a, b))
    if len(blocks) < 10:
        sys.exit("the recording is too short to look for dropouts")
    amp = statistics.median(block[0] for block in blocks)
    if amp < SOUND_RMS:
        sys.exit(f"no tone of {hz} Hz in the recording")
    # A pitch a little off turns the phase a little from one block to the next.
    turn = statistics.median(wrap(blocks[k][1] - blocks[k - 1][1]) for k in range(1, len(blocks)))
    bad = [blk[0] < 0.7 * amp or blk[2] > 0.1 * amp for blk in blocks]
    for k in range(1, len(blocks)):
        if not (bad[k] or bad[k - 1]) and abs(wrap(blocks[k][1] - blocks[k - 1][1] - turn)) > 0.3:
            bad[k] = True

    def model(k, n):  # the sine fitted to block k, at sample n of x
        _, _, _, a, b = blocks[k]
        m = n - k * BLOCK
        return a * math.cos(fit.w * m) + b * math.sin(fit.w * m)

    events = []
    k = 0
    while k < len(blocks):
        if not bad[k]:
            k += 1
            continue
        first = k
        # Runs closer than three good blocks are one event: too little sine between
        # them to fit.
        last = k
        while k < len(blocks) and (bad[k] or any(bad[k:k + 3])):
            if bad[k]:
                last = k
            k += 1
        lo, hi = first * BLOCK, (last + 1) * BLOCK  # the samples in doubt
        tolerance = 0.15 * amp
        begin, end = lo, hi
        if first > 0:
            while begin < hi and abs(x[begin] - model(first - 1, begin)) <= tolerance:
                begin += 1
        if last + 1 < len(blocks):
            while end > begin and abs(x[end - 1] - model(last + 1, end - 1)) <= tolerance:
                end -= 1
        events.append((lo / RATE, max(0, end - begin) * 1000 / RATE))
    lost = sum(ms for _, ms in events)
    longest = max((ms for _, ms in events), default=0.0)
    print(f"{prefix}dropouts: {len(events)} count")
    print(f"{prefix}dropout_ms: {lost:.1f} ms")
    print(f"{prefix}dropout_longest_ms: {longest:.1f} ms")
    for at, ms in events:
        print(f"  {prefix}dropout at {at:.3f} s: {ms:.1f} ms", file=sys.stderr)


# ---- The player's process. ----

def snapshot(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                status = dict(line.split(":", 1) for line in f if ":" in line)
        except FileNotFoundError:  # the thread ended meanwhile
            continue
        threads[tid] = (status["Name"].strip(), int(status["voluntary_ctxt_switches"]),
                        int(status["nonvoluntary_ctxt_switches"]))
    print(json.dumps({"wall": time.time(), "cpu": ticks / os.sysconf("SC_CLK_TCK"),
                      "threads": threads}))


def wakeups(path_a, path_b, prefix, label):
    """Context switches, voluntary and not, of every thread between the snapshots.
    A thread that ended in between is not counted: its switches are gone."""
    a, b = (json.load(open(p)) for p in (path_a, path_b))
    seconds = b["wall"] - a["wall"]
    by_name = {}
    for tid, (name, vol, invol) in b["threads"].items():
        _, vol0, invol0 = a["threads"].get(tid, (name, 0, 0))
        by_name[name] = by_name.get(name, 0) + vol + invol - vol0 - invol0
    print(f"{prefix}{label}_per_s: {sum(by_name.values()) / seconds:.0f} /s")
    top = sorted(((n, c) for n, c in by_name.items() if c > 0), key=lambda item: -item[1])
    for name, count in top[:5]:
        thread = re.sub(r"[^A-Za-z0-9_.~-]", "_", name)
        print(f"{prefix}thread_{label}_per_s.{thread}: {count / seconds:.0f} /s")


def cpu(launch_us, path, prefix):
    snap = json.load(open(path))
    print(f"{prefix}cpu_s: {snap['cpu']:.2f} s")
    print(f"{prefix}cpu_window_s: {snap['wall'] - int(launch_us) / 1e6:.1f} s")


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"watch": watch, "calibrate": calibrate, "at": at, "responses": responses,
     "dropouts": dropouts, "snapshot": snapshot, "wakeups": wakeups, "cpu": cpu}[command](*args)
