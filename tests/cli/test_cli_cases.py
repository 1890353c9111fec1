"""The command-line cases of cli/cases.json, written with their data and
expected output by make_cases.py (its own model of the classifier).

A case passes when the whole standard output equals expected/NAME.out byte
for byte, the exit status is the expected one and standard error is the
case's "stderr" text (the misalignment warning), or empty. A successful
report whose values are all finite, and whose path needs no escaping, must
also parse as JSON. Every case runs with this directory as working
directory, once with the default threads, once sequentially, and once
threaded with blocks so small that a boundary falls on every line (under
--wine: the default alone).

    python3 -m pytest tests/cli -k NAME
"""
import difflib
import json
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
CASES = json.loads((HERE / "cases.json").read_text(encoding="utf-8"))
SETTINGS = {
    "default": {},
    "sequential": {"OMBREL_THREADS": "1"},
    "small_blocks": {"OMBREL_THREADS": "3", "OMBREL_TEST_BLOCK_BYTES": "5"},
}
DIFF_LINES = 40


def difference(expected, actual):
    """A unified diff of the first differences, each line shown with repr()."""
    def lines(data):
        return [repr(line) for line in data.splitlines(keepends=True)]

    diff = list(difflib.unified_diff(lines(expected), lines(actual), "expected", "actual", lineterm="", n=2))
    if len(diff) > DIFF_LINES:
        diff = diff[:DIFF_LINES] + ["... (%d more diff lines)" % (len(diff) - DIFF_LINES)]
    return "\n".join(diff)


def settings_for(config):
    return ["default"] if config.getoption("--wine") else list(SETTINGS)


def pytest_generate_tests(metafunc):
    if "case" in metafunc.fixturenames:
        metafunc.parametrize("setting", settings_for(metafunc.config))
        metafunc.parametrize("case", CASES, ids=[case["name"] for case in CASES])


def test_case(emulator, case, setting):
    done = emulator.run(*case["args"], cwd=HERE, env=SETTINGS[setting])
    expected = (HERE / case["expected"]).read_bytes()
    assert done.stdout == expected, "standard output differs:\n" + difference(expected, done.stdout)
    assert done.returncode == case["status"]
    assert done.stderr == case.get("stderr", "").encode("utf-8")
    if case.get("json") and done.returncode == 0:
        json.loads(done.stdout.decode("utf-8"))
