#!/usr/bin/env python3
"""SunsetSetup.exe, built by pqpack from the samples as they ship, installs the sample saver
under Wine; signed (a throwaway self-signed certificate, made with openssl) it installs and
un-installs exactly as the unsigned one does: the signature behind entry 5 is never read.
(Every installer of the e2e tests is built by pqpack; test_mode_captions opens one of each
mode.)"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, pqpack_build, profile_value, read_file,  # noqa: E402
                     registry_value, remove_saver_installation, run_pqpack, screenshot, temp_copies, wait_for,
                     windows_dir)
from e2e_lib import ACTION_MS, DIRECTORY_OFFSET, SAVER_CAPTION, SAVER_PROMPT_TITLE as PROMPT_TITLE  # noqa: E402
from e2e_lib import UNINSTALL_KEY  # noqa: E402
import window_ids as ids  # noqa: E402

INSTALLED = ["impborl.dll", "Sunset.scr", "Sunset.ssd"]


def build(folder, name, main_file, data_file, extra=()):
    samples = os.environ["PQ_SAMPLES_DIR"]
    return pqpack_build(folder, name, os.path.join(samples, main_file), os.path.join(samples, data_file), extra=extra)


def signing_arguments(folder):
    """A self-signed certificate for the test, and the build arguments that sign with it."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Panoquill e2e", "-keyout", key, "-out", cert], check=True, capture_output=True, timeout=120)
    return ["--sign-cert", cert, "--sign-key", key]


def install_and_uninstall(state, driver, contents, label):
    """Installs, declines the prompt, un-installs and closes; returns what could be seen."""
    remove_saver_installation()
    seen = {}
    with Installer(state, contents, name="SunsetSetup.exe") as installer:
        driver.wait_window(SAVER_CAPTION, 30000)
        driver.click(SAVER_CAPTION, "Install Screen Saver")
        seen["prompt"] = driver.dialog_text(PROMPT_TITLE, ACTION_MS)
        driver.answer(PROMPT_TITLE, "&No")
        window, controls = driver.texts(SAVER_CAPTION)
        seen["status"] = control_with_id(controls, ids.STATUS_LABEL)["text"]
        screenshot(state, window, "pqpack-installed-" + label)
        for name in INSTALLED:
            path = windows_dir(name)
            seen[name] = read_file(path) if os.path.exists(path) else None
        seen["SCRNSAVE.EXE"] = profile_value(windows_dir("system.ini"), "boot", "SCRNSAVE.EXE")
        seen["DisplayName"] = registry_value(state, UNINSTALL_KEY, "DisplayName")
        seen["UninstallString"] = registry_value(state, UNINSTALL_KEY, "UninstallString")
        driver.click(SAVER_CAPTION, "Un-Install")
        driver.wait_text(SAVER_CAPTION, "Un-Installation Complete.", ACTION_MS)
        seen["left"] = sorted(name for name in INSTALLED if os.path.exists(windows_dir(name)))
        installer.done(driver, SAVER_CAPTION)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    remove_saver_installation()
    return seen


def test(state, driver, checks):
    with tempfile.TemporaryDirectory() as folder:
        unsigned = build(folder, "Unsigned.exe", "Sunset.scr", "Sunset.ssd")
        signed = build(folder, "Signed.exe", "Sunset.scr", "Sunset.ssd", signing_arguments(folder))
        checks.true(len(signed) > len(unsigned) and signed[DIRECTORY_OFFSET:len(unsigned)] == unsigned[DIRECTORY_OFFSET:],
                    "the signed installer carries the unsigned one's payload and more")
        verified = run_pqpack("verify", os.path.join(folder, "Signed.exe"), check=False)
        checks.equal(verified.returncode, 0, "verify of the signed installer: %s" % verified.stdout.decode("latin-1"))

        from_unsigned = install_and_uninstall(state, driver, unsigned, "unsigned")
        from_signed = install_and_uninstall(state, driver, signed, "signed")
        checks.equal(from_unsigned["status"], "Installation Successful.", "the unsigned installer's result")
        saver = read_file(os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.scr"))
        checks.true(from_unsigned["Sunset.scr"] == saver, "the unsigned installer's saver is the sample")
        checks.equal(from_unsigned["left"], ["impborl.dll"], "Un-Install leaves only the library")
        for key in sorted(from_unsigned):
            checks.true(from_signed[key] == from_unsigned[key], "the signed installer gives the same %s" % key)


if __name__ == "__main__":
    sys.exit(main(test))
