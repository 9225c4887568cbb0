#!/usr/bin/env python3
"""The main window to the pixel: its frame and client area, position, stacking, and every
control's place, caption, parent and tab order; the link's hover colour."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, sample_saver,  # noqa: E402
                     remove_temp_copies, screenshot)
from e2e_lib import SAVER_CAPTION as CAPTION  # noqa: E402
import window_ids as ids  # noqa: E402

# The pointer's arrival and departure reach the link through Wine's input and timer handling
# (the departure on a timer of its own), which a loaded machine delays; each look is itself a
# screenshot of a few hundred milliseconds or more. Look again until the colour has changed,
# as long as the tests wait for a window to appear.
HOVER_SECONDS = 30

WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_EX_TOPMOST = 0x00000008
WS_TABSTOP = 0x00010000


def check_frame(window, checks):
    checks.equal((window["client_width"], window["client_height"]), (355, 160), "client area")
    style = window["style"]
    checks.true(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU, "title bar with a close box")
    checks.true(not style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
                "no sizing border, minimise or maximise box (style 0x%08x)" % style)
    checks.true(window["exstyle"] & WS_EX_TOPMOST, "the window stays on top")
    checks.true(abs(window["x"] - (window["screen_width"] - window["width"]) // 2) <= 1 and
                abs(window["y"] - (window["screen_height"] - window["height"]) // 2) <= 1,
                "the window is centred on the screen: %r" % window)


def check_controls(controls, checks):
    for control_id, (parent, left, top, width, height) in ids.LAYOUT.items():
        control = control_with_id(controls, control_id)
        checks.equal(control["parent"], parent, "parent of control %d" % control_id)
        checks.equal((control["x"], control["y"], control["width"], control["height"]),
                     (left + absolute(controls, parent)[0], top + absolute(controls, parent)[1], width, height),
                     "place of control %d (%s)" % (control_id, control["text"]))
    link = control_with_id(controls, ids.MADE_WITH_LABEL)
    checks.true(link["text"].startswith("Made with Panoquill Photo && Video - "), "link caption %r" % link["text"])
    checks.equal((link["parent"], link["x"], link["y"]), (ids.PANEL1, 60, 149), "the link's place")
    checks.true(0 < link["width"] <= 295 and 0 < link["height"] <= 11,
                "the link is sized to its caption within the window (%dx%d)" % (link["width"], link["height"]))
    checks.equal(control_with_id(controls, ids.REMOVE)["text"], "Un-Install", "Un-Install caption")
    checks.equal(control_with_id(controls, ids.DONE)["text"], "Done", "Done caption")
    checks.equal(control_with_id(controls, ids.LAB_STATUS)["text"],
                 "Installer is damaged. Please try again with new copy of the installer.", "detail label design text")
    progress = control_with_id(controls, ids.PROGRESS_BAR)["progress"]
    checks.equal(progress["step"], 10, "progress step")
    # Tab order: Install, Un-Install (inside Panel2, which follows the bar), then Done.
    tab_stops = [c["id"] for c in controls if c["style"] & WS_TABSTOP and c["class"].lower() == "button"]
    checks.equal(tab_stops, [ids.BUT_INSTALL, ids.REMOVE, ids.DONE], "tab order of the buttons")


def absolute(controls, control_id):
    if control_id == 0:
        return (0, 0)
    control = control_with_id(controls, control_id)
    return (control["x"], control["y"])


def colours(path):
    """The colours of an image as (red, green, blue) tuples, from ImageMagick's histogram."""
    output = subprocess.run(["convert", path, "-format", "%c", "histogram:info:-"], timeout=30, check=True,
                            stdout=subprocess.PIPE).stdout.decode()
    found = set()
    for line in output.splitlines():
        for word in line.split():
            if word.startswith("#") and len(word) >= 7:
                found.add(tuple(int(word[i:i + 2], 16) for i in (1, 3, 5)))
    return found


def has_highlight(found):
    # The highlight colour is a clear blue; the window text is black on grey. The small font
    # is smoothed, so its pixels are blends of text and background rather than the pure colour.
    return any(blue - red > 60 for red, _, blue in found)


def link_colours(state, region, name, highlighted):
    """The link's colours once it shows the highlight (or no longer does), or as they were
    when HOVER_SECONDS ran out."""
    deadline = time.monotonic() + HOVER_SECONDS
    found = colours(screenshot(state, region, name))
    while has_highlight(found) != highlighted and time.monotonic() < deadline:
        found = colours(screenshot(state, region, name))
    return found


def check_link_hover(state, driver, checks, link):
    region = dict(x=link["screen_x"], y=link["screen_y"], width=link["width"], height=link["height"])
    driver.point_at(CAPTION, link["text"])
    hot = link_colours(state, region, "link-hover", True)
    checks.true(has_highlight(hot), "the link shows the highlight colour under the pointer within %d s" % HOVER_SECONDS)
    driver.point_at(CAPTION, "")
    normal = link_colours(state, region, "link-normal", False)
    checks.true(not has_highlight(normal) and any(max(c) < 100 for c in normal),
                "the link returns to the window-text colour within %d s" % HOVER_SECONDS)


def test(state, driver, checks):
    remove_temp_copies()
    with Installer(state, sample_saver("Sunset.SCR")) as installer:
        driver.wait_window(CAPTION, 30000)
        window, controls = driver.texts(CAPTION)
        check_frame(window, checks)
        check_controls(controls, checks)
        screenshot(state, window, "window-layout")
        link = control_with_id(controls, ids.MADE_WITH_LABEL)
        link["screen_x"] = window["client_x"] + link["x"]
        link["screen_y"] = window["client_y"] + link["y"]
        check_link_hover(state, driver, checks, link)
        driver.close(CAPTION)
        installer.wait_exit(20)
    remove_temp_copies()


if __name__ == "__main__":
    sys.exit(main(test))
