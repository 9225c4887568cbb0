#!/usr/bin/env python3
"""Yes on the completion prompt: the installer starts the Display control panel and ends on
its own, leaving no temporary copy. The panel's program is the System directory's
rundll32.exe: one that a hostile page dropped beside the installer, which Windows would find
first for a bare name, never runs. Wine has no Display control panel, so a stand-in desk.cpl
in the System directory says when that rundll32.exe has loaded it."""

import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, main, read_file, remove_temp_copies, sample_saver,  # noqa: E402
                     temp_copies, wait_for, windows_dir)
from e2e_lib import ACTION_MS, SAVER_CAPTION as CAPTION, SAVER_PROMPT_TITLE as PROMPT_TITLE  # noqa: E402


def test(state, driver, checks):
    remove_temp_copies()
    installer_bytes = sample_saver()
    panel = windows_dir("system32", "desk.cpl")
    shutil.copyfile(os.environ["PQ_PLANTED_MARKER_FILE"], panel)
    planted = {"rundll32.exe": read_file(os.environ["PQ_PLANTED_PROGRAM_FILE"])}
    try:
        with Installer(state, installer_bytes, "SunsetSetup.exe", planted) as installer:
            driver.wait_window(CAPTION, 30000)
            driver.click(CAPTION, "Install Screen Saver")
            driver.wait_window(PROMPT_TITLE, ACTION_MS)
            driver.click(PROMPT_TITLE, "&Yes")
            installer.wait_exit(60)
            markers = [panel + ".loaded", os.path.join(installer.folder, "rundll32.exe.loaded")]
            wait_for(lambda: any(map(os.path.exists, markers)), 30, "a rundll32.exe to start the control panel")
            checks.equal([os.path.exists(marker) for marker in markers], [True, False],
                         "the System directory's rundll32.exe opened the panel, the planted one never ran")
    finally:
        for path in (panel, panel + ".loaded"):
            if os.path.exists(path):
                os.remove(path)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    # The saver stays installed: Un-Install it for the tests that follow.
    with Installer(state, installer_bytes, "SunsetSetup.exe") as installer:
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Un-Install")
        driver.wait_text(CAPTION, "Un-Installation Complete.", ACTION_MS)
        installer.done(driver, CAPTION)
    remove_temp_copies()


if __name__ == "__main__":
    sys.exit(main(test))
