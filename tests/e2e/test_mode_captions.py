#!/usr/bin/env python3
"""Entry 2's name picks the mode: "Sunset.SCR" (the sample saver) a screen saver, "Show.exe"
(the sample movie) a movie, each with its window caption, install button and a ready window;
Done removes the temporary copy."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, remove_temp_copies, sample_movie, sample_saver,  # noqa: E402
                     screenshot, temp_copies)
from e2e_lib import MOVIE_CAPTION, SAVER_CAPTION  # noqa: E402
import window_ids as ids  # noqa: E402

CASES = [
    ("Sunset.SCR", SAVER_CAPTION, "Install Screen Saver", "window-screen-saver"),
    ("Show.exe", MOVIE_CAPTION, "Install Movie", "window-movie"),
]


def check_mode(state, driver, checks, entry_name, caption, button, artifact):
    remove_temp_copies()
    with Installer(state, sample_movie() if button == "Install Movie" else sample_saver(entry_name)) as installer:
        driver.wait_window(caption, 30000)
        window, controls = driver.texts(caption)
        checks.equal(control_with_id(controls, ids.BUT_INSTALL)["text"], button, entry_name + ": install button")
        checks.equal(control_with_id(controls, ids.BUT_INSTALL)["enabled"], 1, entry_name + ": install enabled")
        checks.equal(control_with_id(controls, ids.REMOVE)["enabled"], 1, entry_name + ": Un-Install enabled")
        checks.equal(control_with_id(controls, ids.STATUS_LABEL)["visible"], 0, entry_name + ": status line hidden")
        checks.equal(control_with_id(controls, ids.LAB_STATUS)["visible"], 0, entry_name + ": detail label hidden")
        progress = control_with_id(controls, ids.PROGRESS_BAR)["progress"]
        checks.equal((progress["min"], progress["max"], progress["position"]), (0, 5, 0),
                     entry_name + ": progress range")
        if button == "Install Movie":
            checks.equal(control_with_id(controls, ids.LAB_STATUS)["text"],
                         "Movie installed as: \r\n\tC:\\pqtest\\" + entry_name, entry_name + ": detail text")
        checks.equal(len(temp_copies()), 1, entry_name + ": one temporary copy while running")
        screenshot(state, window, artifact)

        installer.done(driver, caption)
    checks.equal(temp_copies(), [], entry_name + ": temporary copies left after Done")


def test(state, driver, checks):
    for case in CASES:
        check_mode(state, driver, checks, *case)


if __name__ == "__main__":
    sys.exit(main(test))
