#!/usr/bin/env python3
"""Copies in the Windows directory from earlier runs: one that nobody holds, made before the
system last started (left by a run that was killed), is removed at start-up and its name taken
again; one that another running installer holds stays, and its number is skipped. The new copy holds the installer byte for
byte, and only it is removed at close. A copy that someone else holds at close is reported
once and the program still ends."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, main, remove_temp_copies, sample_saver, temp_copies,  # noqa: E402
                     windows_dir, windows_path_of)
from e2e_lib import SAVER_CAPTION as CAPTION  # noqa: E402

LEFT_OVER = b"left by an earlier run"
# 2001-02-03, long before this system started (Wine reports a file's last-write time as its
# creation time too).
BEFORE_THE_LAST_RESTART = 981173106


def check_next_free_name(state, driver, checks):
    remove_temp_copies()
    for name in ("KWRXtemp1.dat", "KWRXtemp2.dat", "KWRXtemp5.dat"):
        with open(windows_dir(name), "wb") as out:
            out.write(LEFT_OVER)
        os.utime(windows_dir(name), (BEFORE_THE_LAST_RESTART, BEFORE_THE_LAST_RESTART))
    held = windows_dir("KWRXtemp2.dat")
    contents = sample_saver("Sunset.SCR")
    try:
        with driver.background(["hold-file", windows_path_of(held), "60000"]) as holder:
            holder.wait_output("held")  # before the installer starts and looks for left-overs
            with Installer(state, contents) as installer:
                driver.wait_window(CAPTION, 30000)
                checks.equal(temp_copies(), ["KWRXtemp1.dat", "KWRXtemp2.dat"], "temporary copies while running")
                with open(windows_dir("KWRXtemp1.dat"), "rb") as copy:
                    checks.true(copy.read() == contents, "KWRXtemp1.dat is a byte-for-byte copy of the installer")
                installer.done(driver, CAPTION)
        checks.equal(temp_copies(), ["KWRXtemp2.dat"], "temporary copies after Done")
        with open(held, "rb") as kept:
            checks.equal(kept.read(), LEFT_OVER, "the copy another installer holds is untouched")
    finally:
        remove_temp_copies()


def check_locked_copy_at_close(state, driver, checks):
    """A copy that cannot be deleted at close: the busy message once, and the program ends."""
    remove_temp_copies()
    copy = windows_dir("KWRXtemp1.dat")
    try:
        with Installer(state, sample_saver("Sunset.SCR")) as installer:
            driver.wait_window(CAPTION, 30000)
            with driver.background(["hold-file", windows_path_of(copy), "60000"]) as holder:
                holder.wait_output("held")
                driver.click(CAPTION, "Done")
                checks.equal(driver.dialog_text("Error", 30000),
                             "Installation Error: \r\n\r\nFile C:\\windows\\KWRXtemp1.dat is busy and cannot be "
                             "replaced. Please close any other application that may be using this file and try again.",
                             "the busy message for a locked copy at close")
                driver.answer("Error", "&Abort")
                installer.wait_exit(20)
    finally:
        remove_temp_copies()


if __name__ == "__main__":
    sys.exit(main(check_next_free_name, check_locked_copy_at_close))
