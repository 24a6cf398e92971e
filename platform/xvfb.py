"""An X server of a test's own: Xvfb on a free display number, for the live display's tests.

Outside CI a missing program skips the test (exit status 77, which CTest reports as skipped);
with CI=true it fails it, so a machine without the packages cannot pass unnoticed.
"""
import os
import shutil
import subprocess
import sys

SKIP = 77
SCREEN = "1024x768x24"


def require(*programs):
    """Skips (or, in CI, fails) the test when a program is not installed."""
    missing = [p for p in programs if shutil.which(p) is None]
    if not missing:
        return
    message = "%s not installed (tools/setup installs them)" % ", ".join(missing)
    if os.environ.get("CI") == "true":
        print("FAILED: " + message + "; CI must run the live display's tests", file=sys.stderr)
        sys.exit(1)
    print("SKIPPED: " + message)
    sys.exit(SKIP)


class Xvfb:
    """Starts Xvfb; `display` is its name (":N"). With shared_memory=False the server offers no
    MIT-SHM, as a remote one would not."""

    def __init__(self, shared_memory=True, extra=()):
        read_end, write_end = os.pipe()
        command = ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                   "-nolisten", "tcp", "-noreset"]
        if not shared_memory:
            command += ["-extension", "MIT-SHM"]
        command += list(extra)
        self.process = subprocess.Popen(command, pass_fds=(write_end,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            self.process.kill()
            raise RuntimeError("Xvfb did not start (exit status %s)" % self.process.wait())
        self.display = ":" + number.decode().strip()

    def environment(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()
