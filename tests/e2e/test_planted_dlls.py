#!/usr/bin/env python3
"""DLLs planted in the installer's folder, as a hostile page may drop them into Downloads: a
DLL that leaves a marker file when loaded lies there under the name of every DLL the
installer loads, and Wine prefers such a copy to its own, as Windows does for a DLL outside
its KnownDLLs. Start-up, an install, Un-Install and Done, then the sample movie and saver
run from the same folder, must load none of them and work as usual. Wine's trace of every
DLL the programs loaded shows that the planted names cover them all."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import (Installer, control_with_id, main, read_file,  # noqa: E402
                     remove_temp_copies, sample_saver, state_dir, temp_copies, wait_for)
from e2e_lib import SAVER_CAPTION as CAPTION, SAVER_PROMPT_TITLE as PROMPT_TITLE, ACTION_MS  # noqa: E402
import window_ids as ids  # noqa: E402

PLANTED = ["advapi32.dll", "comctl32.dll", "gdi32.dll", "imm32.dll", "impborl.dll", "sechost.dll", "shcore.dll",
           "shell32.dll", "shlwapi.dll", "ucrtbase.dll", "user32.dll", "uxtheme.dll", "version.dll", "win32u.dll",
           "winex11.drv", "zlib1.dll"]
# Loaded before any code of a program runs (ntdll by the kernel, the rest as the imports that
# no Windows program can do without), and by Windows from its KnownDLLs only. Wine has no
# KnownDLLs: a planted copy of these would run in any program.
BEFORE_THE_PROGRAM = ["ntdll.dll", "kernel32.dll", "kernelbase.dll", "msvcrt.dll"]
# Wine's own imm32 and uxtheme delay-load ole32 and msimg32, and those load what they
# import, through a search that starts in the program's folder whatever
# SetDefaultDllDirectories said; Windows applies it to every load in the process.
WINE_DELAY_LOADS = ["ole32.dll", "combase.dll", "rpcrt4.dll", "msimg32.dll"]
SAMPLES = [("Show.exe", [], "Panoquill Show"), ("Sunset.scr", ["/s"], "Sunset")]
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*)" at ')


def loaded_by_program(log, program):
    """Paths of the DLLs that Wine's trace shows the program, started from C:\\pqtest, loading."""
    by_process, pid = {}, None
    for line in read_file(log).decode("latin-1").splitlines():
        match = LOADED.match(line)
        if match:
            path = match.group(2).replace("\\\\", "\\")
            by_process.setdefault(match.group(1), []).append(path)
            if path.lower() == "c:\\pqtest\\" + program.lower():
                pid = match.group(1)
    return by_process.get(pid, [])


def test(state, driver, checks):
    remove_temp_copies()
    marker = read_file(os.environ["PQ_PLANTED_MARKER_FILE"])
    beside = {name: marker for name in PLANTED}
    beside["Show.exe"] = read_file(os.environ["PQ_SLIDE_SHOW_FILE"])
    beside["Sunset.scr"] = read_file(os.environ["PQ_SUNSET_SAVER_FILE"])
    log = os.path.join(state_dir(), "planted-dlls-trace.txt")
    if os.path.exists(log):
        os.remove(log)
    overrides = ",".join(os.path.splitext(name)[0] if name.endswith(".dll") else name for name in PLANTED)
    env = {"WINEDLLOVERRIDES": overrides + "=n,b", "WINEDEBUG": "+pid,+loaddll"}

    installer = Installer(state, sample_saver(), "SunsetSetup.exe", beside, env, log)
    try:
        with installer:
            driver.wait_window(CAPTION, 30000)
            driver.click(CAPTION, "Install Screen Saver")
            driver.wait_window(PROMPT_TITLE, ACTION_MS)
            driver.answer(PROMPT_TITLE, "&No")
            _, controls = driver.texts(CAPTION)
            checks.equal(control_with_id(controls, ids.STATUS_LABEL)["text"], "Installation Successful.", "install")
            driver.click(CAPTION, "Un-Install")
            driver.wait_text(CAPTION, "Un-Installation Complete.", ACTION_MS)
            installer.done(driver, CAPTION)
            for program, arguments, title in SAMPLES:
                process = installer.start(program, *arguments)
                driver.wait_window(title, 30000)
                driver.close(title)
                wait_for(lambda: process.poll() is not None, 20, program + " to end")
        wait_for(lambda: temp_copies() == [], 10, "the temporary copy to be removed")
    finally:
        # Also when the programs did not work: what ran says why.
        check_nothing_planted_ran(checks, installer.folder, log)


def check_nothing_planted_ran(checks, folder, log):
    markers = sorted(name for name in os.listdir(folder) if name.endswith(".loaded"))
    checks.equal(markers, [], "markers of planted DLLs that ran")
    for program in ["SunsetSetup.exe"] + [sample[0] for sample in SAMPLES]:
        loaded = loaded_by_program(log, program)
        checks.true(loaded, "Wine's trace shows what %s loaded" % program)
        for path in loaded:
            name = path.rsplit("\\", 1)[-1].lower()
            if name == program.lower():
                continue
            checks.true(not path.lower().startswith("c:\\pqtest\\"), "%s loaded the planted %s" % (program, path))
            checks.true(name in PLANTED + BEFORE_THE_PROGRAM + WINE_DELAY_LOADS,
                        "%s loaded %s, which is not planted" % (program, path))

if __name__ == "__main__":
    sys.exit(main(test))
