#!/usr/bin/env python3
"""pqpack.exe, the builder for Windows authors, runs under Wine and builds the same installer,
byte for byte, as the Linux pqpack from the same inputs, and the same streams on any number of
threads."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import TestFailed, main, run_wine, windows_path_of  # noqa: E402


def test(state, driver, checks):
    exe = os.environ["PQ_PQPACK_EXE"]
    samples = os.environ["PQ_SAMPLES_DIR"]
    inputs = ["--stub", os.environ["PQ_SETUP_EXE"], "--library", os.environ["PQ_IMPBORL_FILE"],
              os.path.join(samples, "Sunset.scr"), os.path.join(samples, "Sunset.ssd")]

    version = run_wine(state, [exe, "--version"], timeout=60)
    checks.equal(version.stdout.decode("latin-1").strip().startswith("pqpack "), True, "pqpack.exe --version")

    with tempfile.TemporaryDirectory() as folder:
        on_windows = os.path.join(folder, "windows.exe")
        built = run_wine(state, [exe, "build", "-o", windows_path_of(on_windows)] +
                         [windows_path_of(p) if os.path.isabs(p) else p for p in inputs], timeout=300)
        if built.returncode != 0:
            raise TestFailed("pqpack.exe build failed (%d): %s" % (built.returncode,
                                                                  built.stderr.decode("latin-1").strip()))
        on_linux = os.path.join(folder, "linux.exe")
        subprocess.run([os.environ["PQ_PQPACK"], "build", "-o", on_linux] + inputs, check=True,
                       capture_output=True, timeout=300)
        with open(on_windows, "rb") as a, open(on_linux, "rb") as b:
            checks.true(a.read() == b.read(), "pqpack.exe and the Linux pqpack built different installers")
        verified = subprocess.run([os.environ["PQ_PQPACK"], "verify", on_windows], capture_output=True, timeout=300)
        checks.equal(verified.returncode, 0, "verify of the installer pqpack.exe built: %s" %
                     verified.stdout.decode("latin-1").strip())

        # The installer program is long enough to be compressed in pieces on several threads
        # (Win32 threads here): one stream, whatever the count, and the Linux one.
        program = os.environ["PQ_SETUP_EXE"]
        linux_stream = os.path.join(folder, "linux.imp")
        subprocess.run([os.environ["PQ_PQPACK"], "implode", "--level", "best", program, linux_stream], check=True,
                       capture_output=True, timeout=300)
        with open(linux_stream, "rb") as stream:
            expected = stream.read()
        for threads in ("1", "3"):
            on_windows = os.path.join(folder, "windows-%s.imp" % threads)
            imploded = run_wine(state, [exe, "implode", "--level", "best", "--threads", threads,
                                        windows_path_of(program), windows_path_of(on_windows)], timeout=300)
            checks.equal(imploded.returncode, 0, "pqpack.exe implode --threads %s" % threads)
            with open(on_windows, "rb") as stream:
                checks.true(stream.read() == expected,
                            "pqpack.exe implode --threads %s differs from the Linux stream" % threads)


if __name__ == "__main__":
    sys.exit(main(test))
