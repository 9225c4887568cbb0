#!/usr/bin/env python3
"""The window's behaviour checked from inside a Windows program (pq_window_checks.exe)."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import TestFailed, main, run_wine  # noqa: E402


def test(state, driver, checks):
    result = run_wine(state, [os.environ["PQ_WINDOW_CHECKS_EXE"]], 120, "the window checks")
    output = result.stdout.decode("latin-1")
    print(output)
    if result.returncode != 0:
        raise TestFailed("the window checks failed (exit %d):\n%s%s" %
                         (result.returncode, output, result.stderr.decode("latin-1")))


if __name__ == "__main__":
    sys.exit(main(test))
