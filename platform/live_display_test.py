#!/usr/bin/env python3
"""Runs live_display_test (the live display against a real X server) under Xvfb twice: with
MIT-SHM, and without it (pixels sent in XPutImage requests, as to a remote server).

Usage: live_display_test.py LIVE_DISPLAY_TEST_BINARY
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xvfb  # noqa: E402


def main():
    binary = sys.argv[1]
    xvfb.require("Xvfb")
    failed = 0
    for shared_memory in (True, False):
        with xvfb.Xvfb(shared_memory=shared_memory) as server:
            label = "with MIT-SHM" if shared_memory else "without MIT-SHM"
            print("== live_display_test on %s (%s)" % (server.display, label), flush=True)
            run = subprocess.run([binary], env=server.environment(), timeout=240)
            if run.returncode != 0:
                print("live_display_test failed %s (exit status %d)" % (label, run.returncode))
                failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
