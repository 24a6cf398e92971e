#!/usr/bin/python3
"""Every bitmap an editor loads is in its library's resource list, as a file the resource
compiler takes, at the size and depth the editor draws it with.

The table below is written from the editors' own descriptions (and the Plax editor's twin
bitmaps for the pressane_dx sizes the dx editor leaves open), not from the generator: a bitmap
drawn at a wrong size, or a number missing from a list, fails here. The pictures are read the way
the library receives them: through cmake/resources.py's packing of the named file.

    /usr/bin/python3 tools/skin/skin_sizes_test.py
"""
import glob
import sys
import os
import shlex
import struct
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

# The resource compiler, whose packing the libraries carry.
sys.path.insert(0, os.path.join(ROOT, "cmake"))
import resources  # noqa: E402

ANY = None  # a size the editor leaves to the artwork

# (folder, number): (width, height, bits per pixel); ANY where the description gives none.
EXPECTED = {
    # pressane_dx: all 27 bitmaps are 24-bit; 113 is absent.
    ("maximizer", 101): (444, 262, 24),
    ("maximizer", 102): (ANY, ANY, 24),
    ("maximizer", 103): (18, 113, 24),   # a 24-step slider: 113-pixel track, 12-pixel thumb
    ("maximizer", 104): (18, 12, 24),
    ("maximizer", 105): (7, 110, 24),    # level bars as the Plax editor's 7 x 110
    ("maximizer", 106): (7, 110, 24),
    ("maximizer", 107): (13, 112, 24),   # gain meters as the Plax editor's 13 x 112
    ("maximizer", 108): (13, 112, 24),
    ("maximizer", 109): (13, 112, 24),
    ("maximizer", 110): (13, 112, 24),
    ("maximizer", 111): (43, 15, 24),    # one frame of the Plax switches (43 x 30, two frames)
    ("maximizer", 112): (43, 15, 24),
    ("maximizer", 114): (26, 14, 24),    # one frame of the Plax buttons (26 x 28, two frames)
    ("maximizer", 115): (26, 14, 24),
    ("maximizer", 116): (26, 14, 24),
    ("maximizer", 117): (26, 14, 24),
    ("maximizer", 118): (43, 15, 24),
    ("maximizer", 119): (43, 15, 24),
    ("maximizer", 120): (50, 16, 24),    # one frame of the Plax rocker (50 x 48, three frames)
    ("maximizer", 121): (50, 16, 24),
    ("maximizer", 122): (50, 16, 24),
    ("maximizer", 123): (ANY, ANY, 24),
    ("maximizer", 124): (7, 110, 24),
    ("maximizer", 125): (7, 110, 24),
    ("maximizer", 126): (7, 6, 24),      # one frame of the Plax clip lamp (7 x 12, two frames)
    ("maximizer", 127): (7, 6, 24),
    ("maximizer", 128): (ANY, ANY, 24),
    # pressane_plax
    ("plax", 1000): (446, 263, 24),
    ("plax", 1001): (446, 263, 24),
    ("plax", 1002): (43, 30, 24),
    ("plax", 1003): (43, 30, 24),
    ("plax", 1004): (26, 28, 24),
    ("plax", 1005): (26, 28, 24),
    ("plax", 1006): (50, 48, 24),
    ("plax", 1007): (18, 113, 24),
    ("plax", 1008): (18, 12, 24),
    ("plax", 1009): (13, 112, 24),
    ("plax", 1010): (13, 112, 24),
    ("plax", 1011): (13, 112, 24),
    ("plax", 1012): (13, 112, 24),
    ("plax", 1013): (7, 12, 8),
    ("plax", 1014): (7, 110, 8),
    ("plax", 1015): (7, 110, 8),
    ("plax", 1016): (7, 110, 8),
    ("plax", 1017): (7, 110, 8),
    # compressor_plax: plax/compressor_plax_editor.cpp
    ("plax", 1100): (480, 263, 24),      # the frame
    ("plax", 1101): (480, 263, 24),      # the splash covers the frame
    ("plax", 1102): (18, 113, 24),       # band and output sliders: the Pressane Plax geometry
    ("plax", 1103): (18, 12, 24),
    ("plax", 1104): (43, 30, 24),        # Solo: two 15-pixel frames
    **{("plax", n): (26, 28, 24) for n in range(1105, 1110)},  # band buttons, 44 apart
    ("plax", 1110): (13, 112, 24),       # the level meter, 20 segments
    ("plax", 1111): (13, 112, 24),
    ("plax", 1112): (12, 10, 24),        # in-use LED: two 5-pixel frames
    # compressor_dx: sizes follow the artwork.
    **{("compressor", n): (ANY, ANY, ANY) for n in (101, 103, 104, 105, 106, 107, 108, 109, 110,
                                                     111, 112, 113, 114, 115)},
    # tessaline_dx: the client and the controls' places in matching/tessaline_editor.{h,cpp}
    ("matching", 101): (560, 360, 24),   # the client
    **{("matching", n): (40, 18, 24) for n in range(110, 116)},  # switches 45 apart, reset
    ("matching", 120): (14, 100, 24),    # band sliders in 17-pixel columns, from 214 to 314
    ("matching", 121): (14, 9, 24),
    ("matching", 130): (28, 28, 24),     # the amount knob at 162, 323
    ("matching", 131): (6, 6, 24),
    ("matching", 132): (6, 6, 24),
    **{("matching", n): (26, 18, 24) for n in range(140, 146)},  # drawing modes 28 apart
    ("matching", 150): (12, 5, 24),      # group marks under the tracks
    ("matching", 151): (12, 5, 24),
    # brisquet_dx: enhancer/brisquet_editor.{h,cpp}, full and compact layout
    ("enhancer", 101): (400, 240, 24),
    ("enhancer", 102): (170, 240, 24),
    ("enhancer", 110): (14, 120, 24),    # sliders from 40, readouts at 166
    ("enhancer", 111): (14, 10, 24),
    **{("enhancer", n): (26, 18, 24) for n in (120, 121, 122)},  # switches 30 apart
    **{("enhancer", n): (24, 16, 24) for n in (123, 124, 125, 126)},  # steppers 30 apart
    ("enhancer", 130): (12, 150, 24),    # meters 20 apart from 40
    ("enhancer", 131): (12, 150, 24),
    ("enhancer", 132): (32, 10, 24),     # the clip lamp over both meters, above them
    ("enhancer", 133): (32, 10, 24),
    # ombrel_dx: spectrogram/ombrel_editor.{h,cpp}
    ("spectrogram", 101): (480, 300, 24),
    ("spectrogram", 102): (72, 20, 24),  # logo at 400, 8
    ("spectrogram", 103): (16, 150, 24), # level sliders from 68, readouts at 224
    ("spectrogram", 104): (16, 10, 24),
    **{("spectrogram", n): (44, 16, 24) for n in (105, 106, 107)},  # low-band switch
    ("spectrogram", 108): (26, 16, 24),  # channel positions 28 apart
    ("spectrogram", 109): (26, 16, 24),
    # lunavis_dx: scope/lunavis_editor.{h,cpp}
    ("scope", 101): (320, 300, 24),
    ("scope", 102): (72, 20, 24),        # logo at 236, 8
    ("scope", 103): (44, 16, 24),        # mono switch
    ("scope", 104): (44, 16, 24),
    ("scope", 105): (ANY, ANY, 24),      # the about box's picture
    ("scope", 106): (195, 180, 24),      # the scope display's background: its whole window
    # orq's caption-strip buttons: the editor frame lays them out in its 16-pixel strip, each as
    # wide as its pictures.
    **{("host", n): (ANY, 16, 24) for n in range(10000, 10009)},
    # orq's control gallery
    **{("host", n): (ANY, ANY, ANY) for n in (20000, 20001, 20002, 20003, 20004, 20010, 20011,
                                               20012, 20020, 20021, 20022, 20023, 20030, 20031,
                                               20032, 20040, 20041, 20050, 20051, 20052, 20053,
                                               20060)},
}

# Bitmaps one control draws together: they must share their size (a switch's pictures, a
# meter's empty and full, a selector position's on and off, a knob's dot and mask), or share the
# slider's width across its axis.
SAME_SIZE = [
    ("compressor", (104, 105)), ("compressor", (110, 111)), ("compressor", (106, 108)),
    ("compressor", (107, 109)), ("compressor", (112, 113)),
    ("plax", (1100, 1101)), ("plax", (1105, 1106, 1107, 1108, 1109)), ("plax", (1110, 1111)),
    ("matching", (110, 111, 112)), ("matching", (113, 114, 115)), ("matching", (131, 132)),
    ("matching", (140, 141, 142, 143, 144, 145)), ("matching", (150, 151)),
    ("enhancer", (120, 121, 122)), ("enhancer", (123, 124, 125, 126)),
    ("enhancer", (130, 131)), ("enhancer", (132, 133)),
    ("spectrogram", (105, 106, 107)), ("spectrogram", (108, 109)), ("scope", (103, 104)),
    ("host", (10000, 10001, 10002)), ("host", (10003, 10004, 10005)),
    ("host", (10006, 10007, 10008)), ("host", (20000, 20001, 20002)), ("host", (20003, 20004)), ("host", (20010, 20011, 20012)),
    ("host", (20031, 20032)), ("host", (20040, 20041)), ("host", (20050, 20051)),
    ("host", (20052, 20053)),
]


def resource_lists(folder):
    """The folder's resource lists: resources.txt, or one <library>_resources.txt per library
    built from the folder (plax/ builds two)."""
    path = os.path.join(ROOT, folder, "resources.txt")
    if os.path.exists(path):
        return [path]
    return sorted(glob.glob(os.path.join(ROOT, folder, "*_resources.txt")))


def bitmap_files(folder):
    """number -> file path: the bitmap lines of the folder's resource lists, or (for a build
    without a list yet) the files of its skin folder. A number listed twice maps to a list."""
    listings = resource_lists(folder)
    files = {}
    if not listings:
        for path in glob.glob(os.path.join(ROOT, folder, "skin", "*.bmp")):
            number = int(os.path.basename(path).split("_", 1)[0])
            files.setdefault(number, []).append(path)
        return {n: p[0] if len(p) == 1 else p for n, p in files.items()}
    for listing in listings:
        with open(listing) as f:
            for line in f:
                words = shlex.split(line, comments=True)
                if len(words) >= 3 and words[0] == "bitmap":
                    path = ("placeholder" if words[2] == "placeholder" else
                            os.path.join(os.path.dirname(listing), words[2]))
                    files.setdefault(int(words[1]), []).append(path)
    return {n: p[0] if len(p) == 1 else p for n, p in files.items()}


def compiled_header(path):
    """(width, height, bits, colour table) of the packed DIB the resource compiler makes."""
    with open(path, "rb") as f:
        dib = resources.packed_dib_from_bmp(f.read(), path)
    size, width, height, _, bits = struct.unpack_from("<IiiHH", dib, 0)
    used = struct.unpack_from("<I", dib, 32)[0]
    colours = used if used else (1 << bits if bits <= 8 else 0)
    return width, abs(height), bits, dib[size:size + 4 * colours]


class SkinSizes(unittest.TestCase):
    def headers(self):
        found = {}
        for folder in sorted({f for f, _ in EXPECTED}):
            files = bitmap_files(folder)
            for (f, number), expected in EXPECTED.items():
                if f != folder:
                    continue
                path = files.get(number)
                with self.subTest(folder=folder, number=number):
                    self.assertIsNotNone(path, f"{folder}: bitmap {number} is missing")
                    self.assertNotIsInstance(path, list, f"{folder}: bitmap {number} twice: {path}")
                    self.assertNotEqual(path, "placeholder",
                                        f"{folder}: bitmap {number} is still a placeholder")
                    found[(folder, number)] = compiled_header(path)
        return found

    def test_every_editor_bitmap_is_listed_at_its_size_and_depth(self):
        for key, (width, height, bits, _) in self.headers().items():
            want = EXPECTED[key]
            with self.subTest(bitmap=key):
                for name, got, wanted in (("width", width, want[0]), ("height", height, want[1]),
                                          ("bits per pixel", bits, want[2])):
                    if wanted is not ANY:
                        self.assertEqual(got, wanted, f"{key}: {name} {got}, expected {wanted}")

    def test_the_eight_bit_bitmaps_share_one_full_palette(self):
        tables = {key: table for key, (_, _, bits, table) in self.headers().items() if bits == 8}
        self.assertEqual(len(tables), 5, f"8-bit bitmaps: {sorted(tables)}")
        first = next(iter(tables.values()))
        self.assertEqual(len(first), 256 * 4)
        for key, table in tables.items():
            self.assertEqual(table, first, f"{key} has a palette of its own")

    def test_bitmaps_drawn_together_share_their_size(self):
        headers = self.headers()
        for folder, numbers in SAME_SIZE:
            sizes = {n: headers[(folder, n)][:2] for n in numbers}
            self.assertEqual(len(set(sizes.values())), 1, f"{folder}: {sizes}")
        for folder, knob in (("compressor", 114), ("matching", 130), ("host", 20030)):
            width, height = headers[(folder, knob)][:2]
            self.assertEqual(width, height, f"{folder} {knob}: a knob is square, not {width} x {height}")
        for folder, track, thumb in (("maximizer", 103, 104), ("plax", 1007, 1008), ("plax", 1102, 1103), ("matching", 120, 121),
                                     ("enhancer", 110, 111), ("spectrogram", 103, 104),
                                     ("host", 20020, 20021)):
            self.assertEqual(headers[(folder, track)][0], headers[(folder, thumb)][0],
                             f"{folder}: the thumb {thumb} and the track {track} differ in width")
        self.assertEqual(headers[("enhancer", 101)][1], headers[("enhancer", 102)][1],
                         "Brisquet's two layouts differ in height")
        self.assertEqual(headers[("host", 20022)][1], headers[("host", 20023)][1],
                         "the horizontal thumb and track differ in height")


if __name__ == "__main__":
    unittest.main()
