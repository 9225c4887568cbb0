#!/usr/bin/env python3
"""Two installers at once, as users meet them when they start a download twice: both start,
each with its own temporary copy, which the other's start-up leaves alone. While the saver
installer's installation runs (held inside it by a "Display Properties" window that stops
answering), the movie installer's Install and Un-Install change nothing and say so in one
dialog each; asked whether the session may end, the saver installer says no and the idle one
yes. The saver installer, closed during its installation, finishes it, asks nothing and ends,
removing its copy without a busy message; then the movie installer installs.
All of it runs while another program keeps the event Global\\PanoquillInstallerAction, as any
user's program could: a name of that kind must not decide who may install."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, prefix_dir, read_file,  # noqa: E402
                     registry_key_exists, remove_saver_installation, run_wine, sample_movie, sample_saver, screenshot,
                     temp_copies, wait_for, windows_dir)
from e2e_lib import (ACTION_LOCK_FILE, ACTION_MS, MOVIE_CAPTION, MOVIE_PROMPT_TITLE, SAVER_CAPTION,  # noqa: E402
                     UNINSTALL_KEY)
import window_ids as ids  # noqa: E402

ANOTHER_ACTION = ("Setup Error: Another installation or un-installation is running on this computer.\r\n\r\n"
                  "Please wait until it has finished and try again.")


def remove_installed(state):
    remove_saver_installation()
    run_wine(state, ["reg", "delete", UNINSTALL_KEY, "/f"], 60, "reg delete")


def refused(state, driver, checks, button, what, shot=None):
    """Presses the movie installer's button while the other action runs: one dialog, and the
    window as it was."""
    _, before = driver.texts(MOVIE_CAPTION)
    driver.click(MOVIE_CAPTION, button)
    checks.equal(driver.dialog_text("Error", 30000), ANOTHER_ACTION, what + ": the dialog")
    if shot:
        window, _ = driver.texts("Error")
        screenshot(state, window, shot)
    driver.answer("Error", "&Abort")
    _, after = driver.texts(MOVIE_CAPTION)
    for control_id in (ids.STATUS_LABEL, ids.LAB_STATUS, ids.PROGRESS_BAR):
        checks.equal(control_with_id(after, control_id), control_with_id(before, control_id),
                     "%s: control %d unchanged" % (what, control_id))


def one_action_at_a_time(state, driver, checks, first, movie_folder):
    with driver.background(["make-window", "Display Properties", "", str(ACTION_MS), "hang"]) as stand_in:
        stand_in.wait_output("ready")
        driver.click(SAVER_CAPTION, "Install Screen Saver")
        stand_in.wait_output("clicked 2")  # the saver installation now waits inside its action
        checks.true(not driver.session_may_end(SAVER_CAPTION), "a log-off waits for the running installation")
        checks.true(driver.session_may_end(MOVIE_CAPTION), "the idle installer lets the session end")
        refused(state, driver, checks, "Install Movie", "Install during the other installation",
                "dialog-another-action")
        refused(state, driver, checks, "Un-Install", "Un-Install during the other installation")
        window, _ = driver.texts(MOVIE_CAPTION)
        screenshot(state, window, "window-another-action-refused")
        checks.true(not os.path.exists(os.path.join(movie_folder, "Show.exe")), "the refused install wrote nothing")
        driver.close(SAVER_CAPTION)  # handled at the installation's next message pause
    # The stand-in has ended: the saver installation goes on, to its end.
    first.wait_exit(ACTION_MS / 1000)
    saver = windows_dir("Sunset.scr")
    checks.true(os.path.exists(saver) and read_file(saver) == read_file(os.environ["PQ_SUNSET_SAVER_FILE"]),
                "the installation closed half way is complete")
    checks.true(registry_key_exists(state, UNINSTALL_KEY), "the installation closed half way registered the saver")
    checks.equal(temp_copies(), ["KWRXtemp2.dat"], "the closed installer removed its own copy, and only it")

    driver.click(MOVIE_CAPTION, "Install Movie")
    driver.answer(MOVIE_PROMPT_TITLE, "&No", ACTION_MS)
    checks.true(os.path.exists(os.path.join(movie_folder, "Show.exe")), "the movie installs once the other is done")


def test(state, driver, checks):
    remove_installed(state)
    saver = sample_saver()
    movie = sample_movie()
    movie_folder = os.path.join(prefix_dir(), "drive_c", "pqtest2")

    # The saver installer first, so that its copy is KWRXtemp1.dat.
    with driver.background(["hold-event", "Global\\PanoquillInstallerAction", "600000"]) as squatter, \
            Installer(state, saver, "SunsetSetup.exe") as first:
        squatter.wait_output("held")
        driver.wait_window(SAVER_CAPTION, 30000)
        with Installer(state, movie, "ShowSetup.exe", folder="pqtest2") as second:
            driver.wait_window(MOVIE_CAPTION, 30000)
            checks.equal(temp_copies(), ["KWRXtemp1.dat", "KWRXtemp2.dat"], "each running installer keeps its copy")
            one_action_at_a_time(state, driver, checks, first, movie_folder)
            second.done(driver, MOVIE_CAPTION)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copies to be removed")
    checks.true(not os.path.exists(windows_dir(ACTION_LOCK_FILE)),
                "the action lock's file goes with its last holder")
    remove_installed(state)


if __name__ == "__main__":
    sys.exit(main(test))
