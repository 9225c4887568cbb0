#!/usr/bin/env python3
"""Killed at any moment: with the sample saver installed, an installer of a much larger saver
of the same name is started and killed (as Task Manager or a power cut ends it) at several
moments of its installation. Under its final name there is then the old saver, none or the
new one, never a part of one. One complete run afterwards installs the new saver and leaves
nothing else new in the Windows directory: the killed runs' copies and partial files go."""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, TestFailed, library_bytes, main, read_file, remove_saver_installation,  # noqa: E402
                     run_wine, sample_installer, sample_saver, windows_dir)
from e2e_lib import ACTION_MS, SAVER_CAPTION as CAPTION, SAVER_PROMPT_TITLE, UNINSTALL_KEY  # noqa: E402

# Large enough to kill into while it is written (about 0.2 s under Wine), quick to build.
NEW_SAVER_BYTES = 48 * 1024 * 1024


def size_of(path):
    """The file's size; 0 once the installer has moved it away, which it may do at any moment."""
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def sizes(prefix):
    """The sizes of the files in the Windows directory whose names start so (in any case)."""
    return [size_of(windows_dir(name)) for name in os.listdir(windows_dir()) if name.lower().startswith(prefix)]


def run_installer(state, driver, contents, until=None):
    """Presses Install; then answers the prompt and closes, or kills the installer once
    `until(clicked)` holds, `clicked` being the time.monotonic() just after the click."""
    with Installer(state, contents, "SunsetSetup.exe", folder="pqkill") as installer:
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Install Screen Saver")
        clicked = time.monotonic()
        if until is None:
            driver.answer(SAVER_PROMPT_TITLE, "&No", ACTION_MS)
            installer.done(driver, CAPTION)
            return
        deadline = clicked + ACTION_MS / 1000
        while not until(clicked):
            if time.monotonic() > deadline:
                raise TestFailed("timed out waiting for the moment to kill the installer")
            time.sleep(0.001)
        installer.process.kill()
        installer.wait_exit(20)
    driver.wait_gone(CAPTION, 30000)


def test(state, driver, checks):
    remove_saver_installation()
    old = read_file(os.environ["PQ_SUNSET_SAVER_FILE"])
    run_installer(state, driver, sample_saver())
    before = set(name.lower() for name in os.listdir(windows_dir()))
    new = (old + library_bytes(7, 1024 * 1024) * (NEW_SAVER_BYTES // (1024 * 1024)))[:NEW_SAVER_BYTES]
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Sunset.scr"), "wb") as out:
            out.write(new)
        contents = sample_installer("Sunset.scr", os.path.join(folder, "Sunset.scr"), "Sunset.ssd",
                                    os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.ssd"))

    saver = windows_dir("Sunset.scr")
    # Any size short of the whole counts as "while written": a fast write gives few looks at it.
    moments = [("at once", lambda clicked: True),
               ("while the new saver is written",
                lambda clicked: any(0 < size < NEW_SAVER_BYTES for size in sizes("panoquillpartial"))),
               ("once the new saver is in place", lambda clicked: sizes("sunset.scr") == [NEW_SAVER_BYTES]),
               ("0.3 s after Install", lambda clicked: time.monotonic() > clicked + 0.3)]
    for moment, until in moments:
        run_installer(state, driver, contents, until)
        found = "none" if not os.path.exists(saver) else {old: "old", new: "new"}.get(read_file(saver), "broken")
        print("killed %s: the saver is %s; partial files %s" % (moment, found, sizes("panoquillpartial")))
        checks.true(found != "broken", "killed %s: the saver under its name is a part of one" % moment)

    run_installer(state, driver, contents)
    checks.true(os.path.exists(saver) and read_file(saver) == new, "the complete run installs the new saver")
    after = set(name.lower() for name in os.listdir(windows_dir()))
    checks.equal(sorted(after - before), [], "nothing new is left in the Windows directory")
    remove_saver_installation()
    run_wine(state, ["reg", "delete", UNINSTALL_KEY, "/f"], 60, "reg delete")


if __name__ == "__main__":
    sys.exit(main(test))
