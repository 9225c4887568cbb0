#!/usr/bin/env python3
"""pqsetup.exe without a payload: the -34 message for its own path in the "Error" dialog
with its single "&Abort" button, then a window that can only be closed, and no temporary
copy left behind."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, program_bytes, remove_temp_copies,  # noqa: E402
                     screenshot, temp_copies)
import window_ids as ids  # noqa: E402

SS_TYPEMASK = 0x1F
SS_ICON = 0x03


def test(state, driver, checks):
    remove_temp_copies()
    with Installer(state, program_bytes()) as installer:
        message = driver.dialog_text("Error", 30000)
        checks.equal(message, "Installation Error: \r\n\r\nFile " + installer.windows_path +
                     " may be corrupted. Please get a new copy and try installation again.", "the -34 message")

        dialog, controls = driver.texts("Error")
        buttons = [c["text"] for c in controls if c["class"].lower() == "button"]
        checks.equal(buttons, ["&Abort"], "the error dialog's buttons")
        icons = [c for c in controls if c["class"].lower() == "static" and c["style"] & SS_TYPEMASK == SS_ICON]
        checks.equal(len(icons), 1, "icons in the error dialog")
        checks.true(abs(dialog["x"] - (dialog["screen_width"] - dialog["width"]) // 2) <= 1 and
                    abs(dialog["y"] - (dialog["screen_height"] - dialog["height"]) // 2) <= 1,
                    "the error dialog is centred on the screen: %r" % dialog)
        screenshot(state, dialog, "error-dialog-no-payload")

        driver.answer("Error", "&Abort")
        window, controls = driver.texts("Panoquill Installer")
        checks.equal(control_with_id(controls, ids.BUT_INSTALL)["enabled"], 0, "Install after a failed start")
        checks.equal(control_with_id(controls, ids.BUT_INSTALL)["text"], "&Install", "Install's design caption")
        checks.equal(control_with_id(controls, ids.REMOVE)["enabled"], 0, "Un-Install after a failed start")
        checks.equal(control_with_id(controls, ids.DONE)["enabled"], 1, "Done after a failed start")
        status = control_with_id(controls, ids.STATUS_LABEL)
        checks.equal((status["visible"], status["text"]), (1, ""), "the status line after a failed start")
        checks.equal(control_with_id(controls, ids.LAB_STATUS)["visible"], 0, "the detail label after a failed start")
        progress = control_with_id(controls, ids.PROGRESS_BAR)["progress"]
        checks.equal((progress["min"], progress["max"], progress["position"]), (0, 100, 0),
                     "the progress range after a failed start")
        screenshot(state, window, "window-no-payload")

        installer.done(driver, "Panoquill Installer")
    checks.equal(temp_copies(), [], "temporary copies left in the Windows directory")


if __name__ == "__main__":
    sys.exit(main(test))
