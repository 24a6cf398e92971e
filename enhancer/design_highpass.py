#!/usr/bin/python3
"""Designs the enhancer's linear-phase high-pass FIRs and writes highpass_designs_table.cpp.

Seven corners (1000 ... 7000 Hz) at each of the two base rates, with the tap counts below.
Every design is a symmetric (type I) FIR found by linear programming on a dense frequency grid,
with the response exactly -4 dB at the corner and -21 dB at half the corner, never below the
corner gain above the corner (nor below the half-corner gain above half the corner):
  1. where the taps allow it: within +-0.09 dB of unity from twice the corner to the Nyquist
     frequency, at most 0.5 dB above unity anywhere, and the largest magnitude over
     [0, 0.4 x corner] as small as possible;
  2. otherwise (a 1000 Hz corner in 39 taps cannot be flat from 2 kHz with -21 dB at 500 Hz):
     the largest deviation from unity above twice the corner as small as possible, with the
     magnitude over [0, 0.4 x corner] held at FALLBACK_STOPBAND_DB.
The table records each design's deviation from unity above twice the corner.
Only the first half including the centre tap is stored; the engine mirrors it.

Run from the top folder:
    /usr/bin/python3 enhancer/design_highpass.py enhancer/highpass_designs_table.cpp
"""
import sys

import numpy as np
from scipy.optimize import linprog

BASE_RATES_HZ = (44100, 48000)
CORNERS_HZ = (1000, 2000, 3000, 4000, 5000, 6000, 7000)
TAP_COUNTS = {
    44100: (39, 39, 31, 23, 19, 17, 17),
    48000: (39, 39, 35, 25, 21, 17, 15),
}
CORNER_GAIN_DB = -4.0
HALF_CORNER_GAIN_DB = -21.0
FLAT_RIPPLE_DB = 0.09
OVERSHOOT_DB = 0.5
STOPBAND_FRACTION = 0.4
FALLBACK_STOPBAND_DB = -16.0
GRID_POINTS = 600


def db_to_gain(db):
    return 10.0 ** (db / 20.0)


def cosine_basis(freqs_hz, rate_hz, half_length):
    """Rows map the stored half (h[M-k] for k = 0..M, centre first) to the zero-phase response."""
    w = 2.0 * np.pi * np.atleast_1d(np.asarray(freqs_hz, dtype=float)) / rate_hz
    basis = np.ones((len(w), half_length + 1))
    for k in range(1, half_length + 1):
        basis[:, k] = 2.0 * np.cos(k * w)
    return basis


def grid(lo, hi, points=GRID_POINTS):
    return np.linspace(lo, hi, points)


def solve(rate_hz, corner_hz, taps, flat):
    """Linear program over the half taps and one bound variable d.

    flat: stage 1 (d bounds the stopband, the flat band is fixed); otherwise stage 2 (d bounds
    the deviation above twice the corner, the stopband is fixed)."""
    m = (taps - 1) // 2
    rows, bounds = [], []

    def at_most(freqs, value, weight=0.0):  # A(f) - weight d <= value
        for r in cosine_basis(freqs, rate_hz, m):
            rows.append(np.r_[r, -weight]); bounds.append(value)

    def at_least(freqs, value, weight=0.0):  # A(f) + weight d >= value
        for r in cosine_basis(freqs, rate_hz, m):
            rows.append(np.r_[-r, -weight]); bounds.append(-value)

    passband = grid(2.0 * corner_hz, rate_hz / 2)
    stopband = grid(0.0, STOPBAND_FRACTION * corner_hz, GRID_POINTS // 2)
    at_least(grid(corner_hz, 2.0 * corner_hz, GRID_POINTS // 2), db_to_gain(CORNER_GAIN_DB))
    at_least(grid(corner_hz / 2, corner_hz, GRID_POINTS // 2), db_to_gain(HALF_CORNER_GAIN_DB))
    if flat:
        at_most(passband, db_to_gain(FLAT_RIPPLE_DB))
        at_least(passband, db_to_gain(-FLAT_RIPPLE_DB))
        at_most(grid(0.0, 2.0 * corner_hz), db_to_gain(OVERSHOOT_DB))
        at_most(stopband, 0.0, 1.0)
        at_least(stopband, 0.0, 1.0)
    else:
        at_most(grid(0.0, rate_hz / 2), 1.0, 1.0)
        at_least(passband, 1.0, 1.0)
        at_most(stopband, db_to_gain(FALLBACK_STOPBAND_DB))
        at_least(stopband, -db_to_gain(FALLBACK_STOPBAND_DB))
    equal_rows = [np.r_[cosine_basis(corner_hz, rate_hz, m)[0], 0.0],
                  np.r_[cosine_basis(corner_hz / 2, rate_hz, m)[0], 0.0]]
    equal_values = [db_to_gain(CORNER_GAIN_DB), db_to_gain(HALF_CORNER_GAIN_DB)]
    cost = np.zeros(m + 2)
    cost[-1] = 1.0
    result = linprog(cost, A_ub=np.array(rows), b_ub=bounds, A_eq=np.array(equal_rows),
                     b_eq=equal_values, bounds=[(None, None)] * (m + 2), method="highs")
    if result.status != 0:
        return None
    centre_first = result.x[:-1]
    if flat:
        # Verify on a finer grid; a numerically poor solution counts as infeasible.
        freqs = grid(2.0 * corner_hz, rate_hz / 2, 8 * GRID_POINTS)
        response = cosine_basis(freqs, rate_hz, m) @ centre_first
        if (np.abs(20 * np.log10(np.abs(response))) > 0.1).any():
            return None
    return centre_first[::-1]  # first half, centre tap last


def passband_deviation_db(half, rate_hz, corner_hz):
    centre_first = np.asarray(half)[::-1]
    freqs = grid(2.0 * corner_hz, rate_hz / 2, 8 * GRID_POINTS)
    response = cosine_basis(freqs, rate_hz, len(half) - 1) @ centre_first
    return float(np.abs(20 * np.log10(np.abs(response))).max())


def design(rate_hz, corner_hz, taps):
    half = solve(rate_hz, corner_hz, taps, flat=True)
    if half is None:
        half = solve(rate_hz, corner_hz, taps, flat=False)
    if half is None:
        raise RuntimeError(f"no design for {corner_hz} Hz at {rate_hz} Hz")
    return half, passband_deviation_db(half, rate_hz, corner_hz)


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} OUTPUT")
    lines = [
        "// Generated by enhancer/design_highpass.py; do not edit by hand.",
        "// clang-format off",
        "// Linear-phase high-pass designs: first half of each symmetric FIR, centre tap last.",
        '#include "enhancer/highpass_designs.h"',
        "",
        "namespace orq::enhancer {",
        "",
        "const HighpassDesign kHighpassDesigns[kHighpassBaseRateCount][kHighpassCornerCount] = {",
    ]
    for rate in BASE_RATES_HZ:
        lines.append("    {")
        for corner, taps in zip(CORNERS_HZ, TAP_COUNTS[rate]):
            half, deviation = design(rate, corner, taps)
            lines.append(f"        {{{rate}, {corner}, {taps}, {deviation:.3f},")
            lines.append("         {")
            for value in half:
                lines.append(f"             {value:.17g},")
            lines.append("         }},")
        lines.append("    },")
    lines += ["};", "", "} // namespace orq::enhancer", ""]
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
