#!/usr/bin/python3
"""Reference trace of one compressor band, from the band's rules as written down, not from the
engine's code: the band's transfer curve turned into a 256-value gain table, the table loaded
into one or two gain stages, and each stage's per-frame work (peak power smoothing, hold,
level look-up, attack and release with the release wait, look-ahead delay).

The scenario (sample rate, curve, a stereo input of triangle waves under stepped amplitudes) is
written out with the expected band output for the two-stage and the one-stage configuration.

Usage: /usr/bin/python3 band_reference_trace.py OUTPUT_PATH
"""

import math
import struct
import sys

SAMPLE_RATE = 8000
FRAMES = 3000
CHANNELS = 2

# The band's curve (input level, output level): unity up to 0.1, then flattening.
CURVE = [(0.0, 0.0), (0.1, 0.1), (0.5, 0.25), (1.0, 0.4)]

# Per channel: triangle period in frames (a power of two, so every sample is exact in float)
# and (start frame, amplitude) segments.
TRIANGLE_PERIODS = [64, 32]
SEGMENTS = [
    [(0, 0.03125), (400, 0.75), (1300, 0.0625), (2100, 0.375), (2700, 0.015625)],
    [(0, 0.25), (700, 0.125), (1600, 0.5), (2300, 0.03125), (2800, 0.25)],
]

# Stage settings as the compressor runs them: (attack ms, release ms, mix, hold frames).
TWO_STAGES = [(10.0, 100.0, 0.8, 60), (2.0, 25.0, 0.0, 30)]
ONE_STAGE = [(6.0, 30.0, 0.5, 60)]

TABLE_SIZE = 256
LEVEL_FLOOR = 1e-6
LOOK_AHEAD_SECONDS = 0.0021
POWER_SMOOTHING_MS = 0.8
MIN_TIME_MS = 0.01


def f32(value):
    """Rounds to the nearest single-precision value (the width the band keeps)."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def amplitude_at(channel, frame):
    amplitude = 0.0
    for start, value in SEGMENTS[channel]:
        if frame >= start:
            amplitude = value
    return amplitude


def input_sample(channel, frame):
    period = TRIANGLE_PERIODS[channel]
    phase = frame % period
    ramp = phase if phase < period // 2 else period - phase
    return f32(amplitude_at(channel, frame) * (ramp * 4.0 / period - 1.0))


def gain_table(curve):
    """Gain (output over input level) at 256 levels spread linearly from 1e-6 to 1."""
    last = TABLE_SIZE - 1

    def lifted(v):
        return LEVEL_FLOOR + v * (1.0 - LEVEL_FLOOR)

    def position(level):
        return (level - LEVEL_FLOOR) * last / (1.0 - LEVEL_FLOOR)

    def level_at(k):
        return LEVEL_FLOOR + k * (1.0 - LEVEL_FLOOR) / last

    points = [(lifted(f32(x)), lifted(f32(y))) for x, y in curve]
    table = [0.0] * TABLE_SIZE
    first_start = last_end = 0
    for i in range(1, len(points)):
        (xa, ya), (xb, yb) = points[i - 1], points[i]
        start = max(0, int(position(xa) + 0.5))
        end = min(last, int(position(xb) + 0.5))
        span = position(xb) - position(xa)
        for k in range(start, end + 1):
            y = ya + (k - start) * (yb - ya) / span
            table[k] = f32(y / level_at(k))
        if i == 1:
            first_start = start
        last_end = end
    for k in range(last_end + 1, TABLE_SIZE):
        table[k] = table[last_end]
    for k in range(first_start):
        table[k] = table[first_start]
    return table


def coefficient(ms):
    return f32(math.exp(-1000.0 / (max(ms, MIN_TIME_MS) * SAMPLE_RATE)))


class Stage:
    def __init__(self, attack_ms, release_ms, mix, hold, table):
        self.attack = coefficient(attack_ms)
        self.release = coefficient(release_ms)
        self.power = coefficient(POWER_SMOOTHING_MS)
        self.mix = f32(mix)
        self.hold = hold
        self.table = table
        self.smoothed = f32(LEVEL_FLOOR)
        self.held = f32(LEVEL_FLOOR)
        self.count = 0
        self.target = 1.0
        self.gain = 1.0
        self.wait = 0
        self.length = int(LOOK_AHEAD_SECONDS * SAMPLE_RATE)
        self.delay = [[0.0] * self.length for _ in range(CHANNELS)]
        self.write = 0

    def look_up(self, level):
        if level > 1.0:
            return self.table[TABLE_SIZE - 1]
        f = level * (TABLE_SIZE - 2)
        if f < 0.0:
            return self.table[0]
        i = round(f)  # ties to even
        return self.table[i] + (self.table[i + 1] - self.table[i]) * (f - i)

    def frame(self, samples):
        peak = max([f32(LEVEL_FLOOR)] + [abs(s) for s in samples])
        self.smoothed = f32(self.power * self.smoothed + (1.0 - self.power) * peak * peak)
        if self.smoothed > self.held:
            self.held = self.smoothed
        if self.count >= self.hold:
            level = math.sqrt(self.mix * self.smoothed + (1.0 - self.mix) * self.held)
            self.target = self.look_up(level)
            self.held = f32(LEVEL_FLOOR)
            self.count = 0
        self.count += 1
        if self.gain > self.target:
            self.gain = (1.0 - self.attack) * self.target + self.attack * self.gain
            self.wait = 0
        elif self.wait < self.length:
            self.wait += 1
        else:
            self.gain = (1.0 - self.release) * self.target + self.release * self.gain
        following = (self.write + 1) % self.length
        out = []
        for c, s in enumerate(samples):
            self.delay[c][self.write] = s
            out.append(f32(self.delay[c][following] * f32(self.gain)))
        self.write = following
        return out


def band_output(stage_settings, table):
    loaded = list(table)
    loaded[0] = loaded[1]  # the lowest level a band can measure is entry 1's
    if len(stage_settings) == 2:
        loaded = [f32(math.sqrt(g)) for g in loaded]  # the two stages share the gain
    stages = [Stage(a, r, m, h, loaded) for a, r, m, h in stage_settings]
    trace = []
    for n in range(FRAMES):
        samples = [input_sample(c, n) for c in range(CHANNELS)]
        for stage in stages:
            samples = stage.frame(samples)
        trace.append(samples)
    return trace


def literal(value):
    """A float literal that reads back as exactly this single-precision value."""
    text = "%.9g" % f32(value)
    if not any(c in text for c in ".e"):
        text += ".0"
    return text + "f"


def floats(values):
    return ", ".join(literal(v) for v in values)


def write(path):
    table = gain_table(CURVE)
    lines = [
        "// Generated by compressor/band_reference_trace.py; do not edit by hand.",
        "// clang-format off",
        '#include "compressor/band_reference_trace.h"',
        "",
        "namespace orq::compressor::testing {",
        "",
        "const BandTraceScenario kBandTrace = {",
        "    %d, %d, %d," % (SAMPLE_RATE, FRAMES, CHANNELS),
        "    {%s}," % floats([x for x, _ in CURVE]),
        "    {%s}," % floats([y for _, y in CURVE]),
        "    %d," % len(CURVE),
        "    {%s}," % ", ".join(str(p) for p in TRIANGLE_PERIODS),
        "    {",
    ]
    for channel in SEGMENTS:
        lines.append("        {%s}," % ", ".join("{%d, %s}" % (s, literal(a)) for s, a in channel))
    lines += ["    },", "};", ""]
    for name, settings in (("kBandTraceTwoStages", TWO_STAGES), ("kBandTraceOneStage", ONE_STAGE)):
        trace = band_output(settings, table)
        lines.append("const float %s[] = {" % name)
        values = [v for frame in trace for v in frame]
        for i in range(0, len(values), 6):
            lines.append("    " + floats(values[i:i + 6]) + ",")
        lines += ["};", ""]
    lines += ["} // namespace orq::compressor::testing", ""]
    with open(path, "w", encoding="ascii") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: band_reference_trace.py OUTPUT_PATH")
    write(sys.argv[1])
