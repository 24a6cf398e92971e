#!/usr/bin/python3
"""Tests of the resource compiler (cmake/resources.py): what it refuses, and the layouts the
platform's own tests do not reach (bitmap files with gaps or long headers)."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import resources  # noqa: E402

COMPILER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "resources.py")


def bmp_file(width, height, bits=24, header_size=40, gap=0, compression=0, colours=0):
    stride = (width * bits + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, 0, 0,
                         0, colours, 0) + b"\0" * (header_size - 40)
    table = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(colours))
    pixels = bytes(range(stride * height)) if stride * height < 256 else b"\x55" * (
        stride * height)
    offset = 14 + len(header) + len(table) + gap
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table +
            b"\xee" * gap + pixels)


class Folder:
    """A scratch folder with a resource list and the files it names."""

    def __init__(self, files):
        self.directory = tempfile.TemporaryDirectory()
        for name, content in files.items():
            with open(os.path.join(self.directory.name, name), "wb") as f:
                f.write(content.encode() if isinstance(content, str) else content)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.directory.cleanup()

    def compile(self):
        """(exit code, stderr) of compiling resources.txt."""
        output = os.path.join(self.directory.name, "out.cpp")
        run = subprocess.run([sys.executable, COMPILER,
                              os.path.join(self.directory.name, "resources.txt"), output,
                              "--version", "3.4.5"], capture_output=True, text=True)
        return run.returncode, run.stderr

    def resources(self):
        return resources.compile_list(os.path.join(self.directory.name, "resources.txt"), "3.4.5")


class Refusals(unittest.TestCase):
    def assertRefused(self, files, *fragments):
        with Folder(files) as folder:
            code, errors = folder.compile()
        self.assertEqual(code, 1, errors)
        for fragment in fragments:
            self.assertIn(fragment, errors)

    def test_a_resource_listed_twice_is_refused_with_its_line(self):
        self.assertRefused({"resources.txt": "bitmap 101 placeholder 2 2\n\n"
                                             "bitmap 101 placeholder 3 3\n"},
                           "resources.txt:3", "appears twice")
        self.assertRefused({"resources.txt": "bitmap Skin placeholder 2 2\n"
                                             "bitmap SKIN placeholder 3 3\n"}, "appears twice")

    def test_unknown_kinds_names_and_missing_files_are_refused(self):
        self.assertRefused({"resources.txt": "menu 1 menu.txt\n"}, "unknown resource kind")
        self.assertRefused({"resources.txt": "bitmap 70000 placeholder 2 2\n"}, "out of range")
        self.assertRefused({"resources.txt": "bitmap a-b placeholder 2 2\n"}, "not a resource name")
        self.assertRefused({"resources.txt": "bitmap .hlp placeholder 2 2\n"}, "not a resource name")
        self.assertRefused({"resources.txt": "bitmap 1 missing.bmp\n"}, "cannot read",
                           "missing.bmp")
        self.assertRefused({"resources.txt": "dialog 1 placeholder\n"}, "no placeholder dialog")

    def test_bitmaps_the_platform_cannot_draw_are_refused(self):
        self.assertRefused({"resources.txt": "bitmap 1 rle.bmp\n",
                            "rle.bmp": bmp_file(4, 4, bits=8, compression=1, colours=2)},
                           "compressed")
        self.assertRefused({"resources.txt": "bitmap 1 not.bmp\n", "not.bmp": "GIF89a"},
                           "not a BMP file")
        self.assertRefused({"resources.txt": "bitmap 1 short.bmp\n",
                            "short.bmp": bmp_file(8, 8)[:-10]}, "cut short")

    def test_png_icons_are_refused(self):
        png = b"\x89PNG\r\n\x1a\n" + b"\0" * 40
        ico = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32,
                                                         len(png), 22) + png
        self.assertRefused({"resources.txt": "icon 1 big.ico\n", "big.ico": ico}, "PNG")
        self.assertRefused({"resources.txt": "cursor 1 big.ico\n", "big.ico": ico},
                           "not a cursor file")

    def test_dialog_and_accelerator_mistakes_name_their_line(self):
        self.assertRefused({"resources.txt": "dialog 1 a.dlg\n",
                            "a.dlg": "rect 0 0 10 10\nstyle WS_POPUP | WS_SHINY\n"},
                           "a.dlg:2", "unknown style WS_SHINY")
        self.assertRefused({"resources.txt": "dialog 1 a.dlg\n", "a.dlg": "caption \"x\"\n"},
                           "no rect")
        self.assertRefused({"resources.txt": "accelerators 1 a.acc\n",
                            "a.acc": "\"a\" 10 SHIFT\n"}, "a.acc:1", "need VIRTKEY")
        self.assertRefused({"resources.txt": "accelerators 1 a.acc\n",
                            "a.acc": "\"ab\" 10\n"}, "not one character")

    def test_strings_and_versions_are_checked(self):
        self.assertRefused({"resources.txt": 'string 1 "a"\nstring 1 "b"\n'}, "twice")
        self.assertRefused({"resources.txt": 'version FileVersion "1.2.3.4.5"\n'}, "a.b.c.d")
        self.assertRefused({"resources.txt": 'version FileType "driver"\n'}, "dll or app")


class Layouts(unittest.TestCase):
    def folder(self, files):
        folder = Folder(files)
        self.addCleanup(folder.directory.cleanup)
        return folder

    def test_a_bitmap_file_with_a_gap_before_its_bits_is_packed_tight(self):
        folder = self.folder({"resources.txt": "bitmap 1 gap.bmp\n",
                         "gap.bmp": bmp_file(3, 2, bits=8, gap=6, colours=2)})
        [(_, _, dib)] = folder.resources()
        self.assertEqual(len(dib), 40 + 2 * 4 + 2 * 4)
        self.assertEqual(dib[48:56], bytes(range(8)), "the bits follow the colour table")

    def test_a_long_header_is_cut_to_forty_bytes(self):
        folder = self.folder({"resources.txt": "bitmap 1 v5.bmp\n", "v5.bmp": bmp_file(2, 2,
                                                                                 header_size=124)})
        [(_, _, dib)] = folder.resources()
        self.assertEqual(struct.unpack_from("<I", dib)[0], 40)
        self.assertEqual(len(dib), 40 + 8 * 2)

    def test_icons_and_cursors_become_images_and_a_group(self):
        folder = self.folder({"resources.txt": "icon 5 placeholder 16\ncursor Hand placeholder 8 2 3\n"})
        kinds = [(kind, name) for kind, name, _ in folder.resources()]
        self.assertEqual(kinds, [(resources.RT_ICON, 1), (resources.RT_GROUP_ICON, 5),
                                 (resources.RT_CURSOR, 1), (resources.RT_GROUP_CURSOR, "Hand")])
        cursor = folder.resources()[2][2]
        self.assertEqual(struct.unpack_from("<HH", cursor), (2, 3), "the hotspot leads")

    def test_version_values_take_the_project_version(self):
        folder = self.folder({"resources.txt": 'version ProductVersion "@PROJECT_VERSION@"\n'})
        [(kind, _, block)] = folder.resources()
        self.assertEqual(kind, resources.RT_VERSION)
        self.assertEqual(struct.unpack_from("<H", block)[0], len(block))
        self.assertIn("3.4.5".encode("utf-16-le"), block)
        fixed = struct.unpack_from("<13I", block, 40)
        self.assertEqual(fixed[0], 0xFEEF04BD)
        self.assertEqual(fixed[4:6], (3 << 16 | 4, 5 << 16), "product version 3.4.5")

    def test_inputs_lists_files_but_not_placeholders(self):
        folder = self.folder({"resources.txt": "bitmap 1 placeholder 2 2\ndialog 2 a.dlg\n"
                                          "# bitmap 3 old.bmp\n"})
        listed = subprocess.run([sys.executable, COMPILER, "--inputs",
                                 os.path.join(folder.directory.name, "resources.txt")],
                                capture_output=True, text=True, check=True).stdout
        self.assertEqual(listed, os.path.join(folder.directory.name, "a.dlg"))


if __name__ == "__main__":
    unittest.main()
