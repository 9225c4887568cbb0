#!/usr/bin/env python3
"""Installers whose entry 2 name ends in characters that no file name keeps: "Sunset.scr"
followed by a NUL counted in the name's length, and "Sunset.scr" followed by two blanks. Both
are screen-saver installers; each installs the saver as Sunset.scr, registers it under that
path, and its Un-Install takes the saver, its data file and the entry away again."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, main, profile_value, read_file, registry_key_exists,  # noqa: E402
                     registry_value, remove_saver_installation, renamed, sample_saver, windows_dir)
from e2e_lib import SAVER_PROMPT_TITLE as PROMPT_TITLE, UNINSTALL_KEY, ACTION_MS  # noqa: E402


def saver_files():
    return sorted(name for name in os.listdir(windows_dir()) if name.lower().startswith("sunset"))


def check_name(state, driver, checks, stored_name, what):
    remove_saver_installation()
    saver = os.environ["PQ_SUNSET_SAVER_FILE"]
    # Names as another builder may have stored them, written into a built installer's table.
    installer_bytes = renamed(sample_saver(), "Sunset.scr", stored_name)
    # The caption drops the stored name's last four characters, whatever they are.
    caption = "Screen Saver Installation: " + stored_name[:-4]
    with Installer(state, installer_bytes, "SunsetSetup.exe") as installer:
        driver.wait_window(caption, 30000)
        driver.click(caption, "Install Screen Saver")
        driver.answer(PROMPT_TITLE, "&No", ACTION_MS)
        checks.equal(saver_files(), ["Sunset.scr", "Sunset.ssd"], what + ": the files installed")
        saver_path = windows_dir("Sunset.scr")
        if os.path.exists(saver_path):
            checks.true(read_file(saver_path) == read_file(saver), what + ": Sunset.scr expanded intact")
        current = profile_value(windows_dir("system.ini"), "boot", "SCRNSAVE.EXE")
        checks.true(current is not None and current.lower() == "c:\\windows\\sunset.scr",
                    what + ": system.ini names the saver (%r)" % current)
        checks.equal(registry_value(state, UNINSTALL_KEY, "UninstallString"), '"C:\\windows\\Sunset.scr" /u',
                     what + ": UninstallString")

        driver.click(caption, "Un-Install")
        driver.wait_text(caption, "Un-Installation Complete.", ACTION_MS)
        checks.equal(saver_files(), [], what + ": the files left after Un-Install")
        checks.true(not registry_key_exists(state, UNINSTALL_KEY), what + ": the uninstall key is removed")
        installer.done(driver, caption)
    remove_saver_installation()


def test(state, driver, checks):
    check_name(state, driver, checks, "Sunset.scr\0", "entry 2 Sunset.scr + NUL")
    check_name(state, driver, checks, "Sunset.scr  ", "entry 2 Sunset.scr + two blanks")


if __name__ == "__main__":
    sys.exit(main(test))
