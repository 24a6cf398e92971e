#!/usr/bin/python3
"""Draws the Tarvelle skin: every bitmap the suite's editors load, as BMP files.

    /usr/bin/python3 tools/skin/skin.py [ROOT] [--review PNG]

writes <ROOT>/<plug-in folder>/skin/<number>_<what>.bmp for every bitmap of the table SIZES
(ROOT is the repository by default), removes stale .bmp files from those skin folders, and with
--review also writes a review sheet (every bitmap at 1:1, the backgrounds again at 200 %).

The output depends on nothing but this file, numpy, PIL and the Liberation fonts (the faces the
platform serves for "Arial"): no time stamps, no random numbers, so a second run writes the same
bytes (the test skin_is_reproducible holds the committed files to that).

Geometry that the editors share with the skin (control positions, the pixel a scale value lands
on) is computed here with the controls' own formulas: a slider's thumb row
travel - trunc(position * travel / steps), a bar meter's segment edge trunc((1 - k/n) * height),
a knob's angle 2 pi - (step * (2 pi - 2 a0) / N + a0) measured from straight down.
"""
import math
import os
import struct
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

# ---------------------------------------------------------------------------------------------
# Palette and type


def rgb(hex_text):
    value = int(hex_text.lstrip("#"), 16)
    return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF


PANEL = rgb("1E2126")
RAISED = rgb("2A2E35")
RECESSED = rgb("14161A")
EDGE = rgb("3A3F47")
HIGHLIGHT = rgb("4A505A")
TEXT = rgb("E8EAED")
TEXT_SECONDARY = rgb("9AA0A6")
FIELD_TEXT = rgb("FFFFFF")
FIELD = rgb("000000")
METER_LOW = rgb("3FBF5A")
METER_MID = rgb("E8C547")
METER_HIGH = rgb("E5484D")
LAMP_ON = rgb("FF3B3B")
LAMP_OFF = rgb("4A1416")  # dark red: the lamp's glass without light

ACCENTS = {
    "compressor": rgb("F2A93B"),
    "maximizer": rgb("E5484D"),
    "matching": rgb("2BB3A3"),
    "enhancer": rgb("9B6CF0"),
    "spectrogram": rgb("3B82F6"),
    "scope": rgb("4CC36A"),
}
PRODUCT_NAMES = {
    "compressor": "Compressor",
    "maximizer": "Pressane",
    "matching": "Tessaline",
    "enhancer": "Brisquet",
    "spectrogram": "Ombrel",
    "scope": "Lunavis",
}
BRAND = "Tarvelle"

FONT_FOLDER = "/usr/share/fonts/truetype/liberation2"
FONT_FILES = {False: "LiberationSans-Regular.ttf", True: "LiberationSans-Bold.ttf"}
LABEL_PIXELS = 10
SCALE_PIXELS = 9
TITLE_PIXELS = 11
NAME_PIXELS = 14
BRAND_PIXELS = 9
MINIMUM_CONTRAST = 4.5

_fonts = {}


def font(pixels, bold=False):
    key = (pixels, bold)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(os.path.join(FONT_FOLDER, FONT_FILES[bold]), pixels)
    return _fonts[key]


def mix(a, b, t):
    """a moved towards b by t (0 ... 1), rounded to whole levels."""
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def luminance(c):
    def linear(v):
        v /= 255.0
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(v) for v in c)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def legible(colour, background):
    """colour, lightened towards white in 1/32 steps until it reaches the minimum contrast."""
    for step in range(33):
        candidate = mix(colour, (255, 255, 255), step / 32)
        if contrast(candidate, background) >= MINIMUM_CONTRAST:
            return candidate
    raise ValueError(f"no legible tint of {colour} on {background}")


# ---------------------------------------------------------------------------------------------
# Sizes: every bitmap, (folder, number) -> (what, width, height, bits per pixel, derivation).
# A derivation of None means the editor's description gives the size; otherwise it says how the
# size was chosen (docs/skin.md carries the same table).

PRESSANE_DX_SIZE_NOTE = "the Plax editor's twin bitmap"
SIZES = {
    # Orq Pressane (maximizer/)
    ("maximizer", 101): ("background", 444, 262, 24, None),
    ("maximizer", 102): ("about", 440, 120, 24,
                         "wide enough for the version field at 340, 26 (90 wide) with a margin"),
    ("maximizer", 103): ("slider_track", 18, 113, 24, PRESSANE_DX_SIZE_NOTE + " 1007; 24 steps of 101 / 24 pixels"),
    ("maximizer", 104): ("slider_thumb", 18, 12, 24, PRESSANE_DX_SIZE_NOTE + " 1008"),
    ("maximizer", 105): ("output_bar_full", 7, 110, 24, PRESSANE_DX_SIZE_NOTE + " 1017"),
    ("maximizer", 106): ("output_bar_empty", 7, 110, 24, PRESSANE_DX_SIZE_NOTE + " 1016"),
    ("maximizer", 107): ("headroom_meter_full", 13, 112, 24, PRESSANE_DX_SIZE_NOTE + " 1010"),
    ("maximizer", 108): ("headroom_meter_empty", 13, 112, 24, PRESSANE_DX_SIZE_NOTE + " 1009"),
    ("maximizer", 109): ("reached_meter_full", 13, 112, 24, PRESSANE_DX_SIZE_NOTE + " 1012"),
    ("maximizer", 110): ("reached_meter_empty", 13, 112, 24, PRESSANE_DX_SIZE_NOTE + " 1011"),
    ("maximizer", 111): ("boost_on", 43, 15, 24, PRESSANE_DX_SIZE_NOTE + " 1002 (one of its 15-pixel frames)"),
    ("maximizer", 112): ("boost_off", 43, 15, 24, PRESSANE_DX_SIZE_NOTE + " 1002 (one of its 15-pixel frames)"),
    ("maximizer", 114): ("memory_a_on", 26, 14, 24, PRESSANE_DX_SIZE_NOTE + " 1004 (one of its two frames)"),
    ("maximizer", 115): ("memory_a_off", 26, 14, 24, PRESSANE_DX_SIZE_NOTE + " 1004 (one of its two frames)"),
    ("maximizer", 116): ("memory_b_on", 26, 14, 24, PRESSANE_DX_SIZE_NOTE + " 1005 (one of its two frames)"),
    ("maximizer", 117): ("memory_b_off", 26, 14, 24, PRESSANE_DX_SIZE_NOTE + " 1005 (one of its two frames)"),
    ("maximizer", 118): ("store_on", 43, 15, 24, PRESSANE_DX_SIZE_NOTE + " 1003 (one of its 15-pixel frames)"),
    ("maximizer", 119): ("store_off", 43, 15, 24, PRESSANE_DX_SIZE_NOTE + " 1003 (one of its 15-pixel frames)"),
    ("maximizer", 120): ("rocker_left_pressed", 50, 16, 24, PRESSANE_DX_SIZE_NOTE + " 1006 (one of its 16-pixel frames)"),
    ("maximizer", 121): ("rocker_idle", 50, 16, 24, PRESSANE_DX_SIZE_NOTE + " 1006 (one of its 16-pixel frames)"),
    ("maximizer", 122): ("rocker_right_pressed", 50, 16, 24, PRESSANE_DX_SIZE_NOTE + " 1006 (one of its 16-pixel frames)"),
    ("maximizer", 123): ("rocker_disabled", 50, 16, 24,
                         "in the bitmap set but used by no control: the rocker's size, drawn greyed"),
    ("maximizer", 124): ("input_bar_full", 7, 110, 24, PRESSANE_DX_SIZE_NOTE + " 1015"),
    ("maximizer", 125): ("input_bar_empty", 7, 110, 24, PRESSANE_DX_SIZE_NOTE + " 1014"),
    ("maximizer", 126): ("clip_lamp_on", 7, 6, 24, PRESSANE_DX_SIZE_NOTE + " 1013 (one of its two frames)"),
    ("maximizer", 127): ("clip_lamp_off", 7, 6, 24, PRESSANE_DX_SIZE_NOTE + " 1013 (one of its two frames)"),
    ("maximizer", 128): ("about_version", 90, 16, 24,
                         "one line of 14-pixel text; the about bitmap's own pixels under it"),
    # Orq Pressane, Plax build (plax/)
    ("plax", 1000): ("pressane_background", 446, 263, 24, None),
    ("plax", 1001): ("pressane_splash", 446, 263, 24, None),
    ("plax", 1002): ("pressane_boost", 43, 30, 24, None),
    ("plax", 1003): ("pressane_store", 43, 30, 24, None),
    ("plax", 1004): ("pressane_memory_a", 26, 28, 24, None),
    ("plax", 1005): ("pressane_memory_b", 26, 28, 24, None),
    ("plax", 1006): ("pressane_rocker", 50, 48, 24, None),
    ("plax", 1007): ("pressane_slider_track", 18, 113, 24, None),
    ("plax", 1008): ("pressane_slider_thumb", 18, 12, 24, None),
    ("plax", 1009): ("pressane_headroom_meter_empty", 13, 112, 24, None),
    ("plax", 1010): ("pressane_headroom_meter_full", 13, 112, 24, None),
    ("plax", 1011): ("pressane_reached_meter_empty", 13, 112, 24, None),
    ("plax", 1012): ("pressane_reached_meter_full", 13, 112, 24, None),
    ("plax", 1013): ("pressane_clip_lamp", 7, 12, 8, None),
    ("plax", 1014): ("pressane_input_bar_empty", 7, 110, 8, None),
    ("plax", 1015): ("pressane_input_bar_full", 7, 110, 8, None),
    ("plax", 1016): ("pressane_output_bar_empty", 7, 110, 8, None),
    ("plax", 1017): ("pressane_output_bar_full", 7, 110, 8, None),
    # Orq Compressor, Plax build (plax/): plax/compressor_plax_editor.{h,cpp}
    ("plax", 1100): ("compressor_background", 480, 263, 24,
                     "Pressane's height; five band columns 44 apart, Solo, output and the band "
                     "level meter across 480"),
    ("plax", 1101): ("compressor_splash", 480, 263, 24, "the background's size"),
    ("plax", 1102): ("compressor_slider_track", 18, 113, 24, "the Pressane Plax track, 1007"),
    ("plax", 1103): ("compressor_slider_thumb", 18, 12, 24, "the Pressane Plax thumb, 1008"),
    ("plax", 1104): ("compressor_solo", 43, 30, 24,
                     "the Pressane Plax Boost switch, 1002: two 15-pixel frames"),
    **{("plax", 1105 + b): (f"compressor_band_{b + 1}", 26, 28, 24,
                            "the Pressane Plax memory buttons, 1004: two 14-pixel frames, one "
                            "under each 44-pixel band column")
       for b in range(5)},
    ("plax", 1110): ("compressor_level_meter_empty", 13, 112, 24,
                     "the Pressane Plax gain meters, 1009"),
    ("plax", 1111): ("compressor_level_meter_full", 13, 112, 24, "as the empty meter"),
    ("plax", 1112): ("compressor_band_in_use", 12, 10, 24,
                     "an LED bar of two 5-pixel frames between a band's field and its slider"),
    # Orq Compressor (compressor/)
    ("compressor", 101): ("background", 600, 300, 24,
                          "the curve editor ends at 577, 258 and the about button at 577, 285: "
                          "a 23-pixel margin right, 15 below"),
    ("compressor", 103): ("about", 77, 18, 24,
                          "from 500 to the curve editor's right edge 577; 18 rows like the switches"),
    ("compressor", 104): ("softclip_off", 52, 18, 24,
                          "Solo at 204 and SoftClip at 260 leave 56 pixels: 52 and a 4-pixel gap"),
    ("compressor", 105): ("softclip_on", 52, 18, 24, "as the SoftClip switch's off picture"),
    ("compressor", 106): ("stages_two_off", 52, 18, 24, "as the switches beside it"),
    ("compressor", 107): ("stages_one_off", 52, 18, 24, "as the switches beside it"),
    ("compressor", 108): ("stages_two_on", 52, 18, 24, "as the switches beside it"),
    ("compressor", 109): ("stages_one_on", 52, 18, 24, "as the switches beside it"),
    ("compressor", 110): ("solo_off", 52, 18, 24, "as the SoftClip switch"),
    ("compressor", 111): ("solo_on", 52, 18, 24, "as the SoftClip switch"),
    ("compressor", 112): ("output_knob_mask", 6, 6, 24, "the dot's size"),
    ("compressor", 113): ("output_knob_dot", 6, 6, 24,
                          "a 6-pixel dot rides the knob's rim at radius 15 of 18"),
    ("compressor", 114): ("output_knob", 36, 36, 24,
                          "the knob at 200 and its value field at 243 leave 43 pixels: 36 and a gap"),
    ("compressor", 115): ("output_value", 56, 18, 24,
                          "14-pixel text \"-12.0 dB\" with a margin; centred on the knob's middle row"),
    # Orq Tessaline (matching/): the sizes its editor lays out (matching/tessaline_editor.cpp).
    ("matching", 101): ("background", 560, 360, 24,
                        "the editor's 560 x 360 client: the display 510 wide, 30 band sliders 17 "
                        "pixels apart, a row of switches"),
    ("matching", 110): ("switch_off", 40, 18, 24,
                        "the switches at 25, 70, 115 (45 apart): 40 and a 5-pixel gap; 18 rows "
                        "like the compressor's"),
    ("matching", 111): ("switch_pressed", 40, 18, 24, "as the switch's off picture"),
    ("matching", 112): ("switch_on", 40, 18, 24, "as the switch's off picture"),
    ("matching", 113): ("reset_off", 40, 18, 24, "as the switches beside it"),
    ("matching", 114): ("reset_pressed", 40, 18, 24, "as the switches beside it"),
    ("matching", 115): ("reset_on", 40, 18, 24, "as the switches beside it"),
    ("matching", 120): ("slider_track", 14, 100, 24,
                        "the sliders' 17-pixel columns: 14 and a 3-pixel gap; 100 rows from 214 "
                        "to the group marks at 317"),
    ("matching", 121): ("slider_thumb", 14, 9, 24,
                        "the track's width; 9 rows leave a travel of 91 (60 half-dB steps)"),
    ("matching", 130): ("knob", 28, 28, 24,
                        "between the group marks (to 322) and the client's bottom: 28 from 323"),
    ("matching", 131): ("knob_dot", 6, 6, 24, "the compressor's 6-pixel dot"),
    ("matching", 132): ("knob_mask", 6, 6, 24, "the dot's size"),
    **{("matching", 140 + 2 * m + k): (f"{mode}_{state}", 26, 18, 24,
                                       "the positions at 446, 474, 502 (28 apart): 26 and a "
                                       "2-pixel gap; 18 rows like the switches")
       for m, mode in enumerate(("rubber_band", "niveau", "bone"))
       for k, state in enumerate(("on", "off"))},
    ("matching", 150): ("mark_off", 12, 5, 24,
                        "under each 14-pixel track, inset 1 on both sides; 5 rows between the "
                        "tracks' end (314) and the switches (328) with room around"),
    ("matching", 151): ("mark_on", 12, 5, 24, "as the mark's off picture"),
    # Orq Brisquet (enhancer/): its editor's two layouts (enhancer/brisquet_editor.cpp).
    ("enhancer", 101): ("background", 400, 240, 24, "the editor's full layout, 400 x 240"),
    ("enhancer", 102): ("compact_background", 170, 240, 24,
                        "the editor's compact layout, 170 x 240: input, mix, the meters"),
    ("enhancer", 110): ("slider_track", 14, 120, 24,
                        "the sliders 50 apart; 120 rows from 40 leave room for the readouts at 166"),
    ("enhancer", 111): ("slider_thumb", 14, 10, 24, "the track's width; a travel of 110"),
    ("enhancer", 120): ("switch_off", 26, 18, 24,
                        "the switches at 270 and 300: 26 and a 4-pixel gap"),
    ("enhancer", 121): ("switch_pressed", 26, 18, 24, "as the switch's off picture"),
    ("enhancer", 122): ("switch_on", 26, 18, 24, "as the switch's off picture"),
    ("enhancer", 123): ("down_off", 24, 16, 24,
                        "the steppers at 270 and 300 over their 54-pixel readout"),
    ("enhancer", 124): ("down_pressed", 24, 16, 24, "as the stepper's off picture"),
    ("enhancer", 125): ("up_off", 24, 16, 24, "as the down stepper"),
    ("enhancer", 126): ("up_pressed", 24, 16, 24, "as the down stepper"),
    ("enhancer", 130): ("meter_empty", 12, 150, 24,
                        "the meters at 352 and 372 (20 apart): 12 and a gap; 150 rows from 40"),
    ("enhancer", 131): ("meter_full", 12, 150, 24, "as the empty meter"),
    ("enhancer", 132): ("clip_off", 32, 10, 24, "across both meters, 352 to 384, above them"),
    ("enhancer", 133): ("clip_on", 32, 10, 24, "as the lamp's off picture"),
    # Orq Ombrel (spectrogram/): spectrogram/ombrel_editor.{h,cpp}.
    ("spectrogram", 101): ("background", 480, 300, 24,
                           "the editor's 480 x 300 client around the 343 x 244 copy area at 23, 35"),
    ("spectrogram", 102): ("logo", 72, 20, 24, "the logo button at 400, 8 in the header row"),
    ("spectrogram", 103): ("slider_track", 16, 150, 24,
                           "the sliders at 386 and 432; 150 rows from 68 to the readouts at 224"),
    ("spectrogram", 104): ("slider_thumb", 16, 10, 24, "the track's width"),
    ("spectrogram", 105): ("switch_off", 44, 16, 24,
                           "the low-band switch at 380, 244; its name printed right of it"),
    ("spectrogram", 106): ("switch_on", 44, 16, 24, "as the switch's off picture"),
    ("spectrogram", 107): ("switch_pressed", 44, 16, 24, "as the switch's off picture"),
    ("spectrogram", 108): ("channel_on", 26, 16, 24,
                           "the channel positions at 380, 408, 436: 26 and a 2-pixel gap"),
    ("spectrogram", 109): ("channel_off", 26, 16, 24, "as the position's on picture"),
    # Orq Lunavis (scope/): scope/lunavis_editor.{h,cpp}.
    ("scope", 101): ("background", 320, 300, 24,
                     "the editor's 320 x 300 client around the 195 x 180 scope at 12, 45"),
    ("scope", 102): ("logo", 72, 20, 24, "the logo button at 236, 8 in the header row"),
    ("scope", 103): ("mono_off", 44, 16, 24, "the mono switch at 232, 60; its name printed right of it"),
    ("scope", 104): ("mono_on", 44, 16, 24, "as the switch's off picture"),
    ("scope", 105): ("about", 240, 90, 24,
                     "the about box's picture: the dialog's 160 dialog units across"),
    ("scope", 106): ("scope_display", 195, 180, 24, "the scope's 195 x 180 pixels at 12, 45"),
    # The caption strip of every editor frame: orq's bitmaps 10000 ... 10008, three per button
    # (off, pressed, on) for bypass, mute and settings. The strip is 16 pixels high; 24 wide
    # gives the glyphs room and puts the three buttons in a 72-pixel group at the strip's right.
    **{("host", 10000 + 3 * b + k): (f"{name}_{state}", 24, 16, 24,
                                     "the caption strip's 16-pixel height; 24 wide")
       for b, name in enumerate(("bypass", "mute", "settings"))
       for k, state in enumerate(("off", "pressed", "on"))},
    # Control gallery pieces of orq's own (host/)
    ("host", 20002): ("switch_pressed", 52, 18, 24, "the compressor's Solo switch, pressed"),
    ("host", 20022): ("horizontal_slider_track", 113, 18, 24,
                      "the Pressane track turned on its side"),
    ("host", 20023): ("horizontal_slider_thumb", 12, 18, 24,
                      "the Pressane thumb turned on its side"),
    ("host", 20052): ("horizontal_meter_empty", 112, 13, 24,
                      "the Pressane gain meter turned on its side"),
    ("host", 20053): ("horizontal_meter_full", 112, 13, 24,
                      "the Pressane gain meter turned on its side"),
}

# The control gallery in orq's resources: every number names a generated file, relative to host/.
GALLERY = {
    20000: "../compressor/skin/110_solo_off.bmp",
    20001: "../compressor/skin/111_solo_on.bmp",
    20002: "skin/20002_switch_pressed.bmp",
    20003: "../maximizer/skin/127_clip_lamp_off.bmp",
    20004: "../maximizer/skin/126_clip_lamp_on.bmp",
    20010: "../maximizer/skin/120_rocker_left_pressed.bmp",
    20011: "../maximizer/skin/121_rocker_idle.bmp",
    20012: "../maximizer/skin/122_rocker_right_pressed.bmp",
    20020: "../maximizer/skin/103_slider_track.bmp",
    20021: "../maximizer/skin/104_slider_thumb.bmp",
    20022: "skin/20022_horizontal_slider_track.bmp",
    20023: "skin/20023_horizontal_slider_thumb.bmp",
    20030: "../compressor/skin/114_output_knob.bmp",
    20031: "../compressor/skin/113_output_knob_dot.bmp",
    20032: "../compressor/skin/112_output_knob_mask.bmp",
    20040: "../compressor/skin/108_stages_two_on.bmp",
    20041: "../compressor/skin/106_stages_two_off.bmp",
    20050: "../maximizer/skin/108_headroom_meter_empty.bmp",
    20051: "../maximizer/skin/107_headroom_meter_full.bmp",
    20052: "skin/20052_horizontal_meter_empty.bmp",
    20053: "skin/20053_horizontal_meter_full.bmp",
    20060: "../compressor/skin/115_output_value.bmp",
}


def file_name(folder, number):
    return f"{number}_{SIZES[(folder, number)][0]}.bmp"


# ---------------------------------------------------------------------------------------------
# Canvas: 1:1 drawing; rectangles are (left, top, right, bottom) with right and bottom outside,
# the way the editors' rectangles are given.


class Canvas:
    SUPERSAMPLE = 4

    def __init__(self, width, height, fill=PANEL):
        self.image = Image.new("RGB", (width, height), fill)
        self.draw = ImageDraw.Draw(self.image)
        self.width, self.height = width, height

    def fill(self, rect, colour):
        left, top, right, bottom = rect
        if right > left and bottom > top:
            self.draw.rectangle((left, top, right - 1, bottom - 1), fill=colour)

    def frame(self, rect, colour):
        left, top, right, bottom = rect
        self.draw.rectangle((left, top, right - 1, bottom - 1), outline=colour)

    def hline(self, left, right, y, colour):
        self.fill((left, y, right, y + 1), colour)

    def vline(self, x, top, bottom, colour):
        self.fill((x, top, x + 1, bottom), colour)

    def pixel(self, x, y, colour):
        self.image.putpixel((x, y), colour)

    def at(self, x, y):
        return self.image.getpixel((x, y))

    def paste(self, other, x, y):
        self.image.paste(other.image if isinstance(other, Canvas) else other, (x, y))

    def crop(self, rect):
        piece = Canvas(rect[2] - rect[0], rect[3] - rect[1])
        piece.image = self.image.crop(rect)
        piece.draw = ImageDraw.Draw(piece.image)
        return piece

    # Anti-aliased shapes: drawn 4 times larger into a coverage mask, averaged down, laid over.
    def shape(self, paint, colour, opacity=1.0):
        s = self.SUPERSAMPLE
        mask = Image.new("L", (self.width * s, self.height * s), 0)
        paint(ImageDraw.Draw(mask), s)
        coverage = np.asarray(mask, dtype=np.float64).reshape(self.height, s, self.width, s)
        coverage = coverage.mean(axis=(1, 3)) / 255.0 * opacity
        self.blend(coverage, colour)

    def blend(self, coverage, colour):
        pixels = np.asarray(self.image, dtype=np.float64)
        top = np.array(colour, dtype=np.float64)
        mixed = pixels + (top - pixels) * coverage[:, :, None]
        self.image = Image.fromarray(np.floor(mixed + 0.5).astype(np.uint8), "RGB")
        self.draw = ImageDraw.Draw(self.image)

    def disc(self, cx, cy, radius, colour, opacity=1.0):
        """A filled circle centred on (cx, cy) in pixel-edge coordinates."""
        def paint(d, s):
            d.ellipse(((cx - radius) * s, (cy - radius) * s, (cx + radius) * s - 1,
                       (cy + radius) * s - 1), fill=255)
        self.shape(paint, colour, opacity)

    def ring(self, cx, cy, outer, inner, colour, opacity=1.0):
        def paint(d, s):
            d.ellipse(((cx - outer) * s, (cy - outer) * s, (cx + outer) * s - 1,
                       (cy + outer) * s - 1), fill=255)
            d.ellipse(((cx - inner) * s, (cy - inner) * s, (cx + inner) * s - 1,
                       (cy + inner) * s - 1), fill=0)
        self.shape(paint, colour, opacity)

    def segment(self, x0, y0, x1, y1, widthPixels, colour):
        def paint(d, s):
            d.line((x0 * s, y0 * s, x1 * s, y1 * s), fill=255, width=int(round(widthPixels * s)))
        self.shape(paint, colour)

    # Text. Positions are pixel rows: "centre_row" places the digits' and capitals' middle on
    # that row (so a scale number sits on the pixel its value maps to).
    def text(self, x, y, words, colour, pixels=LABEL_PIXELS, bold=False, align="left",
             background=None, centre_row=False):
        face = font(pixels, bold)
        under = background if background is not None else self.at(
            min(max(x, 0), self.width - 1), min(max(y, 0), self.height - 1))
        if contrast(colour, under) < MINIMUM_CONTRAST:
            raise ValueError(f"text {words!r} in {colour} on {under}: contrast "
                             f"{contrast(colour, under):.2f} is below {MINIMUM_CONTRAST}")
        anchor = {"left": "l", "centre": "m", "right": "r"}[align] + "s"
        if centre_row:
            capital_height = face.getbbox("0", anchor="ls")[1]  # negative: rows above the baseline
            baseline = y + (-capital_height) // 2 + 1
        else:
            baseline = y
        self.draw.text((x, baseline), words, fill=colour, font=face, anchor=anchor)

    def text_width(self, words, pixels=LABEL_PIXELS, bold=False):
        return int(math.ceil(font(pixels, bold).getlength(words)))


def text_height_above_baseline(pixels, bold=False):
    return -font(pixels, bold).getbbox("H", anchor="ls")[1]


# ---------------------------------------------------------------------------------------------
# Shared pieces of every editor


HEADER_BASELINE = 19
HEADER_RULE_ROW = 27
LABEL_ROW = 38  # baseline of the labels right under the header
FOOTER_RULE_ROW = 212


def header(canvas, folder, subtitle=None, x=12, baseline=HEADER_BASELINE):
    """The plug-in's name in its accent at the top left, the brand beside it."""
    name = PRODUCT_NAMES[folder]
    accent = legible(ACCENTS[folder], PANEL)
    canvas.text(x, baseline, name, accent, NAME_PIXELS, bold=True, background=PANEL)
    after = x + canvas.text_width(name, NAME_PIXELS, True) + 6
    canvas.text(after, baseline, BRAND, TEXT_SECONDARY, BRAND_PIXELS, background=PANEL)
    if subtitle:
        after += canvas.text_width(BRAND, BRAND_PIXELS) + 10
        canvas.vline(after - 6, baseline - 8, baseline + 1, EDGE)
        canvas.text(after, baseline, subtitle, TEXT_SECONDARY, BRAND_PIXELS, background=PANEL)


def well(canvas, rect, fill=RECESSED):
    """A recessed display: the rectangle filled, a 1-pixel edge just outside it."""
    left, top, right, bottom = rect
    canvas.frame((left - 1, top - 1, right + 1, bottom + 1), EDGE)
    canvas.fill(rect, fill)


def field_frame(canvas, rect):
    """The frame around a number field the editor paints black: edge colour, one pixel out."""
    left, top, right, bottom = rect
    canvas.frame((left - 1, top - 1, right + 1, bottom + 1), EDGE)
    canvas.fill(rect, FIELD)


def group(canvas, rect, title=None):
    """A group outline: 1-pixel edge with rounded-off corners, an optional title on its top edge."""
    left, top, right, bottom = rect
    canvas.hline(left + 1, right - 1, top, EDGE)
    canvas.hline(left + 1, right - 1, bottom - 1, EDGE)
    canvas.vline(left, top + 1, bottom - 1, EDGE)
    canvas.vline(right - 1, top + 1, bottom - 1, EDGE)
    if title:
        width = canvas.text_width(title, TITLE_PIXELS)
        canvas.fill((left + 8, top, left + 14 + width, top + 1), PANEL)
        canvas.text(left + 11, top + 4, title, TEXT, TITLE_PIXELS, background=PANEL)


def label(canvas, x, y, words, align="centre", colour=TEXT_SECONDARY, pixels=LABEL_PIXELS):
    canvas.text(x, y, words, colour, pixels, align=align, background=PANEL)


def scale_number(canvas, x, row, words, align="right", pixels=SCALE_PIXELS):
    canvas.text(x, row, words, TEXT_SECONDARY, pixels, align=align, background=PANEL,
                centre_row=True)


# ---------------------------------------------------------------------------------------------
# Controls


def button_face(width, height, text, accent, state, surround=PANEL, led=False, pixels=LABEL_PIXELS,
                bold=False):
    """A flat switch or button: raised face, 1-pixel edge. state: "off", "on", "pressed",
    "on_pressed", "disabled". "On" fills the face with the accent at 30 % (or lights an LED at
    the left with led=True); pressed is one shade darker and one pixel lower and to the right."""
    c = Canvas(width, height, surround)
    pressed = state in ("pressed", "on_pressed")
    lit = state in ("on", "on_pressed")
    face = RAISED
    if lit and not led:
        face = mix(RAISED, accent, 0.30)
    if pressed:
        face = mix(face, RECESSED, 0.35)
    offset = 1 if pressed else 0
    body = (offset, offset, width - 1 + offset, height - 1 + offset) if pressed else (0, 0, width, height)
    c.fill(body, face)
    edge = mix(EDGE, accent, 0.55) if lit else EDGE
    left, top, right, bottom = body
    # Rounded-off corners: the corner pixels keep the surround.
    c.hline(left + 1, right - 1, top, HIGHLIGHT if not pressed and not lit else edge)
    c.hline(left + 1, right - 1, bottom - 1, edge)
    c.vline(left, top + 1, bottom - 1, edge)
    c.vline(right - 1, top + 1, bottom - 1, edge)
    text_colour = TEXT if (lit or state == "off" or pressed) else TEXT_SECONDARY
    if state == "disabled":
        text_colour = legible(mix(TEXT_SECONDARY, face, 0.25), face)
    centre_x = (left + right) // 2
    if led:
        led_x, led_y = left + 5, (top + bottom) // 2 - 2
        c.fill((led_x, led_y, led_x + 4, led_y + 4), accent if lit else mix(RECESSED, accent, 0.25))
        if lit:
            glow = mix(face, accent, 0.45)
            for gx, gy in ((led_x - 1, led_y + 1), (led_x - 1, led_y + 2), (led_x + 4, led_y + 1),
                           (led_x + 4, led_y + 2), (led_x + 1, led_y - 1), (led_x + 2, led_y - 1),
                           (led_x + 1, led_y + 4), (led_x + 2, led_y + 4)):
                c.pixel(gx, gy, glow)
        centre_x = (led_x + 6 + right - 1) // 2
    if text:
        c.text(centre_x, (top + bottom) // 2, text, text_colour, pixels, bold=bold, align="centre",
               background=face, centre_row=True)
    return c


def glyph_minus(c, cx, cy, colour):
    c.hline(cx - 3, cx + 4, cy, colour)


def glyph_plus(c, cx, cy, colour):
    c.hline(cx - 3, cx + 4, cy, colour)
    c.vline(cx, cy - 3, cy + 4, colour)


def rocker(width, height, state):
    """Two halves with − and +; the pressed half darker. state: "idle", "left", "right",
    "disabled"."""
    c = Canvas(width, height, PANEL)
    half = width // 2
    for side in ("left", "right"):
        x0, x1 = (0, half) if side == "left" else (half, width)
        pressed = state == side
        face = mix(RAISED, RECESSED, 0.45) if pressed else RAISED
        c.fill((x0, 0, x1, height), face)
        glyph = TEXT if state != "disabled" else mix(TEXT_SECONDARY, RAISED, 0.35)
        if pressed:
            glyph = mix(TEXT, ACCENT_FOR_ROCKER, 0.6)
        cx, cy = (x0 + x1) // 2 + (1 if pressed else 0), height // 2 + (1 if pressed else 0) - 1
        (glyph_minus if side == "left" else glyph_plus)(c, cx, cy, glyph)
    # Frame with rounded-off corners, and the seam between the halves.
    c.hline(1, width - 1, 0, HIGHLIGHT if state != "disabled" else EDGE)
    c.hline(1, width - 1, height - 1, EDGE)
    c.vline(0, 1, height - 1, EDGE)
    c.vline(width - 1, 1, height - 1, EDGE)
    c.vline(half, 1, height - 1, EDGE)
    for x in (0, width - 1):
        for y in (0, height - 1):
            c.pixel(x, y, PANEL)
    return c


ACCENT_FOR_ROCKER = ACCENTS["maximizer"]


def slider_thumb_row(position, steps, travel):
    """The thumb's top row of a vertical slider at a position (the controls' placement)."""
    return travel - position * travel // steps


def vertical_slider_track(width, height, thumb_height, steps, ticks=None):
    """A recessed slot with a tick on the thumb's middle row at each of the ticks, given as
    (position, major) of the slider's steps; without ticks, every step, longer every fourth
    (an empty list: a plain slot, for a track that sliders of different scales share)."""
    c = Canvas(width, height, PANEL)
    travel = height - thumb_height
    middle = (thumb_height - 1) // 2
    slot_left = width // 2 - 2
    first = middle - 1
    last = travel + middle + 2
    c.fill((slot_left, first, slot_left + 4, last), RECESSED)
    c.vline(slot_left - 1, first, last, EDGE)
    c.vline(slot_left + 4, first, last, EDGE)
    c.hline(slot_left, slot_left + 4, first - 1, EDGE)
    c.hline(slot_left, slot_left + 4, last, HIGHLIGHT)
    if ticks is None:
        ticks = [(position, position % 4 == 0) for position in range(steps + 1)]
    room = slot_left - 2  # columns left of the slot's edge (and as many right of it)
    for position, major in ticks:
        row = slider_thumb_row(position, steps, travel) + middle
        length = min(4, room) if major else min(2, room - 1)
        colour = TEXT_SECONDARY if major else HIGHLIGHT
        c.hline(slot_left - 2 - length, slot_left - 2, row, colour)
        c.hline(slot_left + 6, slot_left + 6 + length, row, colour)
    return c


def vertical_slider_thumb(width, height, accent):
    """A raised rectangular thumb with one accent line across its middle."""
    c = Canvas(width, height, PANEL)
    c.fill((0, 0, width, height), RAISED)
    shade = np.linspace(0.10, -0.10, height)
    for y in range(height):
        tone = mix(RAISED, HIGHLIGHT, shade[y]) if shade[y] > 0 else mix(RAISED, RECESSED, -shade[y])
        c.hline(1, width - 1, y, tone)
    c.hline(1, width - 1, 0, HIGHLIGHT)
    c.hline(1, width - 1, height - 1, RECESSED)
    c.vline(0, 1, height - 1, EDGE)
    c.vline(width - 1, 1, height - 1, EDGE)
    middle = (height - 1) // 2
    c.hline(2, width - 2, middle, accent)
    c.hline(2, width - 2, middle - 1, mix(RAISED, RECESSED, 0.5))
    c.hline(2, width - 2, middle + 1, mix(RAISED, RECESSED, 0.5))
    # Grip lines above and below the accent, where both fit.
    if 1 < middle - 3 and middle + 3 < height - 2:
        for y in (middle - 3, middle + 3):
            c.hline(4, width - 4, y, EDGE)
    return c


def rotate_quarter(canvas):
    """A vertical piece turned into its horizontal twin (its bottom end to the left)."""
    turned = Canvas(canvas.height, canvas.width)
    turned.image = canvas.image.transpose(Image.Transpose.ROTATE_270)
    turned.draw = ImageDraw.Draw(turned.image)
    return turned


def segment_edges(count, length):
    """Edges of a bar meter's segments along its length: segment k (1-based) lights when the
    fraction reaches k / count, the lit strip running from trunc((1 - k / count) * length) to the
    end."""
    return [(count - k) * length // count for k in range(count + 1)]


def meter_colour(k, mid_from, high_from):
    """The colour of segment k: high from segment high_from up, mid from mid_from, low below."""
    if k >= high_from:
        return METER_HIGH
    if k >= mid_from:
        return METER_MID
    return METER_LOW


def vertical_meter(width, height, count, mid_from, high_from, lit, inset=1):
    """Segmented LEDs with 1-pixel gaps in a recessed well; lit or the unlit (faint) picture."""
    c = Canvas(width, height, RECESSED)
    edges = segment_edges(count, height)
    for k in range(1, count + 1):
        top, bottom = edges[k], edges[k - 1] - 1  # the last row of each segment is the gap
        if bottom <= top:
            bottom = top + 1
        colour = meter_colour(k, mid_from, high_from)
        if lit:
            face = colour
            shine = mix(colour, (255, 255, 255), 0.25)
        else:
            face = mix(RECESSED, colour, 0.16)
            shine = mix(RECESSED, colour, 0.22)
        c.fill((inset, top, width - inset, bottom), face)
        if lit and bottom - top >= 3:
            c.hline(inset, width - inset, top, shine)
    return c


def lamp(width, height, on):
    """A small LED: dark red when off, lit with a 1-pixel glow."""
    c = Canvas(width, height, RECESSED)
    body = (1, 1, width - 1, height - 1)
    if on:
        glow = mix(RECESSED, LAMP_ON, 0.35)
        c.fill((0, 1, width, height - 1), glow)
        c.fill((1, 0, width - 1, height), glow)
        c.fill(body, LAMP_ON)
        c.hline(2, width - 2, 1, mix(LAMP_ON, (255, 255, 255), 0.45))
    else:
        c.fill(body, LAMP_OFF)
        c.hline(2, width - 2, 1, mix(LAMP_OFF, (255, 255, 255), 0.08))
    for x, y in ((1, 1), (width - 2, 1), (1, height - 2), (width - 2, height - 2)):
        c.pixel(x, y, mix(c.at(x, y), RECESSED, 0.5))
    return c


def knob_angle(fraction, start_degrees):
    """The knob's angle for a fraction of its travel, from straight down, increasing clockwise
    seen from the front once turned into screen space by (sin, cos)."""
    a0 = math.pi * start_degrees / 180.0
    return 2 * math.pi - (fraction * (2 * math.pi - 2 * a0) + a0)


KNOB_START_DEGREES = 30.0


def knob_ticks(canvas, cx, cy, inner, outer, fractions, major, colour, major_colour):
    for f in fractions:
        angle = knob_angle(f, KNOB_START_DEGREES)
        dx, dy = math.sin(angle), math.cos(angle)
        long = f in major
        r0 = inner
        r1 = outer if long else outer - 1.5
        canvas.segment(cx + dx * r0, cy + dy * r0, cx + dx * r1, cy + dy * r1, 1.1 if long else 1.0,
                       major_colour if long else colour)


def knob_body(size, dot, fractions, major):
    """The knob's background: a recessed groove on the rim where the dot runs, a raised body with a
    soft radial shade inside it, the scale ticks in the square's corners (the same ticks the
    editor's background carries around the square, so none is cut off)."""
    c = Canvas(size, size, PANEL)
    r = size / 2.0
    knob_ticks(c, r, r, r + 2, r + 5.5, fractions, major, HIGHLIGHT, TEXT_SECONDARY)
    c.disc(r, r, r, RECESSED)
    c.ring(r, r, r, r - 0.8, EDGE, 0.9)
    body = r - dot - 0.5
    c.disc(r, r, body, HIGHLIGHT)
    # Radial shade: lighter towards the top left, darker towards the bottom right.
    yy, xx = np.mgrid[0:size, 0:size] + 0.5
    lx, ly = (xx - r) / body, (yy - r) / body
    light = np.clip(0.5 - 0.35 * (lx + ly) / math.sqrt(2) - 0.25 * (lx * lx + ly * ly), 0, 1)
    s = Canvas.SUPERSAMPLE
    mask = Image.new("L", (size * s, size * s), 0)
    ImageDraw.Draw(mask).ellipse(((r - body + 1) * s, (r - body + 1) * s,
                                  (r + body - 1) * s - 1, (r + body - 1) * s - 1), fill=255)
    inside = np.asarray(mask, dtype=np.float64).reshape(size, s, size, s).mean(axis=(1, 3)) / 255
    dark = np.array(RAISED, dtype=np.float64) * 0.78
    bright = np.array(mix(RAISED, HIGHLIGHT, 0.7), dtype=np.float64)
    shade = dark + (bright - dark) * light[:, :, None]
    pixels = np.asarray(c.image, dtype=np.float64)
    pixels = pixels + (shade - pixels) * inside[:, :, None]
    c.image = Image.fromarray(np.floor(pixels + 0.5).astype(np.uint8), "RGB")
    c.draw = ImageDraw.Draw(c.image)
    return c


def knob_dot(dot, accent):
    """The dot and its mask: the dot's pixels are the accent laid over the groove's colour (so its
    edge is smooth without a halo), black outside; the mask is black where the dot is, white
    outside (the knob paints background AND mask, then OR dot)."""
    d = Canvas(dot, dot, RECESSED)
    d.disc(dot / 2.0, dot / 2.0, dot / 2.0, accent)
    d.disc(dot / 2.0 - 0.7, dot / 2.0 - 0.7, dot / 4.0, mix(accent, (255, 255, 255), 0.35))
    coverage = Canvas(dot, dot, (0, 0, 0))
    coverage.disc(dot / 2.0, dot / 2.0, dot / 2.0, (255, 255, 255))
    cover = np.asarray(coverage.image)[:, :, 0] >= 32
    pixels = np.asarray(d.image).copy()
    pixels[~cover] = 0
    mask = np.where(cover[:, :, None], 0, 255).astype(np.uint8).repeat(3, axis=2)
    dot_canvas, mask_canvas = Canvas(dot, dot), Canvas(dot, dot)
    dot_canvas.image = Image.fromarray(pixels, "RGB")
    mask_canvas.image = Image.fromarray(mask, "RGB")
    return dot_canvas, mask_canvas


def number_well(width, height):
    """A bitmap-backed number field: black with a 1-pixel edge (the text is drawn over it)."""
    c = Canvas(width, height, PANEL)
    c.fill((0, 0, width, height), FIELD)
    c.frame((0, 0, width, height), EDGE)
    return c


# ---------------------------------------------------------------------------------------------
# The caption strip (host/): bypass, mute and settings at the right end of every editor frame's
# strip. The strip belongs to no plug-in, so its buttons use no plug-in accent: bypass lights
# amber (the meters' mid colour), mute red (the meters' high colour), settings stays neutral.
# Each picture fills its 24 x 16 rectangle: a 1-pixel panel margin around a flat face, so the
# three buttons side by side read as one dark group on whatever the strip is filled with.

STRIP_LIT = {"bypass": METER_MID, "mute": METER_HIGH, "settings": TEXT_SECONDARY}
STRIP_STATES = ("off", "pressed", "on")  # the order of each button's three numbers


def strip_face_colour(kind, state):
    """The face colour button_face gives the state (the glyph's background)."""
    face = mix(RAISED, STRIP_LIT[kind], 0.30) if state == "on" else RAISED
    return mix(face, RECESSED, 0.35) if state == "pressed" else face


def glyph_power(c, cx, cy, colour):
    """Bypass: the power sign, a ring open at the top with a bar through the opening."""
    def paint(d, s):
        outer, inner = 4.6, 3.2
        d.ellipse(((cx - outer) * s, (cy - outer) * s, (cx + outer) * s - 1, (cy + outer) * s - 1),
                  fill=255)
        d.ellipse(((cx - inner) * s, (cy - inner) * s, (cx + inner) * s - 1, (cy + inner) * s - 1),
                  fill=0)
        # The opening: a wedge of the ring cut away around the bar.
        d.polygon(((cx * s, cy * s), ((cx - 3.4) * s, (cy - 6) * s), ((cx + 3.4) * s, (cy - 6) * s)),
                  fill=0)
    c.shape(paint, colour)
    c.fill((cx - 1, cy - 5, cx + 1, cy + 1), colour)


def glyph_speaker_off(c, cx, cy, colour):
    """Mute: a speaker with a cross beside it."""
    def paint(d, s):
        d.rectangle(((cx - 6) * s, (cy - 2) * s, (cx - 4) * s - 1, (cy + 2) * s - 1), fill=255)
        d.polygon((((cx - 4) * s, (cy - 2) * s), ((cx - 0.5) * s, (cy - 5) * s),
                   ((cx - 0.5) * s, (cy + 5) * s), ((cx - 4) * s, (cy + 2) * s)), fill=255)
        for x0, y0, x1, y1 in ((1.5, -2.5, 6.5, 2.5), (1.5, 2.5, 6.5, -2.5)):
            d.line(((cx + x0) * s, (cy + y0) * s, (cx + x1) * s, (cy + y1) * s), fill=255,
                   width=int(round(1.3 * s)))
    c.shape(paint, colour)


def glyph_gear(c, cx, cy, colour, teeth=8):
    """Settings: a gear with a hole."""
    def paint(d, s):
        points = []
        for i in range(teeth * 4):
            angle = 2 * math.pi * (i - 0.5) / (teeth * 4)
            radius = 5.0 if (i // 2) % 2 == 0 else 3.7
            points.append(((cx + radius * math.sin(angle)) * s, (cy - radius * math.cos(angle)) * s))
        d.polygon(points, fill=255)
        hole = 1.7
        d.ellipse(((cx - hole) * s, (cy - hole) * s, (cx + hole) * s - 1, (cy + hole) * s - 1),
                  fill=0)
    c.shape(paint, colour)


STRIP_GLYPHS = {"bypass": glyph_power, "mute": glyph_speaker_off, "settings": glyph_gear}


def strip_button(kind, state, width=24, height=16):
    """One of the strip's pictures: off (secondary glyph on the raised face), pressed (one shade
    darker, face and glyph one pixel lower and to the right), on (the face at 30 % of the lit
    colour, the glyph in it)."""
    c = Canvas(width, height, PANEL)
    c.paste(button_face(width - 2, height - 2, None, STRIP_LIT[kind], state), 1, 1)
    face = strip_face_colour(kind, state)
    colour = {"off": TEXT_SECONDARY, "pressed": TEXT,
              "on": legible(STRIP_LIT[kind], face)}[state]
    if contrast(colour, face) < MINIMUM_CONTRAST:
        raise ValueError(f"strip {kind} {state}: glyph contrast {contrast(colour, face):.2f}")
    offset = 1 if state == "pressed" else 0
    STRIP_GLYPHS[kind](c, width // 2 + offset, height // 2 + offset, colour)
    return c


def strip_buttons():
    """{number: Canvas} for 10000 ... 10008."""
    return {10000 + 3 * b + k: strip_button(kind, state)
            for b, kind in enumerate(("bypass", "mute", "settings"))
            for k, state in enumerate(STRIP_STATES)}


# ---------------------------------------------------------------------------------------------
# Orq Pressane (maximizer/ and plax/)

PRESSANE = {
    "slider_x": (99, 280), "slider_y": 64, "slider_steps": 24,
    "rocker": (198, 107), "boost": (202, 55), "memory_a": (195, 169), "memory_b": (225, 169),
    "store": (202, 189),
    "headroom_meter": (157, 64), "reached_meter": (339, 64),
    "input_bars": ((54, 60), (62, 60)), "output_bars": ((382, 59), (390, 59)),
    "lamps_in": ((54, 50), (62, 50)), "lamps_out": ((382, 50), (390, 50)),
    "about": (342, 220, 425, 245),
}
# Number fields, (left, top, right, bottom): the pressane_dx editor's and the Plax editor's.
PRESSANE_FIELDS_DX = {"gain": (97, 42, 118, 52), "density": (278, 42, 299, 52),
                      "headroom": (210, 133, 231, 142), "input": (55, 174, 69, 184),
                      "output": (384, 174, 399, 184)}
PRESSANE_FIELDS_PLAX = {"gain": (97, 41, 118, 52), "density": (278, 41, 300, 52),
                        "headroom": (212, 132, 233, 143), "input": (56, 174, 68, 184),
                        "output": (385, 174, 397, 184)}
# Scales: the input and output bars' 28 breakpoints (dB), the two gain meters' 10.
INPUT_BREAKPOINTS_DB = [-35, -30, -25, -20, -17.5, -15, -12.5, -10, -9, -8, -7, -6, -5, -4.5, -4,
                        -3.5, -3, -2.5, -2, -1.75, -1.5, -1.25, -1, -0.8, -0.6, -0.4, -0.2, -0.1]
OUTPUT_BREAKPOINTS_DB = [-10, -9, -8, -7, -6, -5, -4, -3, -2, -1.75, -1.5, -1.25, -1, -0.9, -0.8,
                         -0.7, -0.6, -0.5, -0.45, -0.4, -0.35, -0.3, -0.25, -0.2, -0.15, -0.1,
                         -0.05, -0.025]
HEADROOM_BREAKPOINTS_DB = [-3, -2, -1, 0, 1, 2, 3, 4, 5, 6]
REACHED_BREAKPOINTS = [0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9]
# Colours of the level bars by segment: mid from the first segment at -6 dB (input) or -2 dB
# (output), high from -1 dB (input) or -0.25 dB (output).
INPUT_BAR_ZONES = (INPUT_BREAKPOINTS_DB.index(-6) + 1, INPUT_BREAKPOINTS_DB.index(-1) + 1)
OUTPUT_BAR_ZONES = (OUTPUT_BREAKPOINTS_DB.index(-2) + 1, OUTPUT_BREAKPOINTS_DB.index(-0.25) + 1)
GAIN_METER_ZONES = (7, 9)


def dB_text(value):
    text = f"{value:g}"
    return text.replace("-", "\u2212") if value < 0 else text


def pressane_controls():
    """The Pressane control pictures, by role."""
    accent = ACCENTS["maximizer"]
    pieces = {}
    pieces["track"] = vertical_slider_track(18, 113, 12, PRESSANE["slider_steps"])
    pieces["thumb"] = vertical_slider_thumb(18, 12, accent)
    pieces["input_empty"] = vertical_meter(7, 110, 28, *INPUT_BAR_ZONES, lit=False)
    pieces["input_full"] = vertical_meter(7, 110, 28, *INPUT_BAR_ZONES, lit=True)
    pieces["output_empty"] = vertical_meter(7, 110, 28, *OUTPUT_BAR_ZONES, lit=False)
    pieces["output_full"] = vertical_meter(7, 110, 28, *OUTPUT_BAR_ZONES, lit=True)
    pieces["gain_empty"] = vertical_meter(13, 112, 10, *GAIN_METER_ZONES, lit=False, inset=2)
    pieces["gain_full"] = vertical_meter(13, 112, 10, *GAIN_METER_ZONES, lit=True, inset=2)
    for name, words in (("boost", "Boost"), ("store", "Store")):
        for state in ("on", "off"):
            pieces[f"{name}_{state}"] = button_face(43, 15, words, accent, state, led=True,
                                                    pixels=SCALE_PIXELS)
    for name, words in (("memory_a", "A"), ("memory_b", "B")):
        for state in ("on", "off"):
            pieces[f"{name}_{state}"] = button_face(26, 14, words, accent, state, bold=True)
    for state in ("left", "idle", "right", "disabled"):
        pieces[f"rocker_{state}"] = rocker(50, 16, state)
    pieces["lamp_on"] = lamp(7, 6, True)
    pieces["lamp_off"] = lamp(7, 6, False)
    return pieces


def pressane_background(width, height, fields):
    c = Canvas(width, height)
    header(c, "maximizer", "Loudness Maximizer")
    p = PRESSANE
    c.hline(0, width, HEADER_RULE_ROW, EDGE)
    # Sections: input, desired gain, character, density, output; thin rules between them.
    for x in (76, 191, 256, 372):
        c.vline(x, 40, 206, EDGE)
    # Input and output: one well around each side's lamps and bars, the bars' scales outside.
    for bars, lamps in ((p["input_bars"], p["lamps_in"]), (p["output_bars"], p["lamps_out"])):
        well(c, (lamps[0][0], lamps[0][1] - 1, lamps[1][0] + 7, bars[0][1] + 110 + 1))
    label(c, 62, 44, "In")
    label(c, 390, 44, "Out")
    for breakpoints, labels_db, bars, side in (
            (INPUT_BREAKPOINTS_DB, (-35, -10, -6, -3, -1, -0.2), p["input_bars"], "left"),
            (OUTPUT_BREAKPOINTS_DB, (-10, -3, -1, -0.5, -0.2), p["output_bars"], "right")):
        edges = segment_edges(28, 110)
        top = bars[0][1]
        for value in labels_db:
            k = breakpoints.index(value) + 1
            row = top + (edges[k] + edges[k - 1] - 1) // 2
            if side == "left":
                c.hline(bars[0][0] - 3, bars[0][0] - 1, row, HIGHLIGHT)
                scale_number(c, bars[0][0] - 5, row, dB_text(value), "right")
            else:
                c.hline(bars[1][0] + 8, bars[1][0] + 10, row, HIGHLIGHT)
                scale_number(c, bars[1][0] + 7 + 5, row, dB_text(value), "left")
    scale_number(c, p["lamps_in"][0][0] - 5, p["lamps_in"][0][1] + 2, "Clip", "right")
    scale_number(c, p["lamps_out"][1][0] + 12, p["lamps_out"][0][1] + 2, "Clip", "left")
    scale_number(c, p["lamps_in"][0][0] - 5, fields["input"][1] + 5, "dB", "right")
    scale_number(c, p["lamps_out"][1][0] + 12, fields["output"][1] + 5, "dB", "left")
    # Sliders: their scales to the left, each number on its position's thumb middle.
    travel = 113 - 12
    for x, title, labels, unit in (
            (p["slider_x"][0], "Desired Gain", [(i, f"{i // 2}") for i in range(0, 25, 4)], "dB"),
            (p["slider_x"][1], "More Density",
             [(0, "0"), (6, ".25"), (12, ".5"), (18, ".75"), (24, "1")], "")):
        label(c, x + 9, LABEL_ROW, title)
        for position, words in labels:
            row = p["slider_y"] + slider_thumb_row(position, p["slider_steps"], travel) + 5
            scale_number(c, x - 2, row, words, "right")
        if unit:
            scale_number(c, x - 2, p["slider_y"] + 113 + 6, unit, "right")
    # The number fields, painted black by the editor: their frames.
    for rect in fields.values():
        field_frame(c, rect)
    # Gain meters: wells, titles above, scales to the right.
    for (mx, my), title, values, text, unit in (
            (p["headroom_meter"], "Headroom", HEADROOM_BREAKPOINTS_DB, dB_text, "dB"),
            (p["reached_meter"], "Reached", REACHED_BREAKPOINTS, lambda v: f"{int(round(v * 100))}",
             "%")):
        well(c, (mx, my, mx + 13, my + 112))
        edges = segment_edges(10, 112)
        for k, value in enumerate(values, start=1):
            if k % 2 == 0 and title == "Reached" or k % 3 != 1 and title == "Headroom":
                continue
            row = my + (edges[k] + edges[k - 1] - 1) // 2
            c.hline(mx + 14, mx + 16, row, HIGHLIGHT)
            scale_number(c, mx + 13 + 5, row, text(value), "left")
        label(c, mx + 6, my - 7, title)
        scale_number(c, mx + 13 + 5, my + 112 + 6, unit, "left")
    # Character: boost, the soft/hard rocker with its value, memories, store.
    rx, ry = p["rocker"]
    label(c, rx + 12, ry - 6, "Soft")
    label(c, rx + 38, ry - 6, "Hard")
    ax, ay = p["memory_a"]
    label(c, ax + 28, ay - 6, "Memory")
    c.hline(0, width, FOOTER_RULE_ROW, EDGE)
    # The about area: the brand's mark.
    left, top, right, bottom = p["about"]
    c.text((left + right) // 2, (top + bottom) // 2 - 2, BRAND, TEXT_SECONDARY, LABEL_PIXELS,
           align="centre", background=PANEL, centre_row=True)
    c.fill(((left + right) // 2 - 12, (top + bottom) // 2 + 6, (left + right) // 2 + 12,
            (top + bottom) // 2 + 7), ACCENTS["maximizer"])
    return c


PRESSANE_DESCRIPTION = ("Loudness maximizer: level stage, look-ahead peak limiter",
                        "and curve soft clipper. Every sample stays inside full scale.")


def about_panel(width, height, folder, description, version_rect):
    """The about picture: name, brand, two lines of description; the version field's place left
    plain (its text is drawn there)."""
    c = Canvas(width, height)
    c.frame((0, 0, width, height), EDGE)
    c.text(20, 34, PRODUCT_NAMES[folder], legible(ACCENTS[folder], PANEL), 22, bold=True,
           background=PANEL)
    c.text(20, 52, f"Orq {PRODUCT_NAMES[folder]} \u00b7 {BRAND}", TEXT, TITLE_PIXELS,
           background=PANEL)
    for row, words in zip((80, 94), description):
        c.text(20, row, words, TEXT_SECONDARY, LABEL_PIXELS, background=PANEL)
    c.hline(20, width - 20, 62, EDGE)
    left, top, right, bottom = version_rect
    c.fill((left, top, right, bottom), PANEL)
    return c


def pressane_about(width, height, version_rect):
    return about_panel(width, height, "maximizer", PRESSANE_DESCRIPTION, version_rect)


# ---------------------------------------------------------------------------------------------
# Orq Compressor (compressor/)

COMPRESSOR = {
    "band_display": (35, 67, 359, 172), "curve_editor": (387, 70, 577, 258),
    "about": (500, 267), "solo": (204, 186), "softclip": (260, 186),
    "stages": ((35, 186), (91, 186)),  # the compression type selector's two positions
    "knob": (200, 229), "value": (243, 237),
    "gain_range_db": (-12.0, 12.0), "frequency_range_hz": (25.0, 22050.0),
}
OUTPUT_KNOB_TICKS_DB = list(range(-12, 13, 2))
OUTPUT_KNOB_MAJOR_DB = (-12, -6, 0, 6, 12)


def output_knob_fractions():
    lo, hi = COMPRESSOR["gain_range_db"]
    fractions = [(v - lo) / (hi - lo) for v in OUTPUT_KNOB_TICKS_DB]
    major = {(v - lo) / (hi - lo) for v in OUTPUT_KNOB_MAJOR_DB}
    return fractions, major


def compressor_controls():
    accent = ACCENTS["compressor"]
    pieces = {}
    for name, words in (("solo", "Solo"), ("softclip", "Soft Clip"), ("stages_two", "2 Stages"),
                        ("stages_one", "1 Stage")):
        for state in ("on", "off"):
            pieces[f"{name}_{state}"] = button_face(52, 18, words, accent, state)
    pieces["switch_pressed"] = button_face(52, 18, "Solo", accent, "pressed")
    pieces["about"] = button_face(77, 18, "About", accent, "off")
    fractions, major = output_knob_fractions()
    pieces["knob"] = knob_body(36, 6, fractions, major)
    pieces["dot"], pieces["mask"] = knob_dot(6, accent)
    pieces["value"] = number_well(56, 18)
    return pieces


def compressor_background(width, height):
    c = Canvas(width, height)
    header(c, "compressor", "Multiband Compressor")
    q = COMPRESSOR
    c.hline(0, width, 30, EDGE)
    band = q["band_display"]
    curve = q["curve_editor"]
    c.text(band[0], band[1] - 7, "Bands", TEXT, TITLE_PIXELS, background=PANEL)
    c.text(curve[0], curve[1] - 10, "Transfer Curve", TEXT, TITLE_PIXELS, background=PANEL)
    well(c, band)
    well(c, curve)
    # Band display scales: gain (linear, +12 dB on the top row, -12 dB on the bottom row) on the
    # left, frequency (logarithmic, 25 Hz at the left column to 22050 Hz at the right) below.
    left, top, right, bottom = band
    lo, hi = q["gain_range_db"]
    for gain in (12, 6, 0, -6, -12):
        row = top + int(round((hi - gain) / (hi - lo) * (bottom - 1 - top)))
        c.hline(left - 4, left - 1, row, HIGHLIGHT)
        scale_number(c, left - 6, row, (f"+{gain}" if gain > 0 else dB_text(gain)), "right")
    f0, f1 = q["frequency_range_hz"]
    for frequency, words in ((50, "50"), (100, "100"), (200, "200"), (500, "500"), (1000, "1k"),
                             (2000, "2k"), (5000, "5k"), (10000, "10k"), (20000, "20k")):
        column = left + int(round(math.log(frequency / f0) / math.log(f1 / f0) * (right - 1 - left)))
        c.vline(column, bottom + 1, bottom + 4, HIGHLIGHT)
        c.text(column, bottom + 12, words, TEXT_SECONDARY, SCALE_PIXELS, align="centre",
               background=PANEL)
    scale_number(c, left - 6, bottom + 8, "Hz", "right")
    scale_number(c, left - 6, top - 14, "dB", "right")
    # Output knob: ticks around its square (the knob bitmap repeats them in its corners), the
    # range's ends and middle labelled.
    kx, ky = q["knob"]
    fractions, major = output_knob_fractions()
    knob_ticks(c, kx + 18, ky + 18, 20, 23.5, fractions, major, HIGHLIGHT, TEXT_SECONDARY)
    for fraction, words, dx, dy in ((0.0, "\u221212", -4, 4), (0.5, "0", 0, -3), (1.0, "+12", 4, 4)):
        angle = knob_angle(fraction, KNOB_START_DEGREES)
        x = kx + 18 + math.sin(angle) * 28 + dx
        y = ky + 18 + math.cos(angle) * 28 + dy
        scale_number(c, int(round(x)), int(round(y)), words, "centre")
    label(c, kx - 16, ky + 18 + 4, "Output", align="right")
    # Row of switches: their caption rows.
    c.hline(q["stages"][0][0], q["stages"][1][0] + 52, 210, EDGE)
    scale_number(c, (q["stages"][0][0] + q["stages"][1][0] + 52) // 2, 217, "Gain Stages per Band",
                 "centre")
    return c


# ---------------------------------------------------------------------------------------------
# Orq Compressor, Plax build (plax/): five band-gain sliders with their fields, in-use LEDs and
# band buttons (the band Solo listens to), Solo, the output slider and field, the active band's
# level meter with its peak field, the band count, the about area (plax/compressor_plax_editor.cpp
# places the controls at these same points).

COMPRESSOR_PLAX = {
    "band_x": (44, 88, 132, 176, 220), "slider_y": 64, "slider_steps": 24,
    "output_x": 336, "solo": (252, 185), "band_button_y": 186, "in_use_y": 56,
    "meter": (412, 64), "peak": (406, 182, 432, 193), "bands": (84, 221, 98, 232),
    "about": (380, 220, 463, 245), "version": (364, 26, 464, 38),
    "rules": (306, 382),
}
COMPRESSOR_DESCRIPTION = ("Multiband compressor: up to five bands, a look-ahead gain stage",
                          "per band on its transfer curve, output gain and soft clipper.")
# The band level meter's 20 breakpoints (dB); mid from -12 dB, high from -3 dB.
LEVEL_BREAKPOINTS_DB = [-40, -36, -32, -28, -24, -21, -18, -15, -12, -10, -8, -6, -5, -4, -3,
                        -2.5, -2, -1.5, -1, -0.5]
LEVEL_METER_ZONES = (LEVEL_BREAKPOINTS_DB.index(-12) + 1, LEVEL_BREAKPOINTS_DB.index(-3) + 1)


def compressor_plax_field(x):
    """A gain field over its slider at column x: 28 wide, centred on the track."""
    return (x - 5, 41, x + 23, 52)


def compressor_plax_thumb_row(position, steps, travel):
    """The thumb's top row for a position: the editor library's rounding of the travel."""
    return travel - int(math.floor(position * travel / steps + 0.5))


def compressor_plax_controls():
    accent = ACCENTS["compressor"]
    ticks = [(position, position % 6 == 0) for position in range(0, 25, 2)]
    pieces = {"track": vertical_slider_track(18, 113, 12, COMPRESSOR_PLAX["slider_steps"], ticks),
              "thumb": vertical_slider_thumb(18, 12, accent)}
    pieces["solo"] = stacked(*(button_face(43, 15, "Solo", accent, state, led=True,
                                           pixels=SCALE_PIXELS) for state in ("off", "on")))
    for b in range(5):
        pieces[f"band_{b + 1}"] = stacked(*(button_face(26, 14, str(b + 1), accent, state,
                                                        bold=True) for state in ("off", "on")))
    pieces["meter_empty"] = vertical_meter(13, 112, 20, *LEVEL_METER_ZONES, lit=False, inset=2)
    pieces["meter_full"] = vertical_meter(13, 112, 20, *LEVEL_METER_ZONES, lit=True, inset=2)
    pieces["in_use"] = stacked(led_mark(12, 5, accent, False), led_mark(12, 5, accent, True))
    return pieces


def compressor_plax_background(width, height):
    q = COMPRESSOR_PLAX
    c = Canvas(width, height)
    header(c, "compressor", "Multiband Compressor")
    c.hline(0, width, HEADER_RULE_ROW, EDGE)
    for x in q["rules"]:
        c.vline(x, 40, 206, EDGE)
    travel = 113 - 12
    steps = q["slider_steps"]

    def scale(x, unit):
        for position in range(0, 25, 6):
            row = q["slider_y"] + compressor_plax_thumb_row(position, steps, travel) + 5
            scale_number(c, x - 2, row, signed(position - 12), "right")
        scale_number(c, x - 2, q["slider_y"] - 6, unit, "right")  # over the scale

    for b, x in enumerate(q["band_x"]):
        label(c, x + 9, LABEL_ROW, f"Band {b + 1}")
        field_frame(c, compressor_plax_field(x))
    scale(q["band_x"][0], "dB")
    first, last = q["band_x"][0], q["band_x"][-1] + 18
    c.hline(first - 4, last + 4, q["band_button_y"] + 17, EDGE)
    scale_number(c, (first + last) // 2, q["band_button_y"] + 22, "Active Band", "centre")
    # Output: its slider's scale, title, field.
    ox = q["output_x"]
    label(c, ox + 9, LABEL_ROW, "Output")
    field_frame(c, compressor_plax_field(ox))
    scale(ox, "dB")
    # The band level meter: well, title, scale to the right, the peak field under it.
    mx, my = q["meter"]
    well(c, (mx, my, mx + 13, my + 112))
    label(c, mx + 6, LABEL_ROW, "Band Level")
    edges = segment_edges(20, 112)
    for k, value in enumerate(LEVEL_BREAKPOINTS_DB, start=1):
        if value not in (-40, -24, -12, -6, -3, -1):
            continue
        row = my + (edges[k] + edges[k - 1] - 1) // 2
        c.hline(mx + 14, mx + 16, row, HIGHLIGHT)
        scale_number(c, mx + 13 + 5, row, dB_text(value), "left")
    field_frame(c, q["peak"])
    scale_number(c, q["peak"][2] + 4, (q["peak"][1] + q["peak"][3]) // 2, "dB", "left")
    c.hline(0, width, FOOTER_RULE_ROW, EDGE)
    # The band count: a field the editor fills, its caption before it.
    bands = q["bands"]
    field_frame(c, bands)
    label(c, bands[0] - 6, (bands[1] + bands[3]) // 2 + 4, "Bands in Use", align="right")
    # The about area: the brand's mark.
    left, top, right, bottom = q["about"]
    c.text((left + right) // 2, (top + bottom) // 2 - 2, BRAND, TEXT_SECONDARY, LABEL_PIXELS,
           align="centre", background=PANEL, centre_row=True)
    c.fill(((left + right) // 2 - 12, (top + bottom) // 2 + 6, (left + right) // 2 + 12,
            (top + bottom) // 2 + 7), ACCENTS["compressor"])
    return c


# ---------------------------------------------------------------------------------------------
# Pieces the Tessaline, Brisquet, Ombrel and Lunavis editors share: switches whose picture several
# controls use (their names stand in the background, so the face carries an LED instead of a
# word), glyph buttons, LED marks, the logo that opens the about box.


def led_switch(width, height, accent, state):
    """A switch without a word: the flat face (30 % accent when on) with an LED strip across its
    middle, dark when off and lit in the accent when on; pressed moves it with the face."""
    c = button_face(width, height, None, accent, state)
    lit = state in ("on", "on_pressed")
    offset = 1 if state in ("pressed", "on_pressed") else 0
    face = c.at(width // 2, 2 + offset)
    length = min(16, width - 14)
    left = (width - length) // 2 + offset
    top = height // 2 - 2 + offset
    c.fill((left - 1, top - 1, left + length + 1, top + 4), mix(face, RECESSED, 0.7))
    if lit:
        c.fill((left, top, left + length, top + 3), accent)
        c.hline(left, left + length, top, mix(accent, (255, 255, 255), 0.45))
    else:
        c.fill((left, top, left + length, top + 3), mix(RECESSED, accent, 0.22))
    return c


def glyph_button(width, height, accent, state, glyph):
    """A flat button with a drawn glyph: secondary text when off, primary when pressed, the
    accent (lightened to legibility) when on."""
    c = button_face(width, height, None, accent, state)
    offset = 1 if state in ("pressed", "on_pressed") else 0
    face = c.at(width // 2, 1 + offset)
    colour = {"off": TEXT_SECONDARY, "pressed": TEXT, "on_pressed": TEXT,
              "on": legible(mix(accent, TEXT, 0.35), face)}[state]
    glyph(c, width // 2 + offset, height // 2 + offset, colour)
    return c


def glyph_triangle(down):
    def draw(c, cx, cy, colour):
        def paint(d, s):
            if down:
                points = ((cx - 4, cy - 2), (cx + 4, cy - 2), (cx, cy + 3))
            else:
                points = ((cx - 4, cy + 3), (cx + 4, cy + 3), (cx, cy - 2))
            d.polygon([(x * s, y * s) for x, y in points], fill=255)
        c.shape(paint, colour)
    return draw


def glyph_reset(c, cx, cy, colour):
    """Reset: a circular arrow, open at the top right, its head pointing clockwise."""
    def paint(d, s):
        r_out, r_in = 5.0, 3.6
        d.ellipse(((cx - r_out) * s, (cy - r_out) * s, (cx + r_out) * s - 1, (cy + r_out) * s - 1),
                  fill=255)
        d.ellipse(((cx - r_in) * s, (cy - r_in) * s, (cx + r_in) * s - 1, (cy + r_in) * s - 1),
                  fill=0)
        d.polygon(((cx * s, cy * s), ((cx + 7) * s, (cy - 7) * s), ((cx + 7) * s, (cy + 0.5) * s)),
                  fill=0)
        d.polygon(((cx + 1.2) * s, (cy - 7.2) * s, (cx + 5.6) * s, (cy - 4.3) * s,
                   (cx + 1.2) * s, (cy - 1.4) * s), fill=255)
    c.shape(paint, colour)


def glyph_rubber_band(c, cx, cy, colour):
    """Rubber band: a dashed selection frame over three bars."""
    for x in range(cx - 8, cx + 8, 2):
        c.pixel(x, cy - 5, colour)
        c.pixel(x + 1, cy + 5, colour)
    for y in range(cy - 5, cy + 5, 2):
        c.pixel(cx - 8, y, colour)
        c.pixel(cx + 8, y + 1, colour)
    for x, h in ((cx - 4, 3), (cx, 5), (cx + 4, 2)):
        c.fill((x - 1, cy + 3 - h, x + 1, cy + 3), colour)


def glyph_niveau(c, cx, cy, colour):
    """Niveau: one straight line tilted across the whole width."""
    c.segment(cx - 8.5, cy + 3.5, cx + 8.5, cy - 3.5, 1.4, colour)


def glyph_bone(c, cx, cy, colour):
    """Bone: a segment between two dragged points."""
    c.segment(cx - 5, cy + 2.5, cx + 5, cy - 2.5, 1.3, colour)
    c.disc(cx - 5.0, cy + 3.0, 2.0, colour)
    c.disc(cx + 6.0, cy - 2.0, 2.0, colour)


def led_mark(width, height, accent, on):
    """A small LED bar (a group mark): dark, or lit in the accent with a lighter top row."""
    c = Canvas(width, height, PANEL)
    c.fill((0, 0, width, height), RECESSED)
    if on:
        c.fill((1, 1, width - 1, height - 1), accent)
        c.hline(1, width - 1, 1, mix(accent, (255, 255, 255), 0.4))
    else:
        c.fill((1, 1, width - 1, height - 1), mix(RECESSED, accent, 0.2))
    for x, y in ((0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)):
        c.pixel(x, y, PANEL)
    return c


def logo(width, height, folder):
    """The logo button that opens the about box: the brand's mark as Pressane's about area
    carries it, the brand in secondary text over a short rule in the plug-in's accent."""
    c = Canvas(width, height)
    middle = width // 2
    c.text(middle, height // 2 - 2, BRAND, TEXT_SECONDARY, LABEL_PIXELS, align="centre",
           background=PANEL, centre_row=True)
    c.fill((middle - 12, height // 2 + 6, middle + 12, height // 2 + 7), ACCENTS[folder])
    return c


def about_picture(width, height, folder, subtitle, lines):
    """An about box's picture: the name large in the accent, the product line, a description."""
    c = Canvas(width, height)
    c.frame((0, 0, width, height), EDGE)
    c.text(14, 28, PRODUCT_NAMES[folder], legible(ACCENTS[folder], PANEL), 20, bold=True,
           background=PANEL)
    c.text(14, 44, f"Orq {PRODUCT_NAMES[folder]} \u00b7 {BRAND}", TEXT, TITLE_PIXELS,
           background=PANEL)
    c.hline(14, width - 14, 52, EDGE)
    y = 66
    for words in [subtitle] + lines:
        c.text(14, y, words, TEXT_SECONDARY, LABEL_PIXELS, background=PANEL)
        y += 13
    return c


def brand_mark(c, folder, right, bottom):
    """The brand at the bottom right, with a short accent rule under it."""
    width = c.text_width(BRAND, LABEL_PIXELS)
    c.text(right - width, bottom - 6, BRAND, TEXT_SECONDARY, LABEL_PIXELS, background=PANEL)
    c.hline(right - width, right, bottom - 2, ACCENTS[folder])


def slider_scale(c, x, top, track, thumb, steps, marks, side="left"):
    """Ticks and numbers of a vertical slider beside its track (x its left column): marks are
    (position, words or None, major); each stands on the row the thumb's accent line covers at
    that position."""
    travel = track[1] - thumb
    for position, words, major in marks:
        row = top + slider_thumb_row(position, steps, travel) + (thumb - 1) // 2
        length = 3 if major else 2
        if side == "left":
            c.hline(x - 1 - length, x - 1, row, TEXT_SECONDARY if major else HIGHLIGHT)
            if words:
                scale_number(c, x - 2 - length, row, words, "right")
        else:
            right = x + track[0]
            c.hline(right + 1, right + 1 + length, row, TEXT_SECONDARY if major else HIGHLIGHT)
            if words:
                scale_number(c, right + 2 + length, row, words, "left")


def signed(value):
    return f"+{value:g}" if value > 0 else dB_text(value)


# ---------------------------------------------------------------------------------------------
# Orq Tessaline (matching/): the display, the status line, 30 band sliders with group marks, and
# a row of switches, the amount knob and the drawing modes (matching/tessaline_editor.{h,cpp}).

TESSALINE = {
    "display": (25, 30, 535, 190), "status": (25, 194, 535, 210),
    "column_pixels": 17, "slider_left": 26, "slider_top": 214, "sliders": 30, "slider_steps": 60,
    "track": (14, 100), "thumb": 9, "mark_left": 27, "mark_top": 317, "mark": (12, 5),
    "button_row": 328, "switch": (40, 18),
    "learn": 25, "target": 70, "match": 115, "band_mode": 250, "freeze": 295, "reset": 340,
    "tools": 400, "draw_modes": (446, 474, 502), "draw_mode": (26, 18),
    "knob": (162, 323), "knob_size": 28, "knob_steps": 200, "amount_field": (194, 330, 240, 346),
    "slider_range_db": (-15.0, 15.0), "amount_range": (0.0, 2.0),
}
TESSALINE_KNOB_TICKS = [i / 8 for i in range(9)]   # every 25 % of 0 ... 200 %
TESSALINE_KNOB_MAJOR = {0.0, 0.5, 1.0}             # 0, 100 and 200 %


def tessaline_slider_position(db):
    lo, hi = TESSALINE["slider_range_db"]
    return int(round((db - lo) / (hi - lo) * TESSALINE["slider_steps"]))


def tessaline_controls():
    accent = ACCENTS["matching"]
    t = TESSALINE
    pieces = {}
    for state in ("off", "pressed", "on"):
        pieces[f"switch_{state}"] = led_switch(*t["switch"], accent, state)
        pieces[f"reset_{state}"] = glyph_button(*t["switch"], accent, state, glyph_reset)
    ticks = [(tessaline_slider_position(db), db % 15 == 0) for db in range(-15, 16, 5)]
    pieces["track"] = vertical_slider_track(*t["track"], t["thumb"], t["slider_steps"], ticks)
    pieces["thumb"] = vertical_slider_thumb(t["track"][0], t["thumb"], accent)
    pieces["knob"] = knob_body(t["knob_size"], 6, TESSALINE_KNOB_TICKS, TESSALINE_KNOB_MAJOR)
    pieces["dot"], pieces["mask"] = knob_dot(6, accent)
    for name, glyph in (("rubber_band", glyph_rubber_band), ("niveau", glyph_niveau),
                        ("bone", glyph_bone)):
        pieces[f"{name}_on"] = glyph_button(*t["draw_mode"], accent, "on", glyph)
        pieces[f"{name}_off"] = glyph_button(*t["draw_mode"], accent, "off", glyph)
    pieces["mark_off"] = led_mark(*t["mark"], accent, False)
    pieces["mark_on"] = led_mark(*t["mark"], accent, True)
    return pieces


def tessaline_background(width, height):
    t = TESSALINE
    c = Canvas(width, height)
    header(c, "matching", "Matching Filter")
    # The display and the status line paint themselves; the background frames them.
    well(c, t["display"])
    well(c, t["status"])
    # The band sliders' scale (dB) on both sides of the row, on the rows of the thumbs' lines.
    marks = [(tessaline_slider_position(db), signed(db), db % 15 == 0) for db in range(-15, 16, 5)]
    last = t["slider_left"] + (t["sliders"] - 1) * t["column_pixels"]
    slider_scale(c, t["slider_left"], t["slider_top"], t["track"], t["thumb"], t["slider_steps"],
                 marks, "left")
    slider_scale(c, last, t["slider_top"], t["track"], t["thumb"], t["slider_steps"],
                 [(p, None, major) for p, _, major in marks], "right")
    scale_number(c, t["slider_left"] - 2, t["mark_top"] + 2, "dB", "right")
    # The names of the switches under them (the row above belongs to the group marks).
    switch_width = t["switch"][0]
    baseline = t["button_row"] + t["switch"][1] + 11
    for x, words in ((t["learn"], "Learn"), (t["target"], "Src/Dst"), (t["match"], "Match"),
                     (t["band_mode"], "Bands"), (t["freeze"], "Freeze"), (t["reset"], "Reset"),
                     (t["tools"], "Tools")):
        label(c, x + switch_width // 2, baseline, words)
    modes = t["draw_modes"]
    label(c, (modes[0] + modes[-1] + t["draw_mode"][0]) // 2, baseline, "Draw")
    # The amount: knob ticks around its square (repeated in the knob's corners), the field's
    # frame, its name and unit.
    kx, ky = t["knob"]
    r = t["knob_size"] / 2
    knob_ticks(c, kx + r, ky + r, r + 2, r + 5.5, TESSALINE_KNOB_TICKS, TESSALINE_KNOB_MAJOR,
               HIGHLIGHT, TEXT_SECONDARY)
    field = t["amount_field"]
    field_frame(c, field)
    label(c, field[0], baseline, "Amount %", align="left")
    return c


# ---------------------------------------------------------------------------------------------
# Orq Brisquet (enhancer/): five sliders with readouts, two steppers with readouts, four
# switches, a clip lamp and two level meters, in a full and a compact layout
# (enhancer/brisquet_editor.{h,cpp}).

BRISQUET = {
    "slider_top": 40, "track": (14, 120), "thumb": 10, "readout_top": 166, "readout": (40, 14),
    # name, steps, full x, compact x (None: hidden), scale marks (position, words, major)
    "sliders": (("Input", 26, 20, 20,
                 [(p, {0: "\u221220", 10: "\u221210", 20: "0", 26: "+6"}.get(p), p in (0, 10, 20, 26))
                  for p in range(0, 27, 2)]),
                ("Gain", 100, 70, None, None), ("2nd", 100, 120, None, None),
                ("3rd", 100, 170, None, None), ("Mix", 100, 220, 70, None)),
    "stepper": (24, 16), "stepper_field": (54, 14),
    "frequency": ((270, 44), (300, 44), (270, 64)), "density": ((270, 96), (300, 96), (270, 116)),
    "switch": (26, 18),
    # name, full place, compact place (None: hidden)
    "switches": (("Kick", (270, 150), None), ("Solo", (300, 150), (10, 200)),
                 ("Mono", (270, 186), (55, 200)), ("Layout", (300, 186), (100, 200))),
    "clip": ((352, 24), (122, 24)), "clip_size": (32, 10),
    "meters": (((352, 40), (372, 40)), ((122, 40), (142, 40))), "meter": (12, 150),
}
BRISQUET_UNIT_MARKS = [(p, {0: "0", 50: ".5", 100: "1"}.get(p), p % 50 == 0)
                       for p in range(0, 101, 10)]
BRISQUET_METER_SEGMENTS = 28
BRISQUET_METER_TOP_DB = -2
BRISQUET_METER_STEP_DB = 2


def brisquet_meter_segment(db):
    """The segment (1-based) whose threshold is db: the top one at -2 dBFS, 2 dB apart."""
    return BRISQUET_METER_SEGMENTS - (BRISQUET_METER_TOP_DB - db) // BRISQUET_METER_STEP_DB


BRISQUET_METER_ZONES = (brisquet_meter_segment(-10), brisquet_meter_segment(-4))


def brisquet_controls():
    accent = ACCENTS["enhancer"]
    b = BRISQUET
    pieces = {}
    pieces["track"] = vertical_slider_track(*b["track"], b["thumb"], 1, [])
    pieces["thumb"] = vertical_slider_thumb(b["track"][0], b["thumb"], accent)
    for state in ("off", "pressed", "on"):
        pieces[f"switch_{state}"] = led_switch(*b["switch"], accent, state)
    for name, down in (("down", True), ("up", False)):
        for state in ("off", "pressed"):
            pieces[f"{name}_{state}"] = glyph_button(*b["stepper"], accent, state,
                                                     glyph_triangle(down))
    w, h = b["meter"]
    pieces["meter_empty"] = vertical_meter(w, h, BRISQUET_METER_SEGMENTS, *BRISQUET_METER_ZONES,
                                           lit=False, inset=2)
    pieces["meter_full"] = vertical_meter(w, h, BRISQUET_METER_SEGMENTS, *BRISQUET_METER_ZONES,
                                          lit=True, inset=2)
    pieces["clip_off"] = lamp(*b["clip_size"], False)
    pieces["clip_on"] = lamp(*b["clip_size"], True)
    return pieces


def brisquet_background(width, height, compact):
    b = BRISQUET
    c = Canvas(width, height)
    layout = 1 if compact else 0
    header(c, "enhancer", None if compact else "Spectral Enhancer")
    clip_x, clip_y = b["clip"][layout]
    # The rule stops short of the clip lamp (and of its name in the full layout).
    rule_end = clip_x - 8 if compact else clip_x - 12 - c.text_width("Clip", SCALE_PIXELS)
    c.hline(0, rule_end, HEADER_RULE_ROW, EDGE)
    # Sliders: names above, scales to the left, the readouts' frames below.
    track_width, track_height = b["track"]
    for name, steps, full_x, compact_x, marks in b["sliders"]:
        x = compact_x if compact else full_x
        if x is None:
            continue
        label(c, x + track_width // 2, b["slider_top"] - 5, name)
        slider_scale(c, x, b["slider_top"], b["track"], b["thumb"], steps,
                     marks if marks is not None else BRISQUET_UNIT_MARKS)
        left = x + track_width // 2 - b["readout"][0] // 2
        field_frame(c, (left, b["readout_top"], left + b["readout"][0],
                        b["readout_top"] + b["readout"][1]))
    if not compact:
        # The treble controls: steppers with their readouts, and the switches.
        c.vline(258, b["slider_top"], b["readout_top"] + b["readout"][1], EDGE)
        for (down, up, field), name, unit in ((b["frequency"], "Frequency", "kHz"),
                                              (b["density"], "Density", None)):
            label(c, (down[0] + up[0] + b["stepper"][0]) // 2, down[1] - 5, name)
            fw, fh = b["stepper_field"]
            field_frame(c, (field[0], field[1], field[0] + fw, field[1] + fh))
            if unit:
                scale_number(c, field[0] + fw + 4, field[1] + fh // 2, unit, "left")
    sw, sh = b["switch"]
    for name, full, small in b["switches"]:
        place = small if compact else full
        if place is not None:
            # In the compact layout the names stand closer: the meters end 10 rows above.
            label(c, place[0] + sw // 2, place[1] - (3 if compact else 5), name)
    # Output: the clip lamp over both meters, the meters' dB scale to their left and ticks between
    # them on the middle rows of the labelled segments.
    (lx, ly), (rx, _) = b["meters"][layout]
    mw, mh = b["meter"]
    edges = segment_edges(BRISQUET_METER_SEGMENTS, mh)
    for db in (-2, -10, -20, -30, -40, -50):
        k = brisquet_meter_segment(db)
        row = ly + (edges[k] + edges[k - 1] - 1) // 2
        c.hline(lx - 3, lx - 1, row, HIGHLIGHT)
        c.hline(lx + mw + 1, rx - 1, row, HIGHLIGHT)
        if db != -10 or compact:  # in the full layout -10 would crowd the readout's unit
            scale_number(c, lx - 4, row, dB_text(db), "right")
    if not compact:
        scale_number(c, clip_x - 4, clip_y + b["clip_size"][1] // 2, "Clip", "right")
        for x, words in ((lx, "L"), (rx, "R")):
            scale_number(c, x + mw // 2, ly + mh + 8, words, "centre")
        scale_number(c, lx - 4, ly + mh + 8, "dB", "right")
    brand_mark(c, "enhancer", width - 12, height - 6)
    return c


# ---------------------------------------------------------------------------------------------
# Orq Ombrel (spectrogram/) and Orq Lunavis (scope/): displays that print their own scales,
# legends and control names (spectrogram/ombrel_editor.cpp, scope/lunavis_editor.cpp); their
# backgrounds keep those areas plain panel and carry the name and the frames.

SPECTROGRAM_PICTURE_AREA = (23, 35, 366, 279)  # the picture and its scales (the clipboard copy)
OMBREL = {
    "picture_right": 318,  # the background's column 317 stretches with a wider picture
    "sliders": (386, 432), "slider_y": 68, "track": (16, 150), "thumb": 10,
    "readout_y": 224, "readout_height": 14, "switch": (44, 16), "channel": (26, 16),
    "logo": (400, 8), "logo_size": (72, 20),
}
SCOPE_AREA = (12, 45, 207, 225)                # the scope (the clipboard copy)
SCOPE_RANGE = 1.5                              # both axes span -1.5 ... +1.5
LUNAVIS = {"logo": (236, 8), "logo_size": (72, 20), "switch": (44, 16),
           "meter": (12, 244, 207, 260), "range": (12, 262, 207, 270)}


def ombrel_controls():
    accent = ACCENTS["spectrogram"]
    o = OMBREL
    pieces = {"logo": logo(*o["logo_size"], "spectrogram")}
    # The two level sliders share the track (51 and 50 steps): ticks at tenths of its travel.
    pieces["track"] = vertical_slider_track(*o["track"], o["thumb"], 10,
                                            [(p, p % 5 == 0) for p in range(11)])
    pieces["thumb"] = vertical_slider_thumb(o["track"][0], o["thumb"], accent)
    for state in ("off", "on", "pressed"):
        pieces[f"switch_{state}"] = led_switch(*o["switch"], accent, state)
    for state in ("on", "off"):
        pieces[f"channel_{state}"] = led_switch(*o["channel"], accent, state)
    return pieces


def spectrogram_background(width, height):
    o = OMBREL
    c = Canvas(width, height)
    header(c, "spectrogram", "Spectrogram")
    c.hline(0, o["logo"][0] - 8, HEADER_RULE_ROW, EDGE)
    # The copy area (picture, scales, legend) stays panel: a frame just outside it.
    left, top, right, bottom = SPECTROGRAM_PICTURE_AREA
    group(c, (left - 1, top - 1, right + 1, bottom + 1))
    # The level sliders with their readouts: one group.
    x0, x1 = o["sliders"]
    group(c, (x0 - 12, o["slider_y"] - 22, x1 + o["track"][0] + 12,
              o["readout_y"] + o["readout_height"] + 4))
    return c


def lunavis_controls():
    accent = ACCENTS["scope"]
    l = LUNAVIS
    pieces = {"logo": logo(*l["logo_size"], "scope")}
    for state in ("off", "on"):
        pieces[f"mono_{state}"] = led_switch(*l["switch"], accent, state)
    pieces["about"] = about_picture(240, 90, "scope", "Phase scope and correlation meter",
                                    ["Mid up, side across; L = R stands upright."])
    pieces["display"] = scope_display(SCOPE_AREA[2] - SCOPE_AREA[0], SCOPE_AREA[3] - SCOPE_AREA[1])
    return pieces


def scope_background(width, height):
    l = LUNAVIS
    c = Canvas(width, height)
    header(c, "scope", "Phase Scope")
    c.hline(0, l["logo"][0] - 8, HEADER_RULE_ROW, EDGE)
    # The scope paints its own well and edge (bitmap 106); the meter and the range bar below it
    # are displays without one: a frame around the two, a rule between them.
    meter, bar = l["meter"], l["range"]
    c.frame((meter[0] - 1, meter[1] - 1, meter[2] + 1, bar[3] + 1), EDGE)
    c.hline(meter[0], meter[2], meter[3], EDGE)
    return c


def scope_display(width, height):
    """The scope's own background: mid up, side across, the left and right channels' diagonals,
    the unit circle; all in the display's mapping (column sx * (x + 1.5), row H - sy * (y + 1.5))."""
    c = Canvas(width, height, RECESSED)
    sx, sy = width / (2 * SCOPE_RANGE), height / (2 * SCOPE_RANGE)

    def column(x):
        return int(sx * (x + SCOPE_RANGE))

    def row(y):
        return int(height - sy * (y + SCOPE_RANGE))

    for v in (-1.0, -0.5, 0.5, 1.0):
        grid = mix(RECESSED, EDGE, 0.8 if abs(v) == 1.0 else 0.45)
        c.vline(column(v), 0, height, grid)
        c.hline(0, width, row(v), grid)
    cx, cy = sx * SCOPE_RANGE, height - sy * SCOPE_RANGE

    def unit_ellipse(d, k):
        d.ellipse(((cx - sx) * k, (cy - sy) * k, (cx + sx) * k - 1, (cy + sy) * k - 1),
                  outline=255, width=k)
    c.shape(unit_ellipse, HIGHLIGHT)
    reach = 1.4
    c.segment(cx - sx * reach, cy - sy * reach, cx + sx * reach, cy + sy * reach, 1.0, EDGE)
    c.segment(cx + sx * reach, cy - sy * reach, cx - sx * reach, cy + sy * reach, 1.0, EDGE)
    c.vline(column(0.0), 0, height, HIGHLIGHT)
    c.hline(0, width, row(0.0), HIGHLIGHT)
    c.frame((0, 0, width, height), EDGE)
    for words, x, y, align in (("M", column(0.0) + 4, 12, "left"), ("S", width - 6, row(0.0) - 4, "right"),
                               ("L", column(-1.3), row(1.3) + 10, "left"),
                               ("R", column(1.3), row(1.3) + 10, "right")):
        c.text(x, y, words, TEXT_SECONDARY, SCALE_PIXELS, align=align, background=RECESSED)
    return c


# ---------------------------------------------------------------------------------------------
# The shared 256-colour palette of the 8-bit bitmaps: the skin's colours, then ramps between the
# recessed surface and each meter and lamp colour (lit and unlit LEDs), the accents' ramps from
# the panel, and a grey ramp; unused entries repeat black.


def palette_256():
    colours = [FIELD, FIELD_TEXT, PANEL, RAISED, RECESSED, EDGE, HIGHLIGHT, TEXT, TEXT_SECONDARY,
               METER_LOW, METER_MID, METER_HIGH, LAMP_ON, LAMP_OFF]
    colours += [ACCENTS[k] for k in sorted(ACCENTS)]
    for c in (METER_LOW, METER_MID, METER_HIGH, LAMP_ON, LAMP_OFF):
        colours += [mix(RECESSED, c, i / 24) for i in range(1, 24)]
        colours += [mix(c, (255, 255, 255), i / 8) for i in range(1, 8)]
    for k in sorted(ACCENTS):
        colours += [mix(PANEL, ACCENTS[k], i / 8) for i in range(1, 8)]
    colours += [(v, v, v) for v in range(0, 256, 16)]
    unique = []
    for c in colours:
        if c not in unique:
            unique.append(c)
    if len(unique) > 256:
        raise ValueError(f"the 8-bit palette has {len(unique)} colours")
    return unique + [(0, 0, 0)] * (256 - len(unique))


PALETTE_256 = palette_256()


def to_indices(canvas):
    """The palette index of every pixel: the nearest palette colour (the first on a tie)."""
    pixels = np.asarray(canvas.image, dtype=np.int64)
    table = np.array(PALETTE_256, dtype=np.int64)
    distance = ((pixels[:, :, None, :] - table[None, None, :, :]) ** 2).sum(axis=3)
    return distance.argmin(axis=2).astype(np.uint8)


# ---------------------------------------------------------------------------------------------
# BMP files


def bmp_bytes(canvas, bits):
    width, height = canvas.width, canvas.height
    if bits == 24:
        pixels = np.asarray(canvas.image, dtype=np.uint8)[:, :, ::-1]  # blue, green, red
        stride = (width * 3 + 3) // 4 * 4
        rows = [pixels[y].tobytes() + b"\0" * (stride - width * 3) for y in range(height - 1, -1, -1)]
        table = b""
        colours = 0
    elif bits == 8:
        indices = to_indices(canvas)
        stride = (width + 3) // 4 * 4
        rows = [indices[y].tobytes() + b"\0" * (stride - width) for y in range(height - 1, -1, -1)]
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE_256)
        colours = 256
    else:
        raise ValueError(f"{bits} bits per pixel")
    data = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                         colours, 0)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + table + data


def stacked(*frames):
    """Frames one below the other (the Plax editor library's multi-frame bitmaps)."""
    width = frames[0].width
    c = Canvas(width, sum(f.height for f in frames))
    y = 0
    for f in frames:
        c.paste(f, 0, y)
        y += f.height
    return c


# ---------------------------------------------------------------------------------------------
# Everything


def draw_all():
    """{(folder, number): Canvas} for every entry of SIZES."""
    out = {}
    p = pressane_controls()
    about = pressane_about(440, 120, (340, 26, 430, 42))
    mx = {101: pressane_background(444, 262, PRESSANE_FIELDS_DX), 102: about,
          103: p["track"], 104: p["thumb"], 105: p["output_full"], 106: p["output_empty"],
          107: p["gain_full"], 108: p["gain_empty"], 109: p["gain_full"], 110: p["gain_empty"],
          111: p["boost_on"], 112: p["boost_off"], 114: p["memory_a_on"], 115: p["memory_a_off"],
          116: p["memory_b_on"], 117: p["memory_b_off"], 118: p["store_on"], 119: p["store_off"],
          120: p["rocker_left"], 121: p["rocker_idle"], 122: p["rocker_right"],
          123: p["rocker_disabled"], 124: p["input_full"], 125: p["input_empty"],
          126: p["lamp_on"], 127: p["lamp_off"], 128: about.crop((340, 26, 430, 42))}
    out.update({("maximizer", n): v for n, v in mx.items()})
    plax = {1000: pressane_background(446, 263, PRESSANE_FIELDS_PLAX),
            1001: pressane_splash(446, 263),
            1002: stacked(p["boost_off"], p["boost_on"]),
            1003: stacked(p["store_off"], p["store_on"]),
            1004: stacked(p["memory_a_off"], p["memory_a_on"]),
            1005: stacked(p["memory_b_off"], p["memory_b_on"]),
            1006: stacked(p["rocker_left"], p["rocker_idle"], p["rocker_right"]),
            1007: p["track"], 1008: p["thumb"],
            1009: p["gain_empty"], 1010: p["gain_full"], 1011: p["gain_empty"], 1012: p["gain_full"],
            1013: stacked(p["lamp_off"], p["lamp_on"]),
            1014: p["input_empty"], 1015: p["input_full"],
            1016: p["output_empty"], 1017: p["output_full"]}
    out.update({("plax", n): v for n, v in plax.items()})
    k = compressor_plax_controls()
    compressor_plax = {1100: compressor_plax_background(480, 263),
                       1101: plax_splash(480, 263, "compressor", COMPRESSOR_DESCRIPTION,
                                         COMPRESSOR_PLAX["version"]),
                       1102: k["track"], 1103: k["thumb"], 1104: k["solo"],
                       **{1105 + b: k[f"band_{b + 1}"] for b in range(5)},
                       1110: k["meter_empty"], 1111: k["meter_full"], 1112: k["in_use"]}
    out.update({("plax", n): v for n, v in compressor_plax.items()})
    t = tessaline_controls()
    tessaline = {101: tessaline_background(560, 360),
                 110: t["switch_off"], 111: t["switch_pressed"], 112: t["switch_on"],
                 113: t["reset_off"], 114: t["reset_pressed"], 115: t["reset_on"],
                 120: t["track"], 121: t["thumb"], 130: t["knob"], 131: t["dot"], 132: t["mask"],
                 140: t["rubber_band_on"], 141: t["rubber_band_off"], 142: t["niveau_on"],
                 143: t["niveau_off"], 144: t["bone_on"], 145: t["bone_off"],
                 150: t["mark_off"], 151: t["mark_on"]}
    out.update({("matching", n): v for n, v in tessaline.items()})
    b = brisquet_controls()
    brisquet = {101: brisquet_background(400, 240, compact=False),
                102: brisquet_background(170, 240, compact=True),
                110: b["track"], 111: b["thumb"],
                120: b["switch_off"], 121: b["switch_pressed"], 122: b["switch_on"],
                123: b["down_off"], 124: b["down_pressed"], 125: b["up_off"], 126: b["up_pressed"],
                130: b["meter_empty"], 131: b["meter_full"], 132: b["clip_off"], 133: b["clip_on"]}
    out.update({("enhancer", n): v for n, v in brisquet.items()})
    o = ombrel_controls()
    ombrel = {101: spectrogram_background(480, 300), 102: o["logo"], 103: o["track"],
              104: o["thumb"], 105: o["switch_off"], 106: o["switch_on"], 107: o["switch_pressed"],
              108: o["channel_on"], 109: o["channel_off"]}
    out.update({("spectrogram", n): v for n, v in ombrel.items()})
    v = lunavis_controls()
    lunavis = {101: scope_background(320, 300), 102: v["logo"], 103: v["mono_off"],
               104: v["mono_on"], 105: v["about"], 106: v["display"]}
    out.update({("scope", n): v for n, v in lunavis.items()})
    q = compressor_controls()
    comp = {101: compressor_background(600, 300), 103: q["about"],
            104: q["softclip_off"], 105: q["softclip_on"],
            106: q["stages_two_off"], 107: q["stages_one_off"],
            108: q["stages_two_on"], 109: q["stages_one_on"],
            110: q["solo_off"], 111: q["solo_on"],
            112: q["mask"], 113: q["dot"], 114: q["knob"], 115: q["value"]}
    out.update({("compressor", n): v for n, v in comp.items()})
    gallery = {20002: q["switch_pressed"],
               20022: rotate_quarter(p["track"]), 20023: rotate_quarter(p["thumb"]),
               20052: rotate_quarter(p["gain_empty"]), 20053: rotate_quarter(p["gain_full"])}
    out.update({("host", n): v for n, v in gallery.items()})
    out.update({("host", n): v for n, v in strip_buttons().items()})
    for key, canvas in out.items():
        what, width, height, _, _ = SIZES[key]
        if (canvas.width, canvas.height) != (width, height):
            raise ValueError(f"{key} {what}: drawn {canvas.width} x {canvas.height}, "
                             f"the table says {width} x {height}")
    missing = set(SIZES) - set(out)
    if missing:
        raise ValueError(f"not drawn: {sorted(missing)}")
    return out


def plax_splash(width, height, folder, description, version_rect):
    """A Plax build's splash: the about picture on the panel, its version line left plain."""
    c = Canvas(width, height)
    about = about_panel(width, height, folder, description, version_rect)
    c.paste(about, 0, 0)
    c.text(20, 140, "Plax edition", TEXT_SECONDARY, LABEL_PIXELS, background=PANEL)
    # The suite: each product's name beside a swatch of its accent.
    c.hline(20, width - 20, 176, EDGE)
    c.text(20, 196, f"The {BRAND} mastering suite", TEXT, TITLE_PIXELS, background=PANEL)
    x, y = 20, 218
    for other in ("compressor", "maximizer", "matching", "enhancer", "spectrogram", "scope"):
        c.fill((x, y - 7, x + 7, y), ACCENTS[other])
        c.text(x + 11, y, PRODUCT_NAMES[other], TEXT_SECONDARY, LABEL_PIXELS, background=PANEL)
        x += 11 + c.text_width(PRODUCT_NAMES[other]) + 14
    c.text(width - 20, height - 14, "Click to close", TEXT_SECONDARY, SCALE_PIXELS, align="right",
           background=PANEL)
    return c


def pressane_splash(width, height):
    """Pressane's splash: the version line at 330, 26 - 430, 38."""
    return plax_splash(width, height, "maximizer", PRESSANE_DESCRIPTION, (330, 26, 430, 38))


def write_all(root, drawn):
    written = {}
    for (folder, number), canvas in sorted(drawn.items()):
        bits = SIZES[(folder, number)][3]
        folder_path = os.path.join(root, folder, "skin")
        os.makedirs(folder_path, exist_ok=True)
        path = os.path.join(folder_path, file_name(folder, number))
        with open(path, "wb") as f:
            f.write(bmp_bytes(canvas, bits))
        written.setdefault(folder_path, set()).add(os.path.basename(path))
    for folder_path, names in written.items():
        for stale in sorted(set(os.listdir(folder_path)) - names):
            if stale.endswith(".bmp"):
                os.remove(os.path.join(folder_path, stale))


def field_text(canvas, rect, words, colour=FIELD_TEXT, pixels=12):
    left, top, right, bottom = rect
    canvas.draw.text(((left + right) // 2, (top + bottom) // 2), words, fill=colour,
                     font=font(pixels), anchor="mm")


def meter_fill(canvas, empty, full, x, y, fraction):
    canvas.paste(empty, x, y)
    if full.width < full.height:
        top = int((1 - fraction) * full.height)
        canvas.paste(full.crop((0, top, full.width, full.height)), x, y + top)
    else:
        canvas.paste(full.crop((0, 0, int(fraction * full.width), full.height)), x, y)


def knob_sprite(canvas, knob, dot, mask, x, y, fraction):
    """The knob's painting: background, then mask AND, dot OR at the controls' place."""
    canvas.paste(knob, x, y)
    r, half = knob.width // 2, dot.width // 2
    angle = knob_angle(fraction, KNOB_START_DEGREES)
    dx = int(math.sin(angle) * (r - half)) - half + r
    dy = int(math.cos(angle) * (r - half)) - half + r
    under = np.asarray(canvas.image.crop((x + dx, y + dy, x + dx + dot.width, y + dy + dot.height)))
    sprite = (under & np.asarray(mask.image)) | np.asarray(dot.image)
    canvas.image.paste(Image.fromarray(sprite, "RGB"), (x + dx, y + dy))


def previews(drawn):
    """The editors put together from their pieces, the way the controls paint them (a check of
    the fit, not part of the skin)."""
    m = {n: drawn[("maximizer", n)] for n in (101, 103, 104, 105, 106, 107, 108, 109, 110, 111,
                                             112, 114, 115, 116, 117, 118, 119, 121, 124, 125, 126,
                                             127)}
    p = PRESSANE
    c = Canvas(444, 262)
    c.paste(m[101], 0, 0)
    for x, position in zip(p["slider_x"], (12, 7)):
        c.paste(m[103], x, p["slider_y"])
        c.paste(m[104], x, p["slider_y"] + slider_thumb_row(position, 24, 101))
    c.paste(m[121], *p["rocker"])
    c.paste(m[111], *p["boost"])
    c.paste(m[115], *p["memory_a"])
    c.paste(m[116], *p["memory_b"])
    c.paste(m[119], *p["store"])
    meter_fill(c, m[108], m[107], *p["headroom_meter"], 0.6)
    meter_fill(c, m[110], m[109], *p["reached_meter"], 0.9)
    for (x, y), f in zip(p["input_bars"], (0.75, 0.82)):
        meter_fill(c, m[125], m[124], x, y, f)
    for (x, y), f in zip(p["output_bars"], (0.93, 0.72)):
        meter_fill(c, m[106], m[105], x, y, f)
    for (x, y), on in zip(p["lamps_in"] + p["lamps_out"], (False, False, True, False)):
        c.paste(m[126] if on else m[127], x, y)
    for key, words, colour in (("gain", "6.0", FIELD_TEXT), ("density", "0.3", FIELD_TEXT),
                               ("headroom", "  0", FIELD_TEXT), ("input", "-4", (0, 255, 0)),
                               ("output", "  -", (0, 255, 0))):
        field_text(c, PRESSANE_FIELDS_DX[key], words, colour)
    k = {n: drawn[("compressor", n)] for n in (101, 103, 105, 108, 107, 110, 112, 113, 114, 115)}
    q = COMPRESSOR
    d = Canvas(600, 300)
    d.paste(k[101], 0, 0)
    d.paste(k[103], *q["about"])
    d.paste(k[110], *q["solo"])
    d.paste(k[105], *q["softclip"])
    d.paste(k[108], *q["stages"][0])
    d.paste(k[107], *q["stages"][1])
    knob_sprite(d, k[114], k[113], k[112], *q["knob"], 0.625)
    d.paste(k[115], *q["value"])
    vx, vy = q["value"]
    field_text(d, (vx, vy, vx + 56, vy + 18), "3.0 dB", pixels=14)
    return [("maximizer", "preview", c), ("compressor", "preview", d)]


def review_sheet(drawn, path):
    """Every bitmap at 1:1 with its number, then the backgrounds at 200 %."""
    margin, gap = 12, 10
    items = sorted(drawn.items(), key=lambda kv: (kv[0][0], kv[0][1]))
    items += [((f, n), v) for f, n, v in previews(drawn)]
    backgrounds = [(k, v) for k, v in items if v.width >= 300]
    small = [(k, v) for k, v in items if v.width < 300]
    sheet_width = 1400
    x, y, row_height = margin, margin, 0
    placements = []
    for key, canvas in backgrounds + small:
        if x + canvas.width > sheet_width - margin:
            x, y, row_height = margin, y + row_height + gap + 12, 0
        placements.append((key, canvas, x, y + 12, 1))
        x += max(canvas.width, 40) + gap
        row_height = max(row_height, canvas.height)
    y += row_height + gap + 12
    x, row_height = margin, 0
    for key, canvas in backgrounds:
        w, h = canvas.width * 2, canvas.height * 2
        if x + w > sheet_width - margin:
            x, y, row_height = margin, y + row_height + gap + 12, 0
        placements.append((key, canvas, x, y + 12, 2))
        x += w + gap
        row_height = max(row_height, h)
    height = y + row_height + 12 + margin
    sheet = Image.new("RGB", (sheet_width, height), (60, 60, 64))
    d = ImageDraw.Draw(sheet)
    for (folder, number), canvas, px, py, zoom in placements:
        image = canvas.image if zoom == 1 else canvas.image.resize(
            (canvas.width * zoom, canvas.height * zoom), Image.Resampling.NEAREST)
        sheet.paste(image, (px, py))
        d.text((px, py - 11), f"{folder} {number}", fill=(200, 200, 200), font=font(9))
    sheet.save(path)


def main(argv):
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    review = None
    args = list(argv[1:])
    if "--review" in args:
        i = args.index("--review")
        review = args[i + 1]
        del args[i:i + 2]
    if len(args) > 1 or any(a.startswith("-") for a in args):
        print(__doc__, file=sys.stderr)
        return 2
    if args:
        root = args[0]
    drawn = draw_all()
    write_all(root, drawn)
    if review:
        review_sheet(drawn, review)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
