#!/usr/bin/env python3
"""Writes pqpack's manual page, pqpack(1), from pqpack's own help texts, so that the page
and --help never disagree: the overview, then each command's help as pqpack prints it.

Usage: make_man_page.py PQPACK OUT.1.gz
"""
import gzip
import re
import subprocess
import sys


def helpOf(pqpack, *command):
    return subprocess.run([pqpack, *command, "--help"], check=True, capture_output=True, text=True).stdout


def roff(text):
    """Text set as it stands: backslashes escaped, no line read as a request."""
    lines = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def main():
    pqpack, output = sys.argv[1], sys.argv[2]
    overview = helpOf(pqpack)
    version = subprocess.run([pqpack, "--version"], check=True, capture_output=True, text=True).stdout.split()[1]
    description = overview.split("\n", 1)[0]
    commands = re.findall(r"^  (\w+) {2,}(.*)$", overview.split("Commands:", 1)[1], re.MULTILINE)
    page = [
        '.TH PQPACK 1 "" "pqpack %s" "User Commands"' % version,
        ".SH NAME",
        "pqpack \\- build and inspect Panoquill installers",
        ".SH SYNOPSIS",
        ".B pqpack",
        ".I COMMAND",
        "[\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]",
        ".SH DESCRIPTION",
        roff(description),
        ".PP",
        ".nf",
        roff(overview.split("\n", 1)[1]),
        ".fi",
        ".SH COMMANDS",
    ]
    for name, summary in commands:
        page += [".SS %s" % name, roff(summary), ".PP", ".nf", roff(helpOf(pqpack, name).split("\n", 1)[1]), ".fi"]
    with open(output, "wb") as file:
        # No name and no time in the header: the same page gives the same bytes.
        with gzip.GzipFile(filename="", mode="wb", fileobj=file, compresslevel=9, mtime=0) as packed:
            packed.write(("\n".join(page) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
