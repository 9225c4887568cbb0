#!/usr/bin/env python3
"""The demo: builds the two sample installers with pqpack, then installs the sample screen
saver under Wine on a virtual display, as a user would, and shows what landed where.
Screenshots of the window before and after go to dist/demo/."""

import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DEMO = os.path.join(ROOT, "dist", "demo")
os.environ.setdefault("PQ_E2E_DIR", os.path.join(ROOT, "build", "demo"))
os.environ.setdefault("PQ_E2E_ARTIFACTS", DEMO)
os.environ.setdefault("PQ_SETUP_EXE", os.path.join(ROOT, "dist", "win32", "pqsetup.exe"))
os.environ.setdefault("PQ_DRIVER_EXE", os.path.join(ROOT, "build", "win32", "tools", "driver", "pqdriver.exe"))
os.environ.setdefault("PQ_IMPBORL_FILE", os.path.join(ROOT, "dist", "win32", "impborl.dll"))
os.environ.setdefault("PQ_PQPACK", os.path.join(ROOT, "dist", "pqpack"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import e2e_fixture  # noqa: E402
import e2e_lib  # noqa: E402

WIN32 = os.path.join(ROOT, "dist", "win32")


def build_installers():
    os.makedirs(DEMO, exist_ok=True)
    made = {}
    for name, main, data in (("SunsetSetup.exe", "Sunset.scr", "Sunset.ssd"),
                             ("ShowSetup.exe", "Show.exe", "Show.ssd")):
        out = os.path.join(DEMO, name)
        e2e_lib.pqpack_build(DEMO, name, os.path.join(WIN32, main), os.path.join(WIN32, data))
        print("demo: built %s (%d bytes)" % (out, os.path.getsize(out)))
        made[name] = out
    return made


def install_saver(state, installer_path):
    driver = e2e_lib.Driver(state)
    with open(installer_path, "rb") as source:
        contents = source.read()
    title = e2e_lib.SAVER_CAPTION
    with e2e_lib.Installer(state, contents, name="SunsetSetup.exe") as installer:
        driver.wait_window(title, 30000)
        window, _ = driver.texts(title)
        print("demo: before  ->", e2e_lib.screenshot(state, window, "sunset-before"))
        driver.click(title, "Install Screen Saver")
        prompt = e2e_lib.SAVER_PROMPT_TITLE
        driver.wait_window(prompt, e2e_lib.ACTION_MS)
        print("demo: the prompt says: %r" % driver.dialog_text(prompt).strip())
        driver.answer(prompt, "No")
        driver.wait_text(title, "Installation Successful.", 10000)
        window, _ = driver.texts(title)
        print("demo: after   ->", e2e_lib.screenshot(state, window, "sunset-after"))
        driver.click(title, "Done")
        installer.wait_exit(30)


def report(state):
    windows = e2e_lib.windows_dir()
    print("demo: installed in C:\\windows:")
    for name in sorted(os.listdir(windows)):
        if name.lower() in ("impborl.dll", "sunset.scr", "sunset.ssd"):
            print("   %-12s %8d bytes" % (name, os.path.getsize(os.path.join(windows, name))))
    result = e2e_lib.run_wine(state, ["reg", "query", e2e_lib.UNINSTALL_KEY], timeout=60)
    print("demo: uninstall entry:")
    for line in result.stdout.decode("latin-1").splitlines():
        if line.strip():
            print("   " + line.strip())
    with open(os.path.join(windows, "system.ini"), "rb") as ini:
        for line in ini.read().decode("latin-1").splitlines():
            if line.upper().startswith("SCRNSAVE.EXE"):
                print("demo: system.ini [boot] " + line.strip())


def main():
    made = build_installers()
    e2e_fixture.setup()
    try:
        state = e2e_lib.load_state()
        install_saver(state, made["SunsetSetup.exe"])
        report(state)
    except e2e_lib.TestFailed as error:
        print("demo: FAILED: %s" % error, file=sys.stderr)
        return 1
    finally:
        e2e_fixture.cleanup(quiet=True)
    print("demo: screenshots in %s" % DEMO)
    return 0


if __name__ == "__main__":
    sys.exit(main())
