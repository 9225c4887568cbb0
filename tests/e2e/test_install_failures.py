#!/usr/bin/env python3
"""Failed screen-saver installations roll back: a QuickTime level the machine lacks, and a
saver file that another program holds open, whose earlier installation (its data file and
its uninstall entry) the failed one leaves alone."""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, TestFailed, control_with_id, main, read_file,  # noqa: E402
                     registry_key_exists, registry_value, remove_saver_installation, run_pqpack, run_wine,
                     sample_saver, screenshot, temp_copies, wait_for, windows_dir, windows_path_of)
from e2e_lib import SAVER_CAPTION as CAPTION, UNINSTALL_KEY, ACTION_MS  # noqa: E402
import window_ids as ids  # noqa: E402

BUSY_MESSAGE = ("Setup Error: Screen Saver file is busy.\r\n\r\n"
                "Please close the screen saver control panel and try again.")


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def final_texts(driver):
    _, controls = driver.texts(CAPTION)
    detail = control_with_id(controls, ids.LAB_STATUS)
    return control_with_id(controls, ids.STATUS_LABEL)["text"], detail["visible"], detail["text"], controls


def check_quicktime_missing(state, driver, checks):
    remove_saver_installation()
    for name in ("QuickTime.qts", "QTim32.dll"):
        remove(windows_dir("system32", name))
    with open(windows_dir("system32", "QTim32.dll"), "wb") as out:
        out.write(b"stands in for QuickTime level 2")
    try:
        with tempfile.TemporaryDirectory() as folder:
            # The sample's data file, asking for QuickTime 3.
            data = os.path.join(folder, "Sunset.ssd")
            run_pqpack("ssd", "--quicktime-level", "3", os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.ssd"), data)
            installer_bytes = sample_saver(data_file=data)
        with Installer(state, installer_bytes, "SunsetSetup.exe") as installer:
            driver.wait_window(CAPTION, 30000)
            driver.click(CAPTION, "Install Screen Saver")
            driver.wait_text(CAPTION, "Installation Failed.", ACTION_MS)
            status, shown, detail, _ = final_texts(driver)
            checks.true(shown == 1 and detail.startswith("Requires QuickTime. Please download the latest version of "
                                                          "QuickTime, available free from ")
                        and detail.endswith(", and try again."), "the QuickTime detail text (%r)" % detail)
            checks.true(not os.path.exists(windows_dir("Sunset.scr")), "QuickTime: the saver is rolled back")
            checks.true(not os.path.exists(windows_dir("Sunset.ssd")), "QuickTime: the data file is rolled back")
            checks.true(not registry_key_exists(state, UNINSTALL_KEY), "QuickTime: no uninstall key")
            for name in ("impborl.dll", "pqlib1.dll", "pqlib2.dll"):
                checks.true(os.path.exists(windows_dir(name)), "QuickTime: %s is kept" % name)
            window, _ = driver.texts(CAPTION)
            screenshot(state, window, "window-quicktime-required")
            installer.done(driver, CAPTION)
    finally:
        remove(windows_dir("system32", "QTim32.dll"))


def check_saver_busy(state, driver, checks):
    remove_saver_installation()
    with open(windows_dir("Sunset.scr"), "wb") as out:
        out.write(b"an older saver, still running")
    with open(windows_dir("Sunset.ssd"), "wb") as out:
        out.write(b"the older saver's data")
    if run_wine(state, ["reg", "add", UNINSTALL_KEY, "/v", "DisplayName", "/d", "Sunset Screen Saver", "/f"], 60,
                "reg add").returncode != 0:
        raise TestFailed("could not register the older saver")
    installer_bytes = sample_saver()
    with driver.background(["hold-file", windows_path_of(windows_dir("Sunset.scr")), "120000"]) as holder, \
            Installer(state, installer_bytes, "SunsetSetup.exe") as installer:
        holder.wait_output("held")
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Install Screen Saver")
        checks.equal(driver.dialog_text("Error", ACTION_MS), BUSY_MESSAGE, "the busy saver message")
        window, _ = driver.texts(CAPTION)
        checks.equal(window["enabled"], 0, "the window takes no input while the error dialog is open")
        driver.answer("Error", "&Abort")
        driver.wait_text(CAPTION, "Installation Failed.", ACTION_MS)
        _, shown, detail, _ = final_texts(driver)
        checks.equal((shown, detail), (1, "File may be corrupted."), "the busy saver's detail text")
        checks.equal(read_file(windows_dir("Sunset.scr")), b"an older saver, still running",
                     "the held saver is left as it was")
        checks.equal(read_file(windows_dir("Sunset.ssd")), b"the older saver's data",
                     "busy saver: the older saver keeps its data file")
        checks.equal(registry_value(state, UNINSTALL_KEY, "DisplayName"), "Sunset Screen Saver",
                     "busy saver: the older saver keeps its uninstall entry")
        installer.done(driver, CAPTION)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    run_wine(state, ["reg", "delete", UNINSTALL_KEY, "/f"], 60, "reg delete")
    remove_saver_installation()


if __name__ == "__main__":
    sys.exit(main(check_quicktime_missing, check_saver_busy))
