#!/usr/bin/env python3
"""pqpack as an author installs it: cpack makes the Debian package of what cmake --install puts
in place, the package is unpacked into a scratch root (dpkg -x), and the pqpack found there
builds a verified installer from the pqsetup.exe and impborl.dll installed beside it, with no
--stub or --library and no project folder around it.

Usage: test_debian_package.py BUILD_FOLDER WINDOWS_FILES
"""
import gzip
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

BUILD = Path(sys.argv[1])
WINDOWS_FILES = Path(sys.argv[2])
SKIPPED = 77


def run(command, **options):
    result = subprocess.run([str(part) for part in command], capture_output=True, text=True, timeout=600, **options)
    if result.returncode != 0:
        raise AssertionError("%s exited %d:\n%s%s" % (command, result.returncode, result.stdout, result.stderr))
    return result.stdout


def main():
    if not all((WINDOWS_FILES / name).exists() for name in ("pqsetup.exe", "impborl.dll", "Sunset.scr", "Sunset.ssd")):
        print("skipped: no win32 build in %s" % WINDOWS_FILES)
        return SKIPPED
    scratch = Path(tempfile.mkdtemp(prefix="pqpack_package_"))
    try:
        run(["cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", scratch / "package"])
        packages = list((scratch / "package").glob("*.deb"))
        assert len(packages) == 1, "one package, not %s" % packages
        fields = run(["dpkg-deb", "--field", packages[0], "Package", "Depends"])
        assert "Package: pqpack" in fields and "libssl3" in fields and "libc6" in fields, fields

        root = scratch / "root"
        run(["dpkg", "-x", packages[0], root])
        pqpack = root / "usr/bin/pqpack"
        stub = root / "usr/share/panoquill/pqsetup.exe"
        assert stub.read_bytes() == (WINDOWS_FILES / "pqsetup.exe").read_bytes()
        assert (root / "usr/share/panoquill/impborl.dll").read_bytes() == (WINDOWS_FILES / "impborl.dll").read_bytes()
        with gzip.open(root / "usr/share/man/man1/pqpack.1.gz", "rt") as page:
            text = page.read()
        assert text.startswith(".TH PQPACK 1 ") and "\n.SS build\n" in text and "--sign-pass-file" in text, text[:300]

        work = scratch / "work"
        work.mkdir()
        for name in ("Sunset.scr", "Sunset.ssd"):
            shutil.copy(WINDOWS_FILES / name, work / name)
        run([pqpack, "build", "-o", "Setup.exe", "Sunset.scr", "Sunset.ssd"], cwd=work)
        assert (work / "Setup.exe").read_bytes().startswith(stub.read_bytes()), "the installed pqsetup.exe was used"
        assert run([pqpack, "verify", "Setup.exe"], cwd=work) == "Setup.exe: no problems\n"
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("the package installs a pqpack that builds installers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
