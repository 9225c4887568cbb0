#!/usr/bin/env python3
"""A movie installer built by pqpack around a stored data file of 1.4 GB installs it whole,
next to itself. The installer reads each entry into memory in one block, which a 32-bit
program gets only with the 4 GB of address space of a large-address-aware one.

Not in the default run, since it writes some 7 GB: ctest --preset win32-large."""

import filecmp
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, TestFailed, control_with_id, main, pqpack_build_file, prefix_dir,  # noqa: E402
                     remove_temp_copies, run_pqpack, state_dir, temp_copies, wait_for)
from e2e_lib import MOVIE_CAPTION as CAPTION, MOVIE_PROMPT_TITLE as PROMPT_TITLE  # noqa: E402
import window_ids as ids  # noqa: E402

DATA_SIZE = 1_400_000_000
BLOCK = 1 << 20
# Starting up copies the installer, installing reads and writes the data file whole.
START_MS = 300000
INSTALL_MS = 600000


def write_content(path):
    """DATA_SIZE bytes of noise, each megabyte stamped with its number, so that a block out of
    place shows."""
    block = bytearray(random.Random(1400).randbytes(BLOCK))
    with open(path, "wb") as out:
        for index in range(0, DATA_SIZE, BLOCK):
            block[0:8] = index.to_bytes(8, "little")
            out.write(block[:min(BLOCK, DATA_SIZE - index)])


def first_dialog(driver, titles, wait_ms):
    """(title, text) of whichever of the dialogs titled `titles` shows first."""
    deadline = time.monotonic() + wait_ms / 1000
    while time.monotonic() < deadline:
        for title in titles:
            result = driver.run(["dialog-text", title, "1000"], 1000, check=False)
            if result.returncode == 0:
                return title, result.stdout.decode("latin-1")
    raise TestFailed("timed out after %d s waiting for any of the dialogs %s" % (wait_ms / 1000, titles))


def test(state, driver, checks):
    remove_temp_copies()
    work = os.path.join(state_dir(), "large")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    content, data = os.path.join(work, "content.bin"), os.path.join(work, "Big.ssd")
    try:
        write_content(content)
        run_pqpack("ssd", "--quicktime-level", "0", content, data)
        os.remove(content)
        built = pqpack_build_file(work, "BigSetup.exe", os.environ["PQ_SLIDE_SHOW_FILE"], data)

        with Installer(state, built, "BigSetup.exe") as installer:
            driver.wait_window(CAPTION, START_MS)
            driver.click(CAPTION, "Install Movie")
            # A failure shows its error before anything else; there is no prompt after it.
            checks.equal(first_dialog(driver, [PROMPT_TITLE, "Error"], INSTALL_MS),
                         (PROMPT_TITLE, "Movie created as C:\\pqtest\\Show.exe\r\n\r\n"
                                        "Would you like to open a window to this folder?"),
                         "the movie's completion prompt")
            installed = os.path.join(installer.folder, "Big.ssd")
            checks.true(os.path.exists(installed) and filecmp.cmp(installed, data, shallow=False),
                        "the 1.4 GB data file lands whole next to the installer")
            driver.answer(PROMPT_TITLE, "&No")
            _, controls = driver.texts(CAPTION)
            checks.equal(control_with_id(controls, ids.STATUS_LABEL)["text"], "Installation Successful.",
                         "final status")
            installer.done(driver, CAPTION)
        wait_for(lambda: temp_copies() == [], 30, "the temporary copy to be removed")
    finally:
        # Gigabytes are not left behind in the build folder, whatever happened.
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(os.path.join(prefix_dir(), "drive_c", "pqtest"), ignore_errors=True)
        remove_temp_copies()


if __name__ == "__main__":
    sys.exit(main(test))
