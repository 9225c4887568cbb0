"""Shared helpers of the end-to-end tests: the Wine environment the fixture prepared, the
automation driver, installers built for a test with pqpack, and screenshots. Every wait is
bounded and a timeout fails the test with a message that says what was awaited."""

import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time


def defined_in(header, pattern):
    """What `pattern`'s group matches in a header of src/: the program's one definition."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", *header.split("/"))
    with open(path) as source:
        return re.search(pattern, source.read()).group(1)


# Where the directory table begins, as the build hands it over; the demo, which looks into no
# installer, has none.
DIRECTORY_OFFSET = int(os.environ.get("PQ_DIRECTORY_OFFSET", "0"))
# The file in the Windows directory that holds the installers' action lock.
ACTION_LOCK_FILE = defined_in("installer/action_lock.h", r'kActionLockFileName\[\] = "([^"]+)";')

# Extra seconds a driver call may take beyond its own wait: starting a Wine process.
WINE_START_SECONDS = 30
# How long an install or uninstall action may take, in milliseconds.
ACTION_MS = 60000
# The sample saver's installer: its window caption, the title of its completion prompt and the
# key it registers for uninstalling.
SAVER_CAPTION = "Screen Saver Installation: Sunset"
SAVER_PROMPT_TITLE = "Installation Successful. "
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sunset"
# What installing the sample saver (sample_saver) puts into the Windows directory.
SAVER_INSTALLED = ["impborl.dll", "Sunset.scr", "Sunset.ssd", "pqlib1.dll", "pqlib2.dll"]
# The sample movie's installer: its window caption and the title of its completion prompt.
MOVIE_CAPTION = "Movie Installation: Show"
MOVIE_PROMPT_TITLE = "Movie Installation Complete."


class TestFailed(Exception):
    pass


def state_dir():
    return os.environ["PQ_E2E_DIR"]


def artifacts_dir():
    return os.environ["PQ_E2E_ARTIFACTS"]


def prefix_dir():
    return os.path.join(state_dir(), "prefix")


def state_file():
    return os.path.join(state_dir(), "state.json")


def save_state(state):
    with open(state_file(), "w") as out:
        json.dump(state, out)


def load_state():
    with open(state_file()) as source:
        return json.load(source)


def wine_env(state):
    env = dict(os.environ)
    env["DISPLAY"] = state["display"]
    env["WINEPREFIX"] = prefix_dir()
    env["WINEDEBUG"] = "-all"
    return env


def run_wine(state, arguments, timeout, what=None):
    """Runs a Windows program to its end. Its output goes through files, not pipes: Wine's
    background processes (services, the desktop) inherit the handles and would hold a pipe
    open long after the program itself has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(["wine"] + arguments, env=wine_env(state), stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err)
        try:
            returncode = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=10)
            raise TestFailed("timed out after %d s waiting for %s" % (timeout, what or " ".join(arguments)))
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(arguments, returncode, out.read(), err.read())


def windows_dir(*names):
    """The prefix's Windows directory, or a path below it."""
    return os.path.join(prefix_dir(), "drive_c", "windows", *names)


def temp_copies():
    return sorted(name for name in os.listdir(windows_dir())
                  if name.lower().startswith("kwrxtemp") and name.lower().endswith(".dat"))


def remove_temp_copies():
    for name in temp_copies():
        os.remove(windows_dir(name))


def remove_saver_installation():
    """Takes away the files an earlier installation of the sample saver left in the Windows
    directory, and any temporary copies: the machine as before it."""
    for name in SAVER_INSTALLED:
        path = windows_dir(name)
        if os.path.exists(path):
            os.remove(path)
    remove_temp_copies()


class Driver:
    """pqdriver.exe under Wine. Methods fail the test on a non-zero exit, with the driver's
    own message, unless `check` is false."""

    def __init__(self, state):
        self.state = state
        self.exe = os.environ["PQ_DRIVER_EXE"]

    def run(self, arguments, wait_ms=10000, check=True):
        result = run_wine(self.state, [self.exe] + arguments, timeout=wait_ms / 1000 + WINE_START_SECONDS,
                          what="pqdriver " + " ".join(arguments))
        if check and result.returncode != 0:
            raise TestFailed("pqdriver %s failed (%d): %s" % (" ".join(arguments), result.returncode,
                                                              result.stderr.decode("latin-1").strip()))
        return result

    def wait_window(self, title, wait_ms=10000):
        self.run(["wait-window", title, str(wait_ms)], wait_ms)

    def wait_gone(self, title, wait_ms=10000):
        self.run(["wait-gone", title, str(wait_ms)], wait_ms)

    def wait_text(self, title, text, wait_ms=10000):
        self.run(["wait-text", title, text, str(wait_ms)], wait_ms)

    def dialog_text(self, title, wait_ms=10000):
        return self.run(["dialog-text", title, str(wait_ms)], wait_ms).stdout.decode("latin-1")

    def click(self, title, caption, wait_ms=10000):
        self.run(["click", title, caption, str(wait_ms)], wait_ms)

    def answer(self, title, caption, wait_ms=10000):
        self.run(["answer", title, caption, str(wait_ms)], wait_ms)

    def close(self, title, wait_ms=10000):
        self.run(["close", title, str(wait_ms)], wait_ms)

    def session_may_end(self, title, wait_ms=10000):
        """The window's answer when asked, as at a log-off, whether the session may end."""
        return self.run(["query-end-session", title, str(wait_ms)], wait_ms).stdout.decode("latin-1").strip() == "1"

    def point_at(self, title, text, wait_ms=10000):
        self.run(["point-at", title, text, str(wait_ms)], wait_ms)

    def screen_saver_active(self):
        return self.run(["screen-saver-active"]).stdout.decode("latin-1").strip() == "1"

    def background(self, arguments):
        """A long-running driver command (make-window, hold-file), ended when the block ends."""
        return Background(self.state, [self.exe] + arguments)

    def texts(self, title, wait_ms=10000):
        """The window's fields and its controls, each a dict of the driver's key=value output."""
        output = self.run(["texts", title, str(wait_ms)], wait_ms).stdout.decode("latin-1")
        window, controls = None, []
        for line in output.splitlines():
            fields = dict(field.split("=", 1) for field in line.split("\t"))
            fields["text"] = unescape(fields.get("text", ""))
            for key, value in list(fields.items()):
                if key not in ("text", "class", "kind", "style", "exstyle") and value.lstrip("-").isdigit():
                    fields[key] = int(value)
            for key in ("style", "exstyle"):
                if key in fields:
                    fields[key] = int(fields[key], 16)
            if fields["kind"] == "window":
                window = fields
            elif fields["kind"] == "progress":
                control_with_id(controls, fields["id"])["progress"] = fields
            else:
                controls.append(fields)
        return window, controls


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def control_with_id(controls, control_id):
    for control in controls:
        if control["id"] == control_id:
            return control
    raise TestFailed("no control with id %d among %s" % (control_id, [c["id"] for c in controls]))


def run_checks(state, arguments, seconds, what, tolerated=lambda failures: False):
    """Runs a Windows program of checks under Wine, which prints a "FAILED: " line for each
    check that failed and exits non-zero then, and shows what it printed. Fails the test on a
    non-zero exit, unless `tolerated` accepts the failures; an exit 1 with no failure printed is
    the program's own fault, which nothing tolerates."""
    result = run_wine(state, arguments, seconds, what)
    output = result.stdout.decode("latin-1")
    print(output)
    failures = [line[len("FAILED: "):] for line in output.splitlines() if line.startswith("FAILED: ")]
    if result.returncode != 0 and not (result.returncode == 1 and failures and tolerated(failures)):
        raise TestFailed("%s failed (exit %d):\n%s%s" % (what, result.returncode, output,
                                                         result.stderr.decode("latin-1")))


def windows_path_of(unix_path):
    """The path under Wine's Z: drive, which maps the host's root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def run_pqpack(*arguments, check=True):
    """Runs dist/pqpack, the Linux builder, to its end; fails the test when it fails, unless
    `check` is false."""
    pqpack = os.environ["PQ_PQPACK"]
    if not os.path.exists(pqpack):
        raise TestFailed("%s is missing: build the host-release preset before the win32 tests" % pqpack)
    result = subprocess.run([pqpack] + list(arguments), capture_output=True, timeout=300)
    if check and result.returncode != 0:
        raise TestFailed("pqpack %s failed: %s" % (" ".join(arguments[:1]), result.stderr.decode("latin-1").strip()))
    return result


def pqpack_build_file(folder, name, main_file, data_file, libraries=(), extra=()):
    """The path of FOLDER/NAME, an installer that `pqpack build` makes of pqsetup.exe, the
    compression library, MAIN, DATA and the support libraries, as an author makes one."""
    out = os.path.join(folder, name)
    run_pqpack("build", "-o", out, "--stub", os.environ["PQ_SETUP_EXE"], "--library", os.environ["PQ_IMPBORL_FILE"],
               *extra, main_file, data_file, *libraries)
    return out


def pqpack_build(folder, name, main_file, data_file, libraries=(), extra=()):
    """The bytes of the installer pqpack_build_file makes."""
    return read_file(pqpack_build_file(folder, name, main_file, data_file, libraries, extra))


def sample_installer(main_name, main_file, data_name, data_file):
    """A sample installer: the file `main_file` as entry 2 named `main_name`, `data_file` as
    entry 3 named `data_name`, and two compressible support libraries, pqlib1.dll and
    pqlib2.dll (stored as .dat, 32-bit DLLs as pqpack wants them), quickly compressed."""
    with tempfile.TemporaryDirectory() as folder:
        inputs = {main_name: read_file(main_file), data_name: read_file(data_file),
                  "pqlib1.dll": windows_dll(library_bytes(1, 40000)), "pqlib2.dll": windows_dll(library_bytes(2, 9000))}
        for name, contents in inputs.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(contents)
        paths = [os.path.join(folder, name) for name in inputs]
        return pqpack_build(folder, "Setup.exe", paths[0], paths[1], paths[2:], ["--level", "fast"])


def sample_saver(main_name="Sunset.scr", data_file=None):
    """The sample saver's installer, its data file the sample's unless `data_file` is named."""
    data = data_file or os.path.join(os.environ["PQ_SAMPLES_DIR"], "Sunset.ssd")
    return sample_installer(main_name, os.environ["PQ_SUNSET_SAVER_FILE"], "Sunset.ssd", data)


def sample_movie():
    """The sample movie's installer."""
    return sample_installer("Show.exe", os.environ["PQ_SLIDE_SHOW_FILE"], "Show.ssd",
                            os.path.join(os.environ["PQ_SAMPLES_DIR"], "Show.ssd"))


def renamed(installer, old, new):
    """The installer with entry name `old` in its table replaced by `new`, for names pqpack
    would not store: the length byte and the characters, over the zeros after them."""
    image = bytearray(installer)
    at = image.find(bytes([len(old)]) + old.encode("latin-1"), DIRECTORY_OFFSET)
    if at < 0:
        raise TestFailed("no entry named %r" % old)
    image[at:at + 1 + len(new)] = bytes([len(new)]) + new.encode("latin-1")
    return bytes(image)


def read_file(path):
    with open(path, "rb") as source:
        return source.read()


def library_bytes(seed, size):
    """A support library's stand-in content: fixed-seed bytes with enough repetition to compress."""
    out, value = bytearray(), seed
    while len(out) < size:
        value = (value * 1103515245 + 12345) & 0x7FFFFFFF
        out += (b"library %d block %d " % (seed, value % 97)) * (1 + value % 5)
    return bytes(out[:size])


def windows_dll(content):
    """`content` behind the headers of a 32-bit Windows DLL (no sections): what pqpack asks of a
    support library, which the installer only puts in place."""
    header = bytearray(0x200)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x40)  # where the PE header starts
    header[0x40:0x44] = b"PE\0\0"
    # i386, no sections, a 224-byte optional header; an executable 32-bit DLL.
    struct.pack_into("<HHIIIHH", header, 0x44, 0x14C, 0, 0, 0, 0, 224, 0x2102)
    optional = 0x58
    struct.pack_into("<H", header, optional, 0x10B)  # PE32
    struct.pack_into("<H", header, optional + 68, 2)  # the Windows GUI subsystem
    struct.pack_into("<I", header, optional + 92, 16)  # sixteen data directories, all empty
    return bytes(header) + content


def registry_value(state, key, name):
    """A REG_SZ value as `reg query` shows it, or None when the key or value is absent."""
    result = run_wine(state, ["reg", "query", key, "/v", name], 60, "reg query " + key)
    if result.returncode != 0:
        return None
    for line in result.stdout.decode("latin-1").splitlines():
        parts = line.strip().split("    ")
        if len(parts) >= 3 and parts[0] == name and parts[1] == "REG_SZ":
            return "    ".join(parts[2:])
        if len(parts) == 2 and parts[0] == name and parts[1] == "REG_SZ":
            return ""
    return None


def registry_key_exists(state, key):
    return run_wine(state, ["reg", "query", key], 60, "reg query " + key).returncode == 0


def profile_value(path, section, key):
    """A value of an INI file, matched case-blind as the profile functions do."""
    current = None
    with open(path, "rb") as source:
        for raw in source.read().decode("latin-1").splitlines():
            line = raw.strip()
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1].strip().lower()
            elif current == section.lower() and "=" in line:
                name, value = line.split("=", 1)
                if name.strip().lower() == key.lower():
                    return value.strip()
    return None


def program_bytes():
    with open(os.environ["PQ_SETUP_EXE"], "rb") as source:
        return source.read()


class Installer:
    """An installer file placed at C:\\FOLDER\\NAME in the prefix (C:\\pqtest by default, made
    afresh) and run under Wine, with the files `beside` ({name: bytes}) in the same folder.
    `contents` are its bytes, or the path of a file already written, which is moved there.
    `env` adds to the programs' environment and `log` receives Wine's own output. Leaving the
    `with` block ends every program started from the folder that still runs."""

    def __init__(self, state, contents, name="pqsetup.exe", beside=None, env=None, log=None, folder="pqtest"):
        self.state = state
        self.folder = os.path.join(prefix_dir(), "drive_c", folder)
        self.path = os.path.join(self.folder, name)
        self.windows_folder = "C:\\%s\\" % folder
        self.windows_path = self.windows_folder + name
        if os.path.isdir(self.folder):
            shutil.rmtree(self.folder)
        os.makedirs(self.folder)
        files = dict(beside or {})
        if isinstance(contents, str):
            shutil.move(contents, self.path)
        else:
            files[name] = contents
        for file_name, file_contents in files.items():
            with open(os.path.join(self.folder, file_name), "wb") as out:
                out.write(file_contents)
        self.env = dict(wine_env(state), **(env or {}))
        self.log = log
        self.process = None
        self.started = []

    def start(self, name, *arguments):
        """Runs a program of the folder, the installer or one placed beside it; returns its process."""
        output = open(self.log, "ab") if self.log else subprocess.DEVNULL
        process = subprocess.Popen(["wine", self.windows_folder + name] + list(arguments), env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=output, stderr=output)
        if self.log:
            output.close()
        self.started.append(process)
        return process

    def __enter__(self):
        self.process = self.start(os.path.basename(self.path))
        return self

    def done(self, driver, caption):
        """Presses Done in the window `caption` and waits for the program to end."""
        driver.click(caption, "Done")
        self.wait_exit(20)

    def wait_exit(self, seconds=15):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise TestFailed("timed out after %d s waiting for %s to end" % (seconds, self.windows_path))

    def __exit__(self, *exc):
        for process in self.started:
            if process.poll() is None:
                process.kill()
                process.wait(timeout=10)
        return False


class Background:
    """A Windows program running beside the test; leaving the `with` block ends it. Its
    output goes to a file (see run_wine) that wait_output() reads."""

    def __init__(self, state, arguments):
        self.what = " ".join(os.path.basename(a) for a in arguments[:2])
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen(["wine"] + arguments, env=wine_env(state), stdin=subprocess.DEVNULL,
                                        stdout=self.output, stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def wait_output(self, line, seconds=30):
        """Waits until the program has printed `line`."""
        def printed():
            self.output.seek(0)
            return line.encode("latin-1") in self.output.read().splitlines()
        wait_for(printed, seconds, "%s to print %r" % (self.what, line))

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        self.output.close()
        return False


def wait_for(condition, seconds, what):
    """Polls `condition` until it holds; fails with `what` when `seconds` have passed."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise TestFailed("timed out after %d s waiting for %s" % (seconds, what))
        time.sleep(0.1)


def screenshot(state, window, name):
    """Saves the window's frame as e2e-artifacts/NAME.png and returns the path."""
    os.makedirs(artifacts_dir(), exist_ok=True)
    path = os.path.join(artifacts_dir(), name + ".png")
    geometry = "%dx%d+%d+%d" % (window["width"], window["height"], window["x"], window["y"])
    env = dict(os.environ, DISPLAY=state["display"])
    # Let the last repaint reach the X server before the grab.
    time.sleep(0.3)
    try:
        subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage", path], env=env, timeout=30,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    except subprocess.TimeoutExpired:
        raise TestFailed("timed out after 30 s waiting for the screenshot %s" % path)
    return path


class Checks:
    """Collects failed expectations so one run reports all of them."""

    def __init__(self):
        self.failures = []

    def equal(self, actual, expected, what):
        if actual != expected:
            self.failures.append("%s: expected %r, got %r" % (what, expected, actual))

    def true(self, condition, what):
        if not condition:
            self.failures.append(what)


def main(*tests):
    """Runs each test(state, driver, checks) in turn and turns the outcome into the exit code;
    a test that fails outright ends the run."""
    checks = Checks()
    try:
        state = load_state()
    except (OSError, ValueError) as error:
        print("e2e: the fixture has not run (%s)" % error, file=sys.stderr)
        return 1
    try:
        for test in tests:
            test(state, Driver(state), checks)
    except TestFailed as error:
        checks.failures.append(str(error))
    for failure in checks.failures:
        print("FAILED: " + failure, file=sys.stderr)
    return 1 if checks.failures else 0
