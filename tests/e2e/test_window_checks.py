#!/usr/bin/env python3
"""The window's behaviour checked from inside a Windows program (pq_window_checks.exe)."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_lib import main, run_checks  # noqa: E402


def test(state, driver, checks):
    run_checks(state, [os.environ["PQ_WINDOW_CHECKS_EXE"]], 120, "the window checks")


if __name__ == "__main__":
    sys.exit(main(test))
