#!/usr/bin/env python3
"""Checks on what the end-to-end run left behind. Each command prints what it found
and exits 1 with the reason when the check fails.

  level RAW                  RAW (s16le, 2 ch, 48 kHz) is well above silence
  gaps RAW SECONDS           RAW holds at least SECONDS of sound with no silence over
                             50 ms between the first sound and the last
  list PLIST PATH...         the "Last Playlist" stored in PLIST holds exactly PATHs
"""
import array
import math
import plistlib
import sys

RATE = 48000
WINDOW = RATE // 200  # 5 ms of frames
SILENT_RMS = 0.003  # about -50 dBFS
LEVEL_RMS = 0.02  # about -34 dBFS; the tones play at about -21 dBFS
MAX_GAP_MS = 50


def window_rms(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(data[: len(data) // 4 * 4])
    if sys.byteorder != "little":
        samples.byteswap()
    step = WINDOW * 2
    return [math.sqrt(sum(s * s for s in samples[i:i + step]) / step) / 32768.0
            for i in range(0, len(samples) - step + 1, step)]


def fail(reason):
    print("FAIL: " + reason)
    sys.exit(1)


def level(path):
    rms = window_rms(path)
    if not rms:
        fail("nothing was recorded from the null sink")
    total = math.sqrt(sum(r * r for r in rms) / len(rms))
    print(f"level: {20 * math.log10(max(total, 1e-9)):.1f} dBFS over {len(rms) * 5} ms")
    if total < LEVEL_RMS:
        fail("the null sink heard (near) silence while the player was playing")


def gaps(path, seconds):
    rms = window_rms(path)
    loud = [i for i, r in enumerate(rms) if r >= SILENT_RMS]
    if not loud:
        fail("nothing but silence was recorded")
    longest = run = 0
    for r in rms[loud[0]:loud[-1] + 1]:
        run = run + 1 if r < SILENT_RMS else 0
        longest = max(longest, run)
    heard = (loud[-1] - loud[0] + 1) * 5 / 1000
    print(f"gaps: sound for {heard:.2f} s, longest silence inside {longest * 5} ms")
    if heard < seconds:
        fail(f"expected at least {seconds:.2f} s of sound, heard {heard:.2f} s")
    if longest * 5 > MAX_GAP_MS:
        fail(f"a silence of {longest * 5} ms between tones (at most {MAX_GAP_MS} ms)")


def strings_in(node):
    if isinstance(node, str):
        yield node
    elif isinstance(node, dict):
        for value in node.values():
            yield from strings_in(value)
    elif isinstance(node, list):
        for value in node:
            yield from strings_in(value)


def stored_list(path, expected):
    with open(path, "rb") as f:
        defaults = plistlib.load(f)
    data = defaults.get("Last Playlist")
    if not isinstance(data, bytes):
        fail(f'{path} holds no "Last Playlist" data')
    found = [s for s in strings_in(plistlib.loads(data)) if s.startswith("/")]
    print("stored list: " + ", ".join(found))
    if sorted(found) != sorted(expected):
        fail(f"the stored list is not the {len(expected)} files played")


if __name__ == "__main__":
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "level":
        level(args[0])
    elif cmd == "gaps":
        gaps(args[0], float(args[1]))
    elif cmd == "list":
        stored_list(args[0], args[1:])
    else:
        fail("unknown command " + cmd)
