#!/usr/bin/env python3
"""Yes on the completion prompt: the installer starts the Display control panel and ends on
its own, leaving no temporary copy."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, build_installer, main, remove_temp_copies, sample_entries,  # noqa: E402
                     temp_copies, wait_for)
from e2e_lib import ACTION_MS, SAVER_CAPTION as CAPTION, SAVER_PROMPT_TITLE as PROMPT_TITLE  # noqa: E402


def test(state, driver, checks):
    remove_temp_copies()
    entries = sample_entries("Sunset.scr", os.environ["PQ_SUNSET_SAVER_FILE"], "Sunset.ssd",
                             os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.ssd"))
    with Installer(state, build_installer(state, entries), "SunsetSetup.exe") as installer:
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Install Screen Saver")
        driver.wait_window(PROMPT_TITLE, ACTION_MS)
        driver.click(PROMPT_TITLE, "&Yes")
        installer.wait_exit(60)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    # The saver stays installed: Un-Install it for the tests that follow.
    with Installer(state, build_installer(state, entries), "SunsetSetup.exe") as installer:
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Un-Install")
        driver.wait_text(CAPTION, "Un-Installation Complete.", ACTION_MS)
        driver.click(CAPTION, "Done")
        installer.wait_exit(20)
    remove_temp_copies()


if __name__ == "__main__":
    sys.exit(main(test))
