"""Reference model of the maximizer's per-sample algorithms, and the trace it writes.

An independent, deliberately plain model of the level stage (slow and fast detectors, crest,
transient ramp, recovery and shadow gain), the look-ahead peak limiter (overload density,
test level, hold, attack, release with its memory) and the curve clipper, for one stereo stream
with the component build's whole-dB settings. Every value is a 32-bit float and every step is
rounded to one, as the engine keeps them; logarithms and powers are taken in double precision
and rounded. It runs a fixed test signal through the model and writes the signal, the output
and the two gains per frame as a C++ header the engine's test compares against.

Usage: /usr/bin/python3 maximizer_reference_model.py OUTPUT_PATH
"""

import math
import struct
import sys

RATE_HZ = 44100
DESIRED_GAIN_DB = 10.0
DENSITY = 0.5
HEADROOM = 2
BOOST = 0
FRAMES = 9000


def f32(x):
    """x rounded to the nearest 32-bit float."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def mul(*factors):
    """Product of floats, rounded after each multiplication (left to right)."""
    result = factors[0]
    for factor in factors[1:]:
        result = f32(result * factor)
    return result


def smooth(value, target, keep):
    """One-pole step keep·value + (1 − keep)·target in float arithmetic."""
    return f32(f32(keep * value) + f32(f32(1.0 - keep) * target))


def coefficient(time_ms, samples_between_updates, fsk):
    return f32(math.exp(-samples_between_updates / (time_ms * fsk)))


# ---- Tables -----------------------------------------------------------------------------------

def bezier_y(points, t):
    m = len(points)
    y = 0.0
    for q, (_, py) in enumerate(points):
        weight = math.comb(m - 1, q) * t ** q * (1.0 - t) ** (m - 1 - q)
        y += weight * py
    return y


KNEE = f32(0.56234)
CURVE_SHAPES = [  # (y1, x1) of curves 1 … 18
    (0.729, 0.514774), (0.742, 0.514774), (0.751, 0.514774), (0.7685, 0.514774),
    (0.78, 0.514774), (0.8025, 0.514774), (0.82, 0.514774), (0.838, 0.514774),
    (0.850198, 0.514774), (0.868, 0.514774), (0.886, 0.514774), (0.9025, 0.514774),
    (0.92, 0.514774), (0.939, 0.514774), (0.9525, 0.514774), (0.9865, 0.514774),
    (0.9925, 0.494), (0.9995, 0.019),
]


def clip_curve(index):
    if index == 0:
        points = [(0.0, KNEE), (1.0, 1.0)]
    else:
        y1, x1 = CURVE_SHAPES[index - 1]
        points = [(0.0, KNEE), (x1, y1), (0.999, 1.0), (1.0, 1.0)]
    return [f32(bezier_y(points, n / 255.0)) for n in range(256)]


def release_tables():
    fast, slow = [], []
    for i in range(128):
        c = f32(i / 127.0)
        fast.append(f32(f32(f32(1.0 - c) * f32(0.00952381)) + f32(c * f32(0.00028571428))))
        slow.append(f32(f32(f32(1.0 - c) * f32(0.0007142857)) + f32(c * f32(0.0002))))
    for i in range(6):
        fast[i] = slow[i] = f32(0.0125)
    return fast, slow


# ---- The model --------------------------------------------------------------------------------

class Maximizer:
    def __init__(self, rate_hz, desired_db, density, headroom, boost):
        fsk = f32(rate_hz * f32(0.001))
        self.fsk = fsk
        n1 = int(fsk)
        n2 = n1 // 3
        self.n1, self.n2, self.L = n1, n2, 2 * n1
        L = self.L

        # Settings, derived at open: whole-dB tables.
        k = int(f32(density * 12.0)) + 1
        ratio = f32(1.0 + f32(f32(0.1) * k))
        self.inv_r = f32(1.0 / ratio)
        slope_inv = f32(1.0 / f32(1.0 - self.inv_r))
        lim_part = f32(desired_db * f32(1.0 - density))
        comp_part = f32(desired_db - lim_part)
        cp = int(comp_part)
        j = int(lim_part)
        self.threshold = -f32(cp * slope_inv)
        self.comp_makeup = f32(10.0 ** (cp / 20.0))
        lim_thr = f32(10.0 ** ((-j - 6.0) / 20.0))
        hold_thr = f32(10.0 ** ((-j - 6.25) / 20.0))
        self.lim_gain_up = f32(10.0 ** ((j + 6.0) / 20.0))
        self.boost_gain = f32(1.2589) if boost else 1.0
        curve_index = headroom + 9
        clip_top_db = f32(curve_index * f32(0.3333))
        self.clip_top = f32(10.0 ** (clip_top_db / 20.0))
        self.clip_scale = f32(1.0 / f32(self.clip_top - KNEE))
        self.curve = clip_curve(curve_index)
        self.ceil_t = mul(self.clip_top, lim_thr, self.boost_gain)
        self.hold_t = mul(self.clip_top, hold_thr, self.boost_gain)

        # Time constants.
        self.c_ms_fast = coefficient(0.1, 1, fsk)
        self.c_ms_slow = coefficient(20, 1, fsk)
        self.c_pk_fast = coefficient(0.1, n2, fsk)
        self.c_pk_slow = coefficient(20, n1, fsk)
        self.c_env_up = coefficient(0.01, n1, fsk)
        self.c_env_down = coefficient(10000, n1, fsk)
        self.c_attack = coefficient(3, 1, fsk)
        self.c_release = coefficient(5000, 1, fsk)
        self.c_recover = coefficient(2, 1, fsk)
        self.c_crest = coefficient(8000, 1, fsk)
        self.c_density = coefficient(1800, L, fsk)
        self.c_rel_track = coefficient(35, 1, fsk)
        self.c_rel_top = coefficient(2, 1, fsk)
        self.rise_step = f32(1.323 / f32(fsk * 1000.0))
        self.density_target = 1.0 if rate_hz <= 48000 else f32(0.9)
        self.memory_life = int(f32(f32(fsk * 500.0) + 1.0))
        fast, slow = release_tables()
        per_frame = f32(1.0 / fsk)
        self.release_fast = [mul(v, per_frame, f32(1.15)) for v in fast]
        self.release_slow = [mul(v, per_frame, f32(1.15)) for v in slow]

        # Level-stage state.
        self.ms_fast = self.ms_slow = self.pk_fast = self.pk_slow = f32(1e-6)
        self.blk_fast = self.blk_slow = 0.0
        self.count_fast = self.count_slow = 0
        self.lev_fast = self.lev_slow = 0.0
        self.tgt_fast = self.tgt_slow = 1.0
        self.level_gain = self.shadow_gain = self.ramp_gain = 1.0
        self.ramp_step = 0.0
        self.ramp_left = 0
        self.ramping = self.recovering = False
        self.crest_smooth = 0.0
        self.peak_env = 0.0
        # Limiter state.
        self.lim_gain = 1.0
        self.attack_on = self.hold_on = self.release_on = False
        self.attack_left = self.hold_left = -1
        self.attack_step = self.attack_peak = 0.0
        self.rel_step = self.rel_target = self.rel_coef = self.rel_step_work = 0.0
        self.test_level = 0.0
        self.over_count = self.block_count = 0
        self.over_density = 0.0
        self.rel_index = 0
        self.mem_step = [0.0] * 20
        self.mem_life = [0] * 20
        # Delay lines: for each of the two, one ring per channel and one write index.
        self.rings = [[[0.0] * L for _ in range(2)] for _ in range(2)]
        self.index = 0

    def level(self, ms, pk):
        return f32(10.0 * math.log10(f32(f32(f32(0.8) * ms) + f32(f32(0.2) * pk))))

    def target(self, lev):
        if lev > self.threshold:
            reduction = -f32(f32(lev - self.threshold) * f32(1.0 - self.inv_r))
        else:
            reduction = 0.0
        return f32(10.0 ** (reduction / 20.0))

    def detectors(self, p):
        self.ms_slow = smooth(self.ms_slow, p, self.c_ms_slow)
        self.blk_slow = max(self.blk_slow, p)
        if self.count_slow >= self.n1:
            c = self.c_env_up if self.blk_slow > self.peak_env else self.c_env_down
            self.peak_env = smooth(self.peak_env, self.blk_slow, c)
            self.pk_slow = smooth(self.pk_slow, self.blk_slow, self.c_pk_slow)
            self.blk_slow = f32(1e-6)
            self.count_slow = 0
            self.lev_slow = self.level(self.ms_slow, self.pk_slow)
            self.tgt_slow = self.target(self.lev_slow)
        self.count_slow += 1

        self.ms_fast = smooth(self.ms_fast, p, self.c_ms_fast)
        self.blk_fast = max(self.blk_fast, p)
        if self.count_fast >= self.n2:
            self.pk_fast = smooth(self.pk_fast, self.blk_fast, self.c_pk_fast)
            self.blk_fast = f32(1e-8)
            self.count_fast = 0
            self.lev_fast = self.level(self.ms_fast, self.pk_fast)
            self.tgt_fast = self.target(self.lev_fast)
        self.count_fast += 1

        crest = f32(self.lev_fast - self.lev_slow)
        self.crest_smooth = smooth(self.crest_smooth, crest, self.c_crest)
        return crest

    def level_gain_step(self, crest):
        L = self.L
        if crest > f32(6.9):
            self.ramp_gain = self.level_gain
            if self.tgt_fast < f32(self.level_gain - f32(self.ramp_left * self.ramp_step)):
                s = f32(f32(self.level_gain - self.tgt_fast) / (L - 1))
                self.ramp_step = max(self.ramp_step, s)
                self.ramp_left = L
                self.ramping = self.recovering = True
            if self.ramping:
                self.ramp_left -= 1
                if self.ramp_left == 0:
                    self.ramp_step = 0.0
                    self.ramping = False
                if self.ramp_gain <= self.tgt_fast:
                    self.ramping = False
                else:
                    self.ramp_gain = f32(self.ramp_gain - self.ramp_step)
                self.level_gain = self.ramp_gain
        elif crest >= 0.0 or not self.recovering:
            if crest < f32(6.9):
                c = self.c_attack if self.level_gain > self.tgt_slow else self.c_release
                self.level_gain = smooth(self.level_gain, self.tgt_slow, c)
        else:
            self.ramp_gain = self.level_gain
            self.ramp_step = 0.0
            if f32(self.ramp_gain + f32(L * self.rise_step)) <= self.shadow_gain:
                self.ramp_gain = f32(self.ramp_gain + self.rise_step)
            else:
                self.ramp_gain = smooth(self.ramp_gain, self.shadow_gain, self.c_recover)
            if self.shadow_gain <= self.ramp_gain:
                self.recovering = False
                self.ramp_gain = self.shadow_gain
            self.level_gain = self.ramp_gain
        c = self.c_attack if self.shadow_gain > self.tgt_slow else self.c_release
        self.shadow_gain = smooth(self.shadow_gain, self.tgt_slow, c)

    def limiter_detect(self, pk):
        L = self.L
        ceil_t = self.ceil_t
        if pk >= ceil_t:
            self.over_count += 1
        if self.block_count > L:
            if self.over_count == 0:
                self.over_density = f32(self.c_density * self.over_density)
            else:
                self.over_density = smooth(self.over_density, self.density_target,
                                           self.c_density)
            self.over_count = self.block_count = 0
        self.block_count += 1

        if self.release_on:
            self.test_level = f32(pk * f32(self.lim_gain + f32(L * self.rel_step)))
            t = self.test_level
        elif self.attack_on:
            done = f32(f32((L - self.attack_left) * self.attack_step) / (L - 1))
            t = f32(pk * f32(self.lim_gain + done))
        elif self.hold_on:
            rise = f32((L - self.hold_left + 1) * self.rel_step)
            self.test_level = f32(pk * f32(self.lim_gain + rise))
            t = self.test_level
        else:
            t = pk

        if t >= self.hold_t and self.lim_gain < f32(0.95) and not self.attack_on:
            self.release_on = False
            self.hold_on = True
            self.hold_left = L
        if t >= ceil_t and t >= self.attack_peak:
            self.attack_on = self.hold_on = True
            self.release_on = False
            s = f32(f32(1.0 - f32(ceil_t / t)) * self.lim_gain)
            if s >= self.attack_step:
                self.attack_peak = t
                self.hold_left = 2 * L
                self.attack_step = s
                self.attack_left = L - 1
            else:
                done = f32(f32(self.attack_left * self.attack_step) / (L - 1))
                if done < s:
                    e = int(f32(f32(f32(s - done) * L) / self.attack_step)) + 1
                    self.attack_left += e
                    self.hold_left += e

    def limiter_gain_step(self):
        L = self.L
        if self.release_on:
            self.rel_step_work = smooth(self.rel_step_work, self.rel_target, self.rel_coef)
            self.rel_step = self.rel_step_work
            if self.test_level < self.ceil_t:
                self.rel_coef = self.c_rel_track
                self.rel_target = self.release_slow[self.rel_index]
            else:
                self.rel_target = 0.0
                self.rel_step = f32(self.rel_step - f32(f32(self.test_level - f32(0.9999)) / (L - 1)))
            if f32(f32(self.rel_step_work * L) + self.lim_gain) < 1.0:
                self.lim_gain = f32(self.lim_gain + self.rel_step)
            else:
                self.rel_coef = self.c_rel_top
                self.lim_gain = smooth(self.lim_gain, 1.0, self.c_rel_top)
            k = int(f32(f32(self.lim_gain * 20.0) - f32(0.01)))
            if self.mem_step[k] == 0.0 or self.mem_step[k] > self.rel_step:
                self.mem_step[k] = self.rel_step
            self.mem_life[k] = self.memory_life
            for m in range(20):
                self.mem_life[m] -= 1
                if self.mem_life[m] < 0:
                    self.mem_life[m] = 0
                    self.mem_step[m] = 0.0
        elif self.attack_on:
            self.lim_gain = f32(self.lim_gain - f32(self.attack_step / (L - 1)))

        if self.lim_gain > f32(0.9999):
            self.lim_gain = f32(0.9999)
            self.release_on = False
            self.mem_step = [0.0] * 20
            self.mem_life = [0] * 20
        if self.lim_gain < 0.0:
            self.lim_gain = 0.0
        if self.attack_left == 0:
            self.attack_left = -1
            self.attack_on = False
            self.attack_peak = self.attack_step = 0.0
        if self.hold_left == 0:
            self.release_on = True
            self.hold_left = -1
            self.hold_on = False
            self.rel_index = min(int(f32(self.over_density * f32(337.92))), 127)
            self.rel_step_work = self.release_fast[self.rel_index]
            k = int(f32(self.lim_gain * 20.0))
            if self.mem_step[k] != 0.0 and self.mem_step[k] < self.rel_step_work:
                self.rel_step_work = self.mem_step[k]
            self.rel_coef = self.c_rel_track
            self.rel_step = self.rel_step_work
            self.rel_target = self.release_slow[self.rel_index]
        if self.hold_on:
            self.hold_left -= 1
            if self.attack_on:
                self.attack_left -= 1

    def clip(self, s):
        magnitude = abs(s)
        if magnitude <= KNEE:
            return s
        f = f32(f32(magnitude - KNEE) * self.clip_scale)
        if f >= 1.0:
            f = f32(0.9999)
        i = int(math.floor(f32(255.0 * f)))
        T = self.curve
        y = f32(T[i] + f32(f32(f32(T[i + 1] - T[i]) * f32(f - f32(i / 255.0))) * 255.0))
        return y if s > 0 else -y

    def frame(self, x, y):
        """One frame: returns the two output samples."""
        p = f32(max(f32(x * x), f32(y * y)) + f32(1e-6))
        crest = self.detectors(p)
        self.level_gain_step(crest)

        # First delay (L frames: a ring slot is read just before it is written again), then
        # the level gain and the −6 dB before the limiter.
        i = self.index
        first = self.rings[0]
        xd, yd = first[0][i], first[1][i]
        first[0][i], first[1][i] = x, y
        g = mul(self.comp_makeup, self.level_gain, self.boost_gain)
        u = mul(xd, g, f32(0.5012))
        v = mul(yd, g, f32(0.5012))
        self.limiter_detect(max(abs(u), abs(v)))

        # Second delay.
        second = self.rings[1]
        ud, vd = second[0][i], second[1][i]
        second[0][i], second[1][i] = u, v
        self.index = (i + 1) % self.L

        self.limiter_gain_step()
        G = f32(self.lim_gain_up * self.lim_gain)
        a = self.clip(mul(G, ud, f32(0.999)))
        b = self.clip(mul(G, vd, f32(0.999)))
        return f32(a * f32(0.99974)), f32(b * f32(0.99974))


# ---- Test signal ------------------------------------------------------------------------------

def test_signal():
    """16-bit stereo test signal: a quiet tone; a slow crescendo into the level stage's
    threshold (its gain attacks without a transient); a loud stretch and a quiet one; a burst
    out of quiet (a transient: the gain ramps down ahead of it, then recovers after it while the
    limiter releases); a medium tone with short clicks every 500 frames, which land during hold
    and release and draw on the release memory."""
    left, right = [], []
    for n in range(FRAMES):
        t = n / RATE_HZ
        if n < 1200:
            a = 0.1
        elif n < 3400:
            a = 0.1 + 0.75 * (n - 1200) / 2200.0
        elif n < 4200:
            a = 0.9
        elif n < 5400:
            a = 0.05
        elif n < 5700:
            a = 0.8
        elif n < 6900:
            a = 0.05
        else:
            a = 0.3
        b = 0.85 * a
        click = 1.0 if n >= 6900 and n % 500 < 15 else 0.0
        l = a * math.sin(2 * math.pi * 220.0 * t) + 0.3 * a * math.sin(2 * math.pi * 1375.0 * t)
        r = b * math.sin(2 * math.pi * 330.0 * t + 0.5) + 0.2 * b * math.sin(2 * math.pi * 95.0 * t)
        l += 0.6 * click
        r -= 0.65 * click
        left.append(max(-32768, min(32767, round(l * 32768.0))))
        right.append(max(-32768, min(32767, round(r * 32768.0))))
    return left, right


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: maximizer_reference_model.py OUTPUT_PATH")
    left, right = test_signal()
    model = Maximizer(RATE_HZ, DESIRED_GAIN_DB, DENSITY, HEADROOM, BOOST)
    out_left, out_right, level_gain, limiter_gain = [], [], [], []
    for x16, y16 in zip(left, right):
        a, b = model.frame(f32(x16 / 32768.0), f32(y16 / 32768.0))
        out_left.append(a)
        out_right.append(b)
        level_gain.append(model.level_gain)
        limiter_gain.append(model.lim_gain)

    def literal(v):
        text = "%.9g" % v
        if "." not in text and "e" not in text:
            text += ".0"
        return text + "f,"

    def floats(values):
        lines = []
        for start in range(0, len(values), 8):
            lines.append("    " + " ".join(literal(v) for v in values[start:start + 8]))
        return "\n".join(lines)

    def ints(values):
        lines = []
        for start in range(0, len(values), 16):
            lines.append("    " + " ".join("%d," % v for v in values[start:start + 16]))
        return "\n".join(lines)

    text = f"""// Generated by maximizer/maximizer_reference_model.py; do not edit by hand.
// clang-format off
// The maximizer's reference model run over a fixed stereo test signal at {RATE_HZ} Hz with
// DesGain {DESIRED_GAIN_DB}, Comp {DENSITY}, HeadRoom {HEADROOM}, Boost {BOOST} (set before open).
#pragma once

#include <cstdint>

namespace orq::maximizer::reference {{

constexpr int32_t kSampleRateHz = {RATE_HZ};
constexpr float kDesiredGainDb = {DESIRED_GAIN_DB}f;
constexpr float kDensity = {DENSITY}f;
constexpr float kHeadroom = {HEADROOM}.0f;
constexpr float kBoost = {BOOST}.0f;
constexpr int32_t kFrames = {FRAMES};

// Input, 16-bit values (full scale 32768).
constexpr int16_t kInputLeft[kFrames] = {{
{ints(left)}
}};
constexpr int16_t kInputRight[kFrames] = {{
{ints(right)}
}};
// Output per frame (the engine's signal, delayed by 2L).
constexpr float kOutputLeft[kFrames] = {{
{floats(out_left)}
}};
constexpr float kOutputRight[kFrames] = {{
{floats(out_right)}
}};
// Level gain and limiter gain after each frame.
constexpr float kLevelGain[kFrames] = {{
{floats(level_gain)}
}};
constexpr float kLimiterGain[kFrames] = {{
{floats(limiter_gain)}
}};

}} // namespace orq::maximizer::reference
"""
    with open(sys.argv[1], "w", encoding="utf-8") as out:
        out.write(text)


if __name__ == "__main__":
    main()
