#!/usr/bin/env python3
"""Starts and stops what the end-to-end tests run in: an Xvfb display and a fresh Wine
prefix inside the build folder. `setup` writes the state file the tests read; `cleanup`
stops the Wine server and the display again. Every wait is bounded."""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib  # noqa: E402

XVFB_START_SECONDS = 15
WINEBOOT_SECONDS = 300

def fail(message):
    print("e2e fixture: " + message, file=sys.stderr)
    sys.exit(1)


def free_display():
    for number in range(99, 199):
        if not os.path.exists("/tmp/.X%d-lock" % number) and not os.path.exists("/tmp/.X11-unix/X%d" % number):
            return number
    fail("no free X display between :99 and :198")


def start_xvfb(state):
    number = free_display()
    log = open(os.path.join(e2e_lib.state_dir(), "xvfb.log"), "wb")
    process = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                               stdout=log, stderr=log, start_new_session=True)
    state["display"] = ":%d" % number
    state["xvfb_pid"] = process.pid
    e2e_lib.save_state(state)
    socket = "/tmp/.X11-unix/X%d" % number
    deadline = time.monotonic() + XVFB_START_SECONDS
    while not os.path.exists(socket):
        if process.poll() is not None:
            fail("Xvfb on :%d exited with %d (see xvfb.log)" % (number, process.returncode))
        if time.monotonic() > deadline:
            fail("timed out after %d s waiting for Xvfb to open %s" % (XVFB_START_SECONDS, socket))
        time.sleep(0.1)


def boot_prefix(state):
    prefix = e2e_lib.prefix_dir()
    if os.path.exists(prefix):
        shutil.rmtree(prefix)
    env = e2e_lib.wine_env(state)
    # No Mono or Gecko: their installers would wait for a download that cannot happen.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    try:
        subprocess.run(["wineboot", "-i"], env=env, timeout=WINEBOOT_SECONDS, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, timeout=WINEBOOT_SECONDS, check=True)
    except subprocess.TimeoutExpired:
        fail("timed out after %d s waiting for wineboot to create %s" % (WINEBOOT_SECONDS, prefix))
    except subprocess.CalledProcessError as error:
        fail("wineboot failed: %s" % error)
    # Wine draws the window frames itself (there is no window manager on Xvfb), so the title
    # bar and its close box are part of every screenshot.
    # A server kept alive until cleanup saves a start per Wine process, and no test's Wine
    # process has to start one that would hold the test's output pipe open.
    subprocess.Popen(["wineserver", "-p"], env=e2e_lib.wine_env(state), stdin=subprocess.DEVNULL,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    for name in ("Decorated", "Managed"):
        result = e2e_lib.run_wine(state, ["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", name,
                                          "/d", "N", "/f"], timeout=60)
        if result.returncode != 0:
            fail("could not set the X11 driver's %s option: %s" % (name, result.stderr.decode("latin-1")))


def process_name(pid):
    try:
        with open("/proc/%d/comm" % pid) as comm:
            return comm.read().strip()
    except OSError:
        return ""


def setup():
    os.makedirs(e2e_lib.state_dir(), exist_ok=True)
    os.makedirs(e2e_lib.artifacts_dir(), exist_ok=True)
    cleanup(quiet=True)
    state = {}
    start_xvfb(state)
    boot_prefix(state)
    print("e2e fixture: display %s, prefix %s" % (state["display"], e2e_lib.prefix_dir()))


def cleanup(quiet=False):
    try:
        state = e2e_lib.load_state()
    except (OSError, ValueError):
        if not quiet:
            print("e2e fixture: nothing to stop")
        return
    if os.path.isdir(e2e_lib.prefix_dir()):
        try:
            subprocess.run(["wineserver", "-k"], env=e2e_lib.wine_env(state), timeout=30)
        except subprocess.TimeoutExpired:
            print("e2e fixture: wineserver -k did not finish within 30 s", file=sys.stderr)
    pid = state.get("xvfb_pid")
    if pid and process_name(pid) == "Xvfb":
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    os.remove(e2e_lib.state_file())


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("setup", "cleanup"):
        fail("usage: e2e_fixture.py setup|cleanup")
    setup() if sys.argv[1] == "setup" else cleanup()
