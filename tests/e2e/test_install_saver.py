#!/usr/bin/env python3
"""A screen-saver installer from end to end: an open "Display Properties" window is
cancelled first; the files land in the Windows directory, the saver becomes the current one
and is switched on, the uninstall entry is written; the prompt is declined; Un-Install then
takes the saver, its data file and the entry away again and keeps the libraries. Installed
once more, the saver is removed by the command its uninstall entry registers, run as the
system's list of programs runs it: the saver, its data file and its entry go, the saver's file
by a rename to a name that is deleted at the next restart; nothing else goes, and nothing new
appears in %TEMP%. Before that, the same command refuses and removes nothing while another
action holds the installers' lock, and so does a copy of the saver run from another folder."""

import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, TestFailed, control_with_id, main, prefix_dir, profile_value,  # noqa: E402
                     read_file, registry_key_exists, registry_value, remove_saver_installation, run_wine,
                     sample_saver, screenshot, state_dir, temp_copies, wait_for, windows_dir, windows_path_of)
from e2e_lib import (SAVER_CAPTION as CAPTION, SAVER_INSTALLED as INSTALLED,  # noqa: E402
                     SAVER_PROMPT_TITLE as PROMPT_TITLE, UNINSTALL_KEY, ACTION_LOCK_FILE, ACTION_MS)
import window_ids as ids  # noqa: E402

REFUSAL_TITLE = "Sunset Screen Saver"
PENDING_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
PROMPT_TEXT = ("The screen saver installation was successful.\r\n\r\n"
               "Would you like to open the screen saver control panel now?")


def test(state, driver, checks):
    remove_saver_installation()
    saver = os.environ["PQ_SUNSET_SAVER_FILE"]
    data = os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.ssd")
    installer_bytes = sample_saver()
    clicks = os.path.join(state_dir(), "display-properties-clicks.txt")
    if os.path.exists(clicks):
        os.remove(clicks)

    with driver.background(["make-window", "Display Properties", windows_path_of(clicks), "90000"]) as stand_in, \
            Installer(state, installer_bytes, "SunsetSetup.exe") as installer:
        stand_in.wait_output("ready")
        driver.wait_window("Display Properties", 30000)
        driver.wait_window(CAPTION, 30000)
        driver.click(CAPTION, "Install Screen Saver")
        checks.equal(driver.dialog_text(PROMPT_TITLE, ACTION_MS), PROMPT_TEXT, "the completion prompt")
        _, prompt_controls = driver.texts(PROMPT_TITLE)
        checks.equal(sorted(c["text"] for c in prompt_controls if c["class"].lower() == "button"),
                     ["&No", "&Yes"], "the prompt's buttons")

        checks.true(os.path.exists(clicks) and read_file(clicks).startswith(b"clicked 2"),
                    "the open Display Properties window was cancelled (button 2) before extraction")
        for name in INSTALLED:
            checks.true(os.path.exists(windows_dir(name)), name + " is in the Windows directory")
        if os.path.exists(windows_dir("Sunset.scr")):
            checks.true(read_file(windows_dir("Sunset.scr")) == read_file(saver), "Sunset.scr expanded intact")
        if os.path.exists(windows_dir("Sunset.ssd")):
            checks.true(read_file(windows_dir("Sunset.ssd")) == read_file(data), "Sunset.ssd stored intact")
        current = profile_value(windows_dir("system.ini"), "boot", "SCRNSAVE.EXE")
        checks.true(current is not None and current.lower() == "c:\\windows\\sunset.scr",
                    "system.ini names the saver's short path (%r)" % current)
        checks.true(driver.screen_saver_active(), "screen saving is switched on")
        checks.equal(registry_value(state, UNINSTALL_KEY, "DisplayName"), "Sunset Screen Saver", "DisplayName")
        checks.equal(registry_value(state, UNINSTALL_KEY, "UninstallString"), '"C:\\windows\\Sunset.scr" /u',
                     "UninstallString")

        driver.answer(PROMPT_TITLE, "&No")
        window, controls = driver.texts(CAPTION)
        checks.equal(control_with_id(controls, ids.STATUS_LABEL)["text"], "Installation Successful.", "final status")
        checks.equal(control_with_id(controls, ids.LAB_STATUS)["visible"], 0, "detail label after a saver install")
        checks.equal(control_with_id(controls, ids.PROGRESS_BAR)["progress"]["position"], 0, "bar after install")
        screenshot(state, window, "window-saver-installed")
        profile_after_install = read_file(windows_dir("system.ini"))

        driver.click(CAPTION, "Un-Install")
        driver.wait_text(CAPTION, "Un-Installation Complete.", ACTION_MS)
        for name in ("Sunset.scr", "Sunset.ssd"):
            checks.true(not os.path.exists(windows_dir(name)), name + " is removed by Un-Install")
        for name in ("impborl.dll", "pqlib1.dll", "pqlib2.dll"):
            checks.true(os.path.exists(windows_dir(name)), name + " is kept by Un-Install")
        checks.true(not registry_key_exists(state, UNINSTALL_KEY), "the uninstall key is removed")
        checks.true(not driver.screen_saver_active(), "screen saving is switched off")
        checks.true(read_file(windows_dir("system.ini")) == profile_after_install,
                    "Un-Install leaves system.ini as it was")
        window, controls = driver.texts(CAPTION)
        checks.equal(control_with_id(controls, ids.LAB_STATUS)["visible"], 0, "detail label after Un-Install")
        checks.equal(control_with_id(controls, ids.PROGRESS_BAR)["progress"]["position"], 0, "bar after Un-Install")
        screenshot(state, window, "window-saver-uninstalled")

        driver.click(CAPTION, "Install Screen Saver")
        driver.answer(PROMPT_TITLE, "&No", ACTION_MS)
        installer.done(driver, CAPTION)
    wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    check_registered_command(state, driver, checks)
    remove_saver_installation()


def temp_dir(state):
    """The user's %TEMP% folder, as Wine gives it to programs."""
    folder = run_wine(state, ["cmd", "/c", "echo %TEMP%"], 60).stdout.decode("latin-1").strip()
    return os.path.join(prefix_dir(), "drive_c", *folder[3:].split("\\"))


def check_refused(state, driver, checks, command, what, shot=None):
    """`command` says why in one message, exits 1 and changes nothing, in the Windows
    directory, in the folder of the copy and in the registry."""
    folders = [windows_dir(), os.path.join(prefix_dir(), "drive_c", "pqtest")]
    before = [sorted(os.listdir(folder)) for folder in folders]
    with driver.background(["run", command, str(ACTION_MS)]) as run:
        text = driver.dialog_text(REFUSAL_TITLE, 30000)
        checks.true(text.startswith("The screen saver could not be removed.\r\n\r\n"), what + ": message %r" % text)
        if shot:
            window, _ = driver.texts(REFUSAL_TITLE)
            screenshot(state, window, shot)
        driver.answer(REFUSAL_TITLE, "OK")
        run.wait_output("exit 1")
    checks.equal([sorted(os.listdir(folder)) for folder in folders], before, what + ": the files")
    checks.true(registry_key_exists(state, UNINSTALL_KEY), what + ": the uninstall key stays")


def check_registered_command(state, driver, checks):
    command = registry_value(state, UNINSTALL_KEY, "UninstallString")
    if command is None:
        raise TestFailed("the reinstallation wrote no uninstall entry")
    checks.true(driver.screen_saver_active(), "screen saving is on before the registered command runs")
    for name in ("Sunset.scr", "Sunset.ssd"):
        shutil.copyfile(windows_dir(name), os.path.join(prefix_dir(), "drive_c", "pqtest", name))
    check_refused(state, driver, checks, '"C:\\pqtest\\Sunset.scr" /u', "a copy run from another folder",
                  "saver-uninstall-refused")
    lock = windows_dir(ACTION_LOCK_FILE)
    open(lock, "wb").close()
    with driver.background(["hold-file", windows_path_of(lock), str(ACTION_MS)]) as holder:
        holder.wait_output("held")
        check_refused(state, driver, checks, command, "the registered command while another action runs")
    os.remove(lock)

    temp = temp_dir(state)
    temp_before = sorted(os.listdir(temp))
    before = set(os.listdir(windows_dir()))
    result = driver.run(["run", command, str(ACTION_MS)], ACTION_MS)
    checks.equal(result.stdout.decode("latin-1").strip(), "exit 0", "the registered command's exit code")
    after = set(os.listdir(windows_dir()))
    checks.equal(before - after, {"Sunset.scr", "Sunset.ssd"},
                 "the registered command removes the saver and its data file and nothing else")
    renamed = sorted(after - before)
    checks.true(len(renamed) == 1 and renamed[0].startswith("Sunset.scr.removed-"),
                "the saver's file is renamed beside itself, and nothing else is new (%s)" % renamed)
    pending = run_wine(state, ["reg", "query", PENDING_KEY, "/v", "PendingFileRenameOperations"], 60).stdout
    checks.true(renamed and ("C:\\windows\\" + renamed[0]).encode("latin-1") in pending,
                "the renamed saver goes at the next restart")
    checks.equal(sorted(os.listdir(temp)), temp_before, "nothing new in %TEMP%")
    checks.true(not registry_key_exists(state, UNINSTALL_KEY), "the registered command removes the uninstall key")
    checks.true(not driver.screen_saver_active(), "the registered command switches screen saving off")
    for name in renamed:
        os.remove(windows_dir(name))


if __name__ == "__main__":
    sys.exit(main(test))
