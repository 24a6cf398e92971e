#!/usr/bin/python3
"""compressor_factory_bank.py OUT: writes compressor_plax's factory bank as the C string text
the library holds (27840 upper-case hexadecimal digits: ten programs of 1392 bytes).

A program: records 0 … 14 as big-endian 32-bit floats (Gain, Solo, BandGain1 … 5 normalised;
ActBand, Bands, Border1 … 4, Type, Limiter raw), the 1300-byte curve block (five bands of 65
big-endian floats: the point count, 15 input levels, 15 output levels, 34 zeros), and the name
in 32 bytes padded with zeros.

Each band's transfer curve is a soft-knee compressor drawn in linear levels: unity up to the
threshold, then the ratio above it, eased over a knee. A band with no design keeps the two-point
unity curve (0, 0), (1, 1).
"""

import math
import struct
import sys

PROGRAM_BYTES = 1392
CURVE_POINTS = 15
FLOATS_PER_BAND = 65
BANDS = 5

# Name, then the scalars: Gain, Solo, BandGain1 … 5 (normalised), ActBand, Bands,
# Border1 … 4, Type, Limiter (raw).
SCALARS = [
    ("Init", [0.5, 0, 0.5, 0.5, 0.5, 0.5, 0.5, 1, 3, 8, 11, 15, 16, 1, 0]),
    ("FM Radio", [0.458333, 0, 0.625, 0.5, 0.5625, 0.625, 0.5, 2, 4,
                  6.02768, 9.64449, 13.2871, 14.4285, 1, 1]),
    ("Electric Bass", [0.5, 0, 0.604167, 0.4625, 0.616667, 0.55, 0.5, 0, 4,
                       6.31806, 8.66274, 11.2847, 14.4285, 1, 1]),
    ("Electric Guitar", [0.458333, 0, 0.604167, 0.5625, 0.708333, 0.654167, 0.5, 2, 4,
                         6.64265, 8.98466, 12.4264, 14.4285, 1, 1]),
    ("Acoustic Guitar", [0.270833, 0, 0.5, 0.541667, 0.666667, 0.604167, 0.5, 2, 4,
                         6.31506, 8.01992, 12.8536, 14.4285, 1, 0]),
    ("Bass Drum", [0.5, 0, 0.625, 0.5, 0.808333, 0.5, 0.5, 0, 3,
                   5.91551, 9.6438, 15, 16, 1, 1]),
    ("Snare Drum", [0.5, 0, 0.5, 0.5, 0.604167, 0.741667, 0.5, 2, 4,
                    6.31606, 8.82204, 11.5673, 14.4285, 1, 1]),
    ("Drumset", [0.5, 0, 0.708333, 0.5, 0.616667, 0.708333, 0.5, 0, 4,
                 5.90786, 9.37522, 12.9236, 14.4285, 1, 1]),
    ("Vocals", [0.5, 0, 0.5, 0.5, 0.5, 0.5, 0.5, 1, 4,
                6.31806, 8.98466, 11.7086, 14.4285, 1, 1]),
    ("De-Essing", [0.5, 0, 0.5, 0.5, 0.5, 0.5, 0.5, 1, 2,
                   11.2847, 14.4285, 14.4285, 14.9285, 1, 0]),
]

# Per program, per band: (threshold dB, ratio) or None for unity. Bands beyond the program's
# band count are unity.
CURVES = {
    "Init": [None, None, None, None, None],
    # broadcast loudness: every band held firmly
    "FM Radio": [(-24, 4.0), (-22, 4.0), (-20, 5.0), (-18, 6.0), None],
    # the low band evened out, the rest light
    "Electric Bass": [(-20, 4.0), (-16, 2.5), (-12, 2.0), (-12, 1.5), None],
    # the middle held, the body and the top gently
    "Electric Guitar": [(-14, 1.8), (-18, 3.0), (-20, 3.5), (-16, 2.0), None],
    # light everywhere, a little firmer on the string noise
    "Acoustic Guitar": [(-12, 1.5), (-14, 1.8), (-16, 2.0), (-18, 2.5), None],
    # a strong low-band curve, the rest barely touched
    "Bass Drum": [(-26, 6.0), (-12, 1.5), (-10, 1.3), None, None],
    # the body and the crack held, low band free
    "Snare Drum": [None, (-20, 3.0), (-22, 4.0), (-16, 2.5), None],
    # the kit glued together
    "Drumset": [(-22, 4.0), (-18, 3.0), (-20, 3.0), (-18, 2.5), None],
    # a gentle curve: low threshold, low ratio
    "Vocals": [(-18, 1.6), (-20, 2.0), (-20, 2.0), (-18, 1.8), None],
    # the high band pulled down hard, the low band free
    "De-Essing": [None, (-30, 8.0), None, None, None],
}

KNEE_DB = 6.0
FLOOR_DB = -60.0


def curve_points(threshold_db, ratio):
    """(x, y) level pairs of a soft-knee curve, 0 … 1 on both axes."""
    points = [(0.0, 0.0)]
    low = max(threshold_db - KNEE_DB / 2, FLOOR_DB)
    points.append((10 ** (low / 20), 10 ** (low / 20)))
    inputs_db = [threshold_db + d for d in (0.0, KNEE_DB / 2)]
    step = (0.0 - (threshold_db + KNEE_DB / 2)) / 8
    inputs_db += [threshold_db + KNEE_DB / 2 + step * k for k in range(1, 9)]
    for x_db in inputs_db:
        if x_db <= threshold_db - KNEE_DB / 2:
            y_db = x_db
        elif x_db < threshold_db + KNEE_DB / 2:
            over = x_db - threshold_db + KNEE_DB / 2
            y_db = x_db + (1 / ratio - 1) * over * over / (2 * KNEE_DB)
        else:
            y_db = threshold_db + (x_db - threshold_db) / ratio
        points.append((10 ** (x_db / 20), 10 ** (min(y_db, 0.0) / 20)))
    points[-1] = (1.0, points[-1][1])
    assert len(points) <= CURVE_POINTS
    assert all(b[0] >= a[0] for a, b in zip(points, points[1:]))
    return points


def band_floats(design):
    points = [(0.0, 0.0), (1.0, 1.0)] if design is None else curve_points(*design)
    xs = [p[0] for p in points] + [0.0] * (CURVE_POINTS - len(points))
    ys = [p[1] for p in points] + [0.0] * (CURVE_POINTS - len(points))
    floats = [float(len(points))] + xs + ys
    return floats + [0.0] * (FLOATS_PER_BAND - len(floats))


def program_bytes(name, scalars):
    bands = int(scalars[8])
    designs = [d if i < bands else None for i, d in enumerate(CURVES[name])]
    data = struct.pack(">15f", *scalars)
    for design in designs:
        data += struct.pack(">%df" % FLOATS_PER_BAND, *band_floats(design))
    data += name.encode("ascii").ljust(32, b"\0")
    assert len(data) == PROGRAM_BYTES
    return data


def main():
    bank = b"".join(program_bytes(name, scalars) for name, scalars in SCALARS)
    text = bank.hex().upper()
    assert len(text) == 27840
    lines = ['    "%s"\n' % text[i:i + 120] for i in range(0, len(text), 120)]
    with open(sys.argv[1], "w") as out:
        out.write("// Generated by plax/compressor_factory_bank.py; do not edit by hand.\n")
        out.write("// clang-format off\n")
        out.writelines(lines)


if __name__ == "__main__":
    main()
