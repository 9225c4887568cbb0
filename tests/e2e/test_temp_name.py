#!/usr/bin/env python3
"""An earlier run's KWRXtemp1.dat in the Windows directory: the copy becomes KWRXtemp2.dat,
holds the installer byte for byte, and only it is removed at close."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, entry_names, main, padded_installer, remove_temp_copies, temp_copies,  # noqa: E402
                     windows_dir, windows_path_of)

CAPTION = "Screen Saver Installation: Sunset"
LEFT_OVER = b"left by an earlier run"


def check_next_free_name(state, driver, checks):
    remove_temp_copies()
    left_over = os.path.join(windows_dir(), "KWRXtemp1.dat")
    with open(left_over, "wb") as out:
        out.write(LEFT_OVER)
    contents = padded_installer(entry_names("Sunset.SCR", "Sunset.ssd"))
    try:
        with Installer(state, contents) as installer:
            driver.wait_window(CAPTION, 30000)
            checks.equal(temp_copies(), ["KWRXtemp1.dat", "KWRXtemp2.dat"], "temporary copies while running")
            with open(os.path.join(windows_dir(), "KWRXtemp2.dat"), "rb") as copy:
                checks.true(copy.read() == contents, "KWRXtemp2.dat is a byte-for-byte copy of the installer")
            driver.click(CAPTION, "Done")
            installer.wait_exit(20)
        checks.equal(temp_copies(), ["KWRXtemp1.dat"], "temporary copies after Done")
        with open(left_over, "rb") as kept:
            checks.equal(kept.read(), LEFT_OVER, "the earlier run's copy is untouched")
    finally:
        remove_temp_copies()


def check_locked_copy_at_close(state, driver, checks):
    """A copy that cannot be deleted at close: the busy message once, and the program ends."""
    remove_temp_copies()
    copy = os.path.join(windows_dir(), "KWRXtemp1.dat")
    try:
        with Installer(state, padded_installer(entry_names("Sunset.SCR", "Sunset.ssd"))) as installer:
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


def test(state, driver, checks):
    check_next_free_name(state, driver, checks)
    check_locked_copy_at_close(state, driver, checks)


if __name__ == "__main__":
    sys.exit(main(test))
