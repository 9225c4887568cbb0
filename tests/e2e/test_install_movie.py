#!/usr/bin/env python3
"""A movie installer in its own folder: the movie and its data file land next to it, the
libraries in the Windows directory; the prompt names the folder; Un-Install removes only
the movie."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, read_file,  # noqa: E402
                     remove_temp_copies, sample_movie, screenshot, temp_copies, wait_for, windows_dir)
from e2e_lib import ACTION_MS, MOVIE_CAPTION as CAPTION, MOVIE_PROMPT_TITLE as PROMPT_TITLE  # noqa: E402
import window_ids as ids  # noqa: E402

LIBRARIES = ["impborl.dll", "pqlib1.dll", "pqlib2.dll"]


def test(state, driver, checks):
    remove_temp_copies()
    movie = os.environ["PQ_SLIDE_SHOW_FILE"]
    for name in LIBRARIES:
        if os.path.exists(windows_dir(name)):
            os.remove(windows_dir(name))
    installer_bytes = sample_movie()

    with Installer(state, installer_bytes, "ShowSetup.exe") as installer:
        folder = installer.folder
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Install Movie")
        checks.equal(driver.dialog_text(PROMPT_TITLE, ACTION_MS),
                     "Movie created as C:\\pqtest\\Show.exe\r\n\r\nWould you like to open a window to this folder?",
                     "the movie's completion prompt")
        checks.true(read_file(os.path.join(folder, "Show.exe")) == read_file(movie) if
                    os.path.exists(os.path.join(folder, "Show.exe")) else False,
                    "Show.exe is expanded next to the installer")
        checks.true(os.path.exists(os.path.join(folder, "Show.ssd")), "Show.ssd is next to the installer")
        checks.true(not os.path.exists(windows_dir("Show.exe")), "no movie in the Windows directory")
        for name in LIBRARIES:
            checks.true(os.path.exists(windows_dir(name)), name + " is in the Windows directory")

        driver.answer(PROMPT_TITLE, "&No")
        window, controls = driver.texts(CAPTION)
        checks.equal(control_with_id(controls, ids.STATUS_LABEL)["text"], "Installation Successful.", "final status")
        detail = control_with_id(controls, ids.LAB_STATUS)
        checks.equal((detail["visible"], detail["text"]), (1, "Movie installed as: \r\n\tC:\\pqtest\\Show.exe"),
                     "the movie's detail label")
        screenshot(state, window, "window-movie-installed")

        driver.click(CAPTION, "Un-Install")
        driver.wait_text(CAPTION, "Un-Installation Complete.", ACTION_MS)
        checks.true(not os.path.exists(os.path.join(folder, "Show.exe")), "Un-Install removes Show.exe")
        checks.true(os.path.exists(os.path.join(folder, "Show.ssd")), "Un-Install keeps a movie's Show.ssd")
        checks.true(os.path.exists(installer.path), "Un-Install keeps the installer itself")
        for name in LIBRARIES:
            checks.true(os.path.exists(windows_dir(name)), name + " is kept by Un-Install")

        installer.done(driver, CAPTION)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")


if __name__ == "__main__":
    sys.exit(main(test))
