#!/usr/bin/env python3
"""`orq editor --live` on an X server of its own (Xvfb), driven the way a user would: xdotool
moves the pointer and clicks, the window is closed through WM_DELETE_WINDOW as a window manager
closes it, xwd takes the screenshot. Each case names what it checks; every failure prints the
values seen.

Usage: live_editor_test.py ORQ PLUGIN.so
Skipped (exit status 77) where Xvfb, xdotool or xwd are missing, except with CI=true.
"""
import ctypes
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform"))
import xvfb  # noqa: E402

WAIT_SECONDS = 30
# The pass-through test editor's switch (client coordinates of its top left corner) and the
# title its frame carries: the plug-in's program name.
SWITCH = (16, 16)
SWITCH_INSIDE = 6
TITLE = "Default"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)
    return condition


# ---------------------------------------------------------------------------------------------
# Pictures: XWD (what xwd writes) and 8-bit RGB PNG (what orq writes), read with the standard
# library only, so the comparison needs no converter.

def read_xwd(path):
    """(width, height, rows of 0xRRGGBB) of a 24/32-bit TrueColor xwd file."""
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, version = fields[0], fields[1]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    colours = fields[19]
    if version != 7 or bits_per_pixel != 32:
        raise ValueError("xwd file version %d, %d bits a pixel" % (version, bits_per_pixel))
    start = header_size + colours * 12
    order = "<" if byte_order == 0 else ">"
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line: start + y * bytes_per_line + width * 4]
        words = struct.unpack(order + "%dI" % width, line)
        rows.append([(((w & red_mask) >> shift(red_mask)) << 16) |
                     (((w & green_mask) >> shift(green_mask)) << 8) |
                     ((w & blue_mask) >> shift(blue_mask)) for w in words])
    return width, height, rows


def shift(mask):
    return (mask & -mask).bit_length() - 1


def read_png(path):
    """(width, height, rows of 0xRRGGBB) of an 8-bit RGB, non-interlaced PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is no PNG")
    position, idat = 8, b""
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour != 2 or interlace != 0:
                raise ValueError(path + " is not 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    previous = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            up = previous[i]
            corner = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xff
            elif kind == 2:
                line[i] = (line[i] + up) & 0xff
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xff
            elif kind == 4:
                estimate = left + up - corner
                pa, pb, pc = abs(estimate - left), abs(estimate - up), abs(estimate - corner)
                nearest = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + nearest) & 0xff
        rows.append([(line[3 * x] << 16) | (line[3 * x + 1] << 8) | line[3 * x + 2]
                     for x in range(width)])
        previous = line
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + b"".join(struct.pack(">I", p)[1:] for p in row) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" +
                  chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------------------------------------
# Closing a window as a window manager does: a WM_PROTOCOLS client message with
# WM_DELETE_WINDOW (xdotool has no command for it).

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


def close_window(display_name, window):
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise RuntimeError("cannot open " + display_name)
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


# ---------------------------------------------------------------------------------------------

class LiveEditor:
    """orq editor --live running on `server`, up to its "live: window" line."""

    def __init__(self, orq, plugin, server, folder, name, extra=()):
        self.server = server
        self.png = os.path.join(folder, name + ".png")
        self.state = os.path.join(folder, name + ".orqstate")
        command = [orq, "editor", plugin, "--live", "--png", self.png,
                   "--save-state", self.state] + list(extra)
        self.process = subprocess.Popen(command, env=server.environment(), stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.frame = None
        self.window = None
        self.client = None
        while self.window is None:
            line = self.process.stdout.readline()
            if not line:
                break
            self.lines.append(line.rstrip("\n"))
            size = re.search(r"frame (\d+)x(\d+)", line)
            if size:
                self.frame = (int(size.group(1)), int(size.group(2)))
            shown = re.match(r"live: window (0x[0-9a-f]+) on \S+, client at (\d+),(\d+)", line)
            if shown:
                self.window = int(shown.group(1), 16)
                self.client = (int(shown.group(2)), int(shown.group(3)))
        if self.window is None:
            self.finish()
            raise RuntimeError("orq showed no live window: %s %s" % (self.lines, self.stderr))

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.server.environment(),
                              capture_output=True, text=True, timeout=WAIT_SECONDS).stdout.strip()

    def finish(self):
        """Waits for orq to end; its exit status (None: it hung and was killed)."""
        try:
            out, self.stderr = self.process.communicate(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, self.stderr = self.process.communicate()
            self.lines += out.splitlines()
            return None
        self.lines += out.splitlines()
        return self.process.returncode


def window_pixel(editor, shot, x, y):
    """The colour the server shows at (x, y) of the editor's window."""
    subprocess.run(["xwd", "-id", str(editor.window), "-out", shot], check=True,
                   env=editor.server.environment(), timeout=WAIT_SECONDS)
    return read_xwd(shot)[2][y][x]


def headless_expect(orq, plugin, state, folder, key, value, server):
    """Whether the plug-in loaded from `state` has `key` = `value` (orq's own expect)."""
    script = os.path.join(folder, "expect.txt")
    with open(script, "w") as out:
        out.write("expect %s %s\n" % (key, value))
    run = subprocess.run([orq, "editor", plugin, "--state", state, "--script", script, "--png",
                          os.path.join(folder, "expect.png")], env=server.environment(),
                         capture_output=True, text=True, timeout=WAIT_SECONDS)
    return run.returncode == 0, run.stderr.strip()


def main():
    orq, plugin = sys.argv[1], sys.argv[2]
    xvfb.require("Xvfb", "xdotool", "xwd")
    folder = tempfile.mkdtemp(prefix="orq-live-")
    os.environ["ORQ_REGISTRY"] = os.path.join(folder, "registry")

    with xvfb.Xvfb() as server:
        # The window appears with the editor's size and title, and shows exactly the pixels
        # of the headless picture of the same editor.
        editor = LiveEditor(orq, plugin, server, folder, "shown")
        geometry = editor.xdotool("getwindowgeometry", editor.window)
        size = re.search(r"Geometry: (\d+)x(\d+)", geometry)
        check(size and (int(size.group(1)), int(size.group(2))) == editor.frame,
              "window_has_the_editor_frame_size: X says %r, orq %r" % (geometry, editor.frame))
        name = editor.xdotool("getwindowname", editor.window)
        check(name == TITLE, "window_has_the_editor_title: %r" % name)
        shot = os.path.join(folder, "shot.xwd")
        subprocess.run(["xwd", "-id", str(editor.window), "-out", shot], check=True,
                       env=server.environment(), timeout=WAIT_SECONDS)
        width, height, shown = read_xwd(shot)
        write_png(os.path.join(folder, "shot.png"), width, height, shown)
        headless = os.path.join(folder, "headless.png")
        subprocess.run([orq, "editor", plugin, "--png", headless], check=True,
                       env=server.environment(), capture_output=True, timeout=WAIT_SECONDS)
        hw, hh, expected = read_png(headless)
        differing = [(x, y, "%06x" % shown[y][x], "%06x" % expected[y][x])
                     for y in range(min(height, hh)) for x in range(min(width, hw))
                     if shown[y][x] != expected[y][x]]
        check((width, height) == (hw, hh) and not differing,
              "screenshot_equals_headless_picture: %dx%d against %dx%d, %d pixels differ, "
              "first (x, y, shown, headless): %s (pictures in %s)"
              % (width, height, hw, hh, len(differing), differing[:5], folder))

        # A click on the switch (xdotool: the server's own pointer and button) turns the
        # pass-through's gain off; closing the window as a window manager does ends orq,
        # which saves the state.
        x = editor.client[0] + SWITCH[0] + SWITCH_INSIDE
        y = editor.client[1] + SWITCH[1] + SWITCH_INSIDE
        before = window_pixel(editor, shot, x, y)
        editor.xdotool("mousemove", "--window", editor.window, x, y)
        editor.xdotool("click", 1)
        # The switch shows the click before the window is closed (a close request would
        # otherwise overtake the click in the editor's queue).
        deadline = time.monotonic() + WAIT_SECONDS
        after = before
        while after == before and time.monotonic() < deadline:
            time.sleep(0.05)
            after = window_pixel(editor, shot, x, y)
        check(after != before, "click_on_the_switch_redraws_it: %06x before and after" % before)
        close_window(server.display, editor.window)
        status = editor.finish()
        check(status == 0, "closing_the_window_ends_orq: exit status %r, stderr %r"
              % (status, editor.stderr))
        check("live: the window was closed" in editor.lines,
              "closing_the_window_is_reported: %r" % editor.lines)
        holds, why = headless_expect(orq, plugin, editor.state, folder, "Gain", 0, server)
        check(holds, "click_on_the_switch_turns_gain_off: %s" % why)
        check(os.path.exists(editor.png), "closed_editor_still_writes_its_picture")

        # With a script the editor ends with it; the script's clicks and expectations work on
        # the live window as on the headless one.
        script = os.path.join(folder, "toggle.txt")
        with open(script, "w") as out:
            out.write("expect Gain 1\nclick %d %d\nwait 100\nexpect Gain 0\n"
                      % (SWITCH[0] + SWITCH_INSIDE, SWITCH[1] + SWITCH_INSIDE))
        scripted = LiveEditor(orq, plugin, server, folder, "scripted", ["--script", script])
        status = scripted.finish()
        check(status == 0 and "live: the script ended" in scripted.lines,
              "script_ends_a_live_editor: exit status %r, %r, stderr %r"
              % (status, scripted.lines, scripted.stderr))

        # The X server going away ends orq cleanly: no hang, no signal, the state saved.
        doomed = LiveEditor(orq, plugin, server, folder, "doomed")
        server.kill()
        status = doomed.finish()
        check(status == 0, "lost_server_ends_orq_cleanly: exit status %r (None: hung), "
              "stderr %r" % (status, doomed.stderr))
        check("live: the X display went away" in doomed.lines,
              "lost_server_is_reported: %r" % doomed.lines)
        check(os.path.exists(doomed.state), "lost_server_still_saves_the_state")

    # No server: one clear error, nothing written.
    env = dict(os.environ)
    env["DISPLAY"] = ":4711"
    missing = os.path.join(folder, "missing.png")
    run = subprocess.run([orq, "editor", plugin, "--live", "--png", missing], env=env,
                         capture_output=True, text=True, timeout=WAIT_SECONDS)
    check(run.returncode != 0 and "no X server answers at ':4711'" in run.stderr and
          not os.path.exists(missing),
          "missing_server_is_one_clear_error: exit status %d, stderr %r"
          % (run.returncode, run.stderr))

    if failures:
        print("%d failed (files in %s)" % (len(failures), folder))
        return 1
    print("live editor: all cases passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
