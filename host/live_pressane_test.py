#!/usr/bin/env python3
"""The Pressane editor on an X server of its own (Xvfb), through `orq editor --live`: a click on
its Boost switch and a drag on its desired-gain slider made with xdotool reach the plug-in exactly
as the same gestures made headless do, and the window shows the headless picture pixel for pixel.

Usage: live_pressane_test.py ORQ PRESSANE.so
Skipped (exit status 77) where Xvfb, xdotool or xwd are missing, except with CI=true.
"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_editor_test as live  # noqa: E402
import xvfb  # noqa: E402

# Client coordinates: inside the Boost switch (43 x 15 at 202, 55), and a drag on the desired
# gain slider's track (18 x 113 at 99, 64) from its lower part up to its upper third.
BOOST = (223, 62)
BOOST_LAMP = (208, 62)  # the switch's lamp, lit when on
DRAG_FROM = (108, 150)
DRAG_TO = (108, 96)
DRAG_STEPS = 8
STEP_PAUSE_SECONDS = 0.03

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)
    return condition


def headless_state(orq, plugin, folder, name, lines, server):
    """The state `orq editor` saves after a script of lines, run headless."""
    script = os.path.join(folder, name + ".txt")
    with open(script, "w") as out:
        out.write("".join(line + "\n" for line in lines))
    state = os.path.join(folder, name + ".orqstate")
    run = subprocess.run([orq, "editor", plugin, "--script", script, "--save-state", state,
                          "--png", os.path.join(folder, name + ".png")],
                         env=server.environment(), capture_output=True, text=True,
                         timeout=live.WAIT_SECONDS)
    if run.returncode != 0:
        raise RuntimeError("headless %s: %s" % (name, run.stderr))
    return open(state, "rb").read()


def wait_for_change(editor, shot, x, y, before):
    """The colour at (x, y) of the window once it differs from before (or before, at the limit)."""
    deadline = time.monotonic() + live.WAIT_SECONDS
    after = before
    while after == before and time.monotonic() < deadline:
        time.sleep(0.05)
        after = live.window_pixel(editor, shot, x, y)
    return after


def close_and_finish(editor):
    live.close_window(editor.server.display, editor.window)
    status = editor.finish()
    check(status == 0 and "live: the window was closed" in editor.lines,
          "closing_the_pressane_window_ends_orq: exit status %r, %r, stderr %r"
          % (status, editor.lines, editor.stderr))
    return open(editor.state, "rb").read() if os.path.exists(editor.state) else b""


def main():
    orq, plugin = sys.argv[1], sys.argv[2]
    xvfb.require("Xvfb", "xdotool", "xwd")
    folder = tempfile.mkdtemp(prefix="orq-live-pressane-")
    os.environ["ORQ_REGISTRY"] = os.path.join(folder, "registry")
    shot = os.path.join(folder, "shot.xwd")

    with xvfb.Xvfb() as server:
        untouched = headless_state(orq, plugin, folder, "untouched", [], server)

        # The live window shows exactly the headless picture of the same editor.
        editor = live.LiveEditor(orq, plugin, server, folder, "boost")
        subprocess.run(["xwd", "-id", str(editor.window), "-out", shot], check=True,
                       env=server.environment(), timeout=live.WAIT_SECONDS)
        width, height, shown = live.read_xwd(shot)
        live.write_png(os.path.join(folder, "shot.png"), width, height, shown)
        hw, hh, expected = live.read_png(os.path.join(folder, "untouched.png"))
        differing = [(x, y, "%06x" % shown[y][x], "%06x" % expected[y][x])
                     for y in range(min(height, hh)) for x in range(min(width, hw))
                     if shown[y][x] != expected[y][x]]
        check((width, height) == (hw, hh) and not differing,
              "pressane_screenshot_equals_headless_picture: %dx%d against %dx%d, %d pixels "
              "differ, first (x, y, shown, headless): %s (pictures in %s)"
              % (width, height, hw, hh, len(differing), differing[:5], folder))

        # A click on Boost turns it on in the plug-in, as the same click made headless does.
        x, y = editor.client[0] + BOOST[0], editor.client[1] + BOOST[1]
        lamp = (editor.client[0] + BOOST_LAMP[0], editor.client[1] + BOOST_LAMP[1])
        before = live.window_pixel(editor, shot, *lamp)
        editor.xdotool("mousemove", "--sync", "--window", editor.window, x, y)
        editor.xdotool("click", 1)
        after = wait_for_change(editor, shot, *lamp, before)
        check(after != before, "click_on_boost_redraws_the_switch: %06x before and after" % before)
        saved = close_and_finish(editor)
        holds, why = live.headless_expect(orq, plugin, editor.state, folder, "Boost", 1, server)
        check(holds, "click_on_boost_turns_boost_on: %s" % why)
        clicked = headless_state(orq, plugin, folder, "boost-headless",
                                 ["click %d %d" % BOOST], server)
        check(saved == clicked and saved != untouched,
              "live_boost_click_saves_the_headless_click_state: live %r, headless %r, "
              "untouched %r" % (saved, clicked, untouched))

        # A drag on the desired-gain slider leaves the value the headless drag leaves.
        editor = live.LiveEditor(orq, plugin, server, folder, "drag")
        x0, y0 = editor.client[0] + DRAG_FROM[0], editor.client[1] + DRAG_FROM[1]
        x1, y1 = editor.client[0] + DRAG_TO[0], editor.client[1] + DRAG_TO[1]
        before = live.window_pixel(editor, shot, x1, y1)
        editor.xdotool("mousemove", "--sync", "--window", editor.window, x0, y0)
        editor.xdotool("mousedown", 1)
        for step in range(1, DRAG_STEPS + 1):
            time.sleep(STEP_PAUSE_SECONDS)
            editor.xdotool("mousemove", "--sync", "--window", editor.window,
                           x0 + (x1 - x0) * step // DRAG_STEPS, y0 + (y1 - y0) * step // DRAG_STEPS)
        time.sleep(STEP_PAUSE_SECONDS)
        editor.xdotool("mouseup", 1)
        after = wait_for_change(editor, shot, x1, y1, before)
        check(after != before, "drag_moves_the_thumb_under_the_pointer: %06x before and after"
              % before)
        saved = close_and_finish(editor)
        dragged = headless_state(orq, plugin, folder, "drag-headless",
                                 ["drag %d %d %d %d" % (DRAG_FROM + DRAG_TO)], server)
        check(saved == dragged and saved != untouched,
              "live_drag_on_desired_gain_saves_the_headless_drag_state: live %r, headless %r, "
              "untouched %r" % (saved, dragged, untouched))

    if failures:
        print("%d failed (files in %s)" % (len(failures), folder))
        return 1
    print("live pressane editor: all cases passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
