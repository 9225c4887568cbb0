#!/usr/bin/env python3
"""The window at 144 DPI: the program declares itself aware of the system DPI, so it lays
itself out at 1.5 times its 96-DPI size (client area 533 x 240) with every control in the
same relative place. Screenshots at 96 and 144 DPI are kept as artifacts."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, TestFailed, control_with_id, main, sample_saver,  # noqa: E402
                     program_bytes, remove_temp_copies, run_wine, screenshot)
from e2e_lib import SAVER_CAPTION as CAPTION  # noqa: E402
import window_ids as ids  # noqa: E402

DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"
DESIGN_DPI = 96
HIGH_DPI = 144


def mul_div(number, numerator, denominator):
    """Windows' MulDiv for positive denominators: rounded half away from zero."""
    product = number * numerator
    quotient = (abs(product) + denominator // 2) // denominator
    return quotient if product >= 0 else -quotient


def set_dpi(state, dpi):
    result = run_wine(state, ["reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                      timeout=60)
    if result.returncode != 0:
        raise TestFailed("could not set LogPixels to %d: %s" % (dpi, result.stderr.decode("latin-1")))


def window_at(state, driver, checks, dpi):
    """Starts an installer, checks its layout at `dpi`, keeps a screenshot and closes it."""
    remove_temp_copies()
    with Installer(state, sample_saver("Sunset.SCR")) as installer:
        driver.wait_window(CAPTION, 30000)
        window, controls = driver.texts(CAPTION)
        screenshot(state, window, "window-%ddpi" % dpi)
        checks.equal((window["client_width"], window["client_height"]),
                     (mul_div(355, dpi, DESIGN_DPI), mul_div(160, dpi, DESIGN_DPI)), "client area at %d DPI" % dpi)
        for control_id, (parent, left, top, width, height) in ids.LAYOUT.items():
            control = control_with_id(controls, control_id)
            origin = (0, 0) if parent == 0 else (control_with_id(controls, parent)["x"],
                                                 control_with_id(controls, parent)["y"])
            expected = tuple(mul_div(value, dpi, DESIGN_DPI) for value in (left, top, width, height))
            expected = (expected[0] + origin[0], expected[1] + origin[1], expected[2], expected[3])
            checks.equal((control["x"], control["y"], control["width"], control["height"]), expected,
                         "place of control %d (%s) at %d DPI" % (control_id, control["text"], dpi))
        link = control_with_id(controls, ids.MADE_WITH_LABEL)
        checks.equal((link["x"], link["y"]), (mul_div(60, dpi, DESIGN_DPI), mul_div(149, dpi, DESIGN_DPI)),
                     "the link's place at %d DPI" % dpi)
        driver.close(CAPTION)
        installer.wait_exit(20)
    remove_temp_copies()
    return window, controls


def error_dialog_at(state, driver, checks, dpi):
    """The error dialog of an installer without payload: its button grows with the DPI."""
    remove_temp_copies()
    with Installer(state, program_bytes()) as installer:
        driver.dialog_text("Error", 30000)
        dialog, controls = driver.texts("Error")
        screenshot(state, dialog, "error-dialog-%ddpi" % dpi)
        button = [c for c in controls if c["class"].lower() == "button"][0]
        checks.equal((button["width"], button["height"]), (mul_div(75, dpi, DESIGN_DPI), mul_div(23, dpi, DESIGN_DPI)),
                     "the error dialog's button at %d DPI" % dpi)
        driver.answer("Error", "&Abort")
        installer.done(driver, "Panoquill Installer")
    remove_temp_copies()


def test(state, driver, checks):
    _, design = window_at(state, driver, checks, DESIGN_DPI)
    error_dialog_at(state, driver, checks, DESIGN_DPI)
    set_dpi(state, HIGH_DPI)
    try:
        _, high = window_at(state, driver, checks, HIGH_DPI)
        error_dialog_at(state, driver, checks, HIGH_DPI)
    finally:
        # The tests share the prefix: the next one expects the design DPI.
        set_dpi(state, DESIGN_DPI)
    # The fonts grow with the rest: the link, sized to its caption, is about half as large again.
    small = control_with_id(design, ids.MADE_WITH_LABEL)
    large = control_with_id(high, ids.MADE_WITH_LABEL)
    checks.true(large["height"] * 4 >= small["height"] * 5 and large["width"] * 4 >= small["width"] * 5,
                "the link's font grows with the DPI (%dx%d at 96, %dx%d at 144)" %
                (small["width"], small["height"], large["width"], large["height"]))


if __name__ == "__main__":
    sys.exit(main(test))
