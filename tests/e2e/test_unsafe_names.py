#!/usr/bin/env python3
"""Installers whose entry names would reach outside their folders are refused at start-up:
entry 2 named "..\\Evil.scr" and entry 4 named "C:\\x.dat" each give the -34 message for the
installer, leave Install and Un-Install disabled, and write nothing anywhere."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, prefix_dir, remove_temp_copies, renamed,  # noqa: E402
                     sample_saver, temp_copies)
import window_ids as ids  # noqa: E402


def drive_c_files():
    """Every file under C:\\ except Wine's own registry hives, which Wine rewrites at will."""
    root = os.path.join(prefix_dir(), "drive_c")
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root).lower())
    return found


def check_refused(state, driver, checks, contents, what):
    remove_temp_copies()
    with Installer(state, contents) as installer:
        before = drive_c_files()
        message = driver.dialog_text("Error", 30000)
        checks.equal(message, "Installation Error: \r\n\r\nFile " + installer.windows_path +
                     " may be corrupted. Please get a new copy and try installation again.", what + ": the message")
        driver.answer("Error", "&Abort")
        _, controls = driver.texts("Panoquill Installer")
        checks.equal(control_with_id(controls, ids.BUT_INSTALL)["enabled"], 0, what + ": Install disabled")
        checks.equal(control_with_id(controls, ids.REMOVE)["enabled"], 0, what + ": Un-Install disabled")
        installer.done(driver, "Panoquill Installer")
        after = drive_c_files()
    # The temporary copy comes and goes; nothing else may appear.
    added = sorted(name for name in after - before if not name.startswith("windows" + os.sep + "kwrxtemp"))
    checks.equal(added, [], what + ": files written")
    checks.equal(temp_copies(), [], what + ": temporary copies left")
    for path in ("evil.scr", "x.dll", "x.dat", os.path.join("windows", "evil.scr")):
        checks.true(path not in after, what + ": %s exists" % path)


def test(state, driver, checks):
    check_refused(state, driver, checks, renamed(sample_saver("Evil.scr"), "Evil.scr", "..\\Evil.scr"),
                  "entry 2 ..\\Evil.scr")
    check_refused(state, driver, checks, renamed(sample_saver(), "pqlib1.dat", "C:\\x.dat"), "entry 4 C:\\x.dat")


if __name__ == "__main__":
    sys.exit(main(test))
