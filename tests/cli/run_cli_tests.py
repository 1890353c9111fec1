#!/usr/bin/python3
"""Runs the command-line cases of ombrel_emulator and compares its output.

Usage: run_cli_tests.py EMULATOR [--case NAME] [--wine]

Every case of cases.json (next to this script) runs the emulator with its
argument words, with this script's directory as working directory.  A case
passes when the whole standard output equals expected/NAME.out byte for
byte, the exit status is the expected one and standard error is the case's
"stderr" text (the misalignment warning), or empty when it has none.  A
successful report whose values are all finite, and whose path needs no
escaping, must also parse as JSON.

--wine runs `wine EMULATOR.exe` instead (a Windows build) and reads "\r\n"
in its output as "\n", since the console there writes text-mode line ends.
--case NAME runs only that case (may be given more than once).

The expected files and data are written by make_cases.py.
"""

import argparse
import difflib
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TIMEOUT_SECONDS = 30
DIFF_LINES = 40


def describe_difference(expected, actual):
    """A unified diff of the first differences, each line shown with repr()."""
    def lines(data):
        return [repr(line) for line in data.splitlines(keepends=True)]

    diff = list(difflib.unified_diff(lines(expected), lines(actual), "expected", "actual", lineterm="", n=2))
    if len(diff) > DIFF_LINES:
        diff = diff[:DIFF_LINES] + ["... (%d more diff lines)" % (len(diff) - DIFF_LINES)]
    return "\n".join("    " + line for line in diff)


def run_case(command, case, wine):
    problems = []
    try:
        result = subprocess.run(command + case["args"], cwd=HERE, capture_output=True, timeout=TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired:
        return ["timed out after %d s" % TIMEOUT_SECONDS]
    except OSError as error:
        return ["could not start: %s" % error]
    stdout = result.stdout
    if wine:
        stdout = stdout.replace(b"\r\n", b"\n")
    with open(os.path.join(HERE, case["expected"]), "rb") as f:
        expected = f.read()
    if result.returncode != case["status"]:
        problems.append("exit status %d, expected %d" % (result.returncode, case["status"]))
    if stdout != expected:
        problems.append("standard output differs:\n" + describe_difference(expected, stdout))
    stderr = result.stderr.replace(b"\r\n", b"\n") if wine else result.stderr
    if stderr != case.get("stderr", "").encode("utf-8"):
        problems.append("standard error %r, expected %r" % (stderr[:500], case.get("stderr", "")))
    if case.get("json") and result.returncode == 0:
        try:
            json.loads(stdout.decode("utf-8"))
        except ValueError as error:
            problems.append("report is not JSON: %s" % error)
    return problems


def main():
    parser = argparse.ArgumentParser(description="Command-line tests of ombrel_emulator.")
    parser.add_argument("emulator", help="path of the emulator executable")
    parser.add_argument("--case", action="append", default=[], metavar="NAME", help="run only this case")
    parser.add_argument("--wine", action="store_true", help="run EMULATOR.exe under wine")
    options = parser.parse_args()

    emulator = os.path.abspath(options.emulator)
    if options.wine:
        if not emulator.lower().endswith(".exe"):
            emulator += ".exe"
        command = ["wine", emulator]
        os.environ.setdefault("WINEDEBUG", "-all")
    else:
        command = [emulator]

    with open(os.path.join(HERE, "cases.json"), encoding="utf-8") as f:
        cases = json.load(f)
    if options.case:
        unknown = set(options.case) - {case["name"] for case in cases}
        if unknown:
            print("unknown case: %s" % ", ".join(sorted(unknown)))
            return 2
        cases = [case for case in cases if case["name"] in options.case]

    passed = failed = 0
    for case in cases:
        problems = run_case(command, case, options.wine)
        if problems:
            failed += 1
            print("FAIL %s: %s" % (case["name"], " ".join(repr(word) for word in case["args"])))
            for problem in problems:
                print("  " + problem)
        else:
            passed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
