#!/usr/bin/env python3
"""Writes measured figures into a documentation page.

  write_doc_table.py PAGE NAME [--tool COMMAND] < FIGURES

Replaces what stands between the lines "<!-- begin NAME -->" and
"<!-- end NAME -->" of PAGE with a line giving the date and the machine of
the run, then FIGURES (markdown read from standard input). The figures of a
page are only ever written this way, by the script that measured them, so
that none stays behind the code it describes.

--tool COMMAND adds the first line of `COMMAND --version` to the machine
(a cross compiler, for instance)."""
import argparse
import datetime
import os
import platform
import re
import subprocess
import sys


def first_line(command):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=True).stdout.split("\n")[0].strip()
    except (OSError, subprocess.CalledProcessError):
        return None


def machine(tools):
    cpu = None
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), None)
    except OSError:
        pass
    parts = [cpu or platform.machine(), "%d cores" % len(os.sched_getaffinity(0))]
    try:
        with open("/proc/meminfo") as f:
            kib = int(f.readline().split()[1])
        parts.append("%.0f GiB" % (kib / 2**20))
    except (OSError, ValueError, IndexError):
        pass
    try:
        with open("/etc/os-release") as f:
            name = re.search(r'^PRETTY_NAME="?([^"\n]*)', f.read(), re.M)
        if name:
            parts.append(name.group(1))
    except OSError:
        pass
    for command in ["c++"] + tools:
        version = first_line([command, "--version"])
        if version:
            parts.append(version)
    return ", ".join(parts)


def replace(text, name, body):
    begin, end = "<!-- begin %s -->" % name, "<!-- end %s -->" % name
    pattern = re.compile(r"^%s\n.*?^%s$" % (re.escape(begin), re.escape(end)), re.M | re.S)
    if not pattern.search(text):
        raise SystemExit("no '%s' ... '%s' lines in the page" % (begin, end))
    return pattern.sub(lambda _: "%s\n%s%s" % (begin, body, end), text, count=1)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("page")
    p.add_argument("name")
    p.add_argument("--tool", action="append", default=[])
    args = p.parse_args()
    figures = sys.stdin.read().strip("\n")
    if not figures:
        raise SystemExit("no figures on standard input")
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    body = "Measured %s on %s.\n\n%s\n" % (now, machine(args.tool), figures)
    with open(args.page, encoding="utf-8") as f:
        text = replace(f.read(), args.name, body)
    with open(args.page, "w", encoding="utf-8") as f:
        f.write(text)
    print("wrote %s into %s" % (args.name, args.page))


if __name__ == "__main__":
    main()
