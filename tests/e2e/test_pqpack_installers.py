#!/usr/bin/env python3
"""Installers built by pqpack from the samples open in their mode under Wine: SunsetSetup.exe
as a screen-saver installer, ShowSetup.exe as a movie installer, each with its captions."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import Installer, TestFailed, control_with_id, main, screenshot  # noqa: E402
import window_ids as ids  # noqa: E402

CASES = [
    ("SunsetSetup.exe", "Sunset.scr", "Sunset.ssd", "Screen Saver Installation: Sunset", "Install Screen Saver"),
    ("ShowSetup.exe", "Show.exe", "Show.ssd", "Movie Installation: Show", "Install Movie"),
]


def build(folder, name, main_file, data_file):
    pqpack = os.environ["PQ_PQPACK"]
    if not os.path.exists(pqpack):
        raise TestFailed("%s is missing: build the host preset before the win32 tests" % pqpack)
    samples = os.environ["PQ_SAMPLES_DIR"]
    out = os.path.join(folder, name)
    result = subprocess.run([pqpack, "build", "-o", out, "--stub", os.environ["PQ_SETUP_EXE"],
                             "--library", os.environ["PQ_LIBRARY_DLL"], os.path.join(samples, main_file),
                             os.path.join(samples, data_file)], capture_output=True, timeout=300)
    if result.returncode != 0:
        raise TestFailed("pqpack build %s failed: %s" % (name, result.stderr.decode("latin-1").strip()))
    with open(out, "rb") as source:
        return source.read()


def test(state, driver, checks):
    with tempfile.TemporaryDirectory() as folder:
        for name, main_file, data_file, caption, button in CASES:
            contents = build(folder, name, main_file, data_file)
            with Installer(state, contents, name=name) as installer:
                driver.wait_window(caption, 30000)
                window, controls = driver.texts(caption)
                checks.equal(control_with_id(controls, ids.BUT_INSTALL)["text"], button, name + ": install button")
                checks.equal(control_with_id(controls, ids.BUT_INSTALL)["enabled"], 1, name + ": install enabled")
                screenshot(state, window, "pqpack-" + os.path.splitext(name)[0])
                driver.click(caption, "Done")
                installer.wait_exit(20)


if __name__ == "__main__":
    sys.exit(main(test))
