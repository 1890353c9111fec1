"""Fixtures shared by every test that Python drives: the command-line cases,
the knowledge tools, the bundled example and the Python package.

The build under test is given by the environment, as ctest sets it
(tests/CMakeLists.txt), or else is build/release of this tree:
  OMBREL_EMULATOR     the emulator executable (--emulator overrides it);
  OMBREL_PYTHON_DIR   the build's copy of the package, with its engine;
  OMBREL_CLASSIFY_ROWS  the plain C loop over the library (tests/python).
--wine runs the emulator as `wine EMULATOR.exe` (a Windows build).

The package is imported one way only: from OMBREL_PYTHON_DIR, put first on
sys.path here and on PYTHONPATH for the programs the tests start.
"""
import os
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "release"
EMG = ROOT / "examples" / "emg"
CLI_DATA = ROOT / "tests" / "cli" / "data"

PYTHON_DIR = Path(os.environ.get("OMBREL_PYTHON_DIR", BUILD / "python"))
sys.path.insert(0, str(PYTHON_DIR))
os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, (str(PYTHON_DIR), os.environ.get("PYTHONPATH"))))

# Seconds any one run of the emulator may take.
TIMEOUT_SECONDS = 60


def pytest_addoption(parser):
    parser.addoption("--emulator", default=os.environ.get("OMBREL_EMULATOR",
                                                          str(BUILD / "frontend" / "ombrel_emulator")),
                     help="the emulator executable under test")
    parser.addoption("--wine", action="store_true", help="run EMULATOR.exe under wine")
    parser.addoption("--qemu-aarch64", action="store_true",
                     help="run EMULATOR, built for 64-bit Arm Linux, under qemu-user")


def pytest_configure(config):
    config.addinivalue_line("markers", "native: needs the emulator built for this machine (not under --wine)")


def pytest_collection_modifyitems(config, items):
    if config.getoption("--wine") or config.getoption("qemu_aarch64"):
        skip = pytest.mark.skip(reason="needs the native emulator")
        for item in items:
            if "native" in item.keywords:
                item.add_marker(skip)


class Emulator:
    """The emulator under test: run(*words) gives the CompletedProcess, with
    standard output and error as bytes; under wine, "\\r\\n" read as "\\n"."""

    def __init__(self, path, wine, qemu_aarch64=False):
        self.wine = wine
        if wine:
            if not path.lower().endswith(".exe"):
                path += ".exe"
            os.environ.setdefault("WINEDEBUG", "-all")
        self.path = os.path.abspath(path)
        self.command = ["wine", self.path] if wine else [self.path]
        if qemu_aarch64:
            # Debian's cross toolchain puts the Arm C library's root here.
            self.command = ["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu", self.path]

    def run(self, *words, cwd=None, env=None, timeout=TIMEOUT_SECONDS):
        environment = None if env is None else {**os.environ, **env}
        done = subprocess.run(self.command + [str(w) for w in words], cwd=cwd, env=environment,
                              capture_output=True, timeout=timeout)
        if self.wine:
            done.stdout = done.stdout.replace(b"\r\n", b"\n")
            done.stderr = done.stderr.replace(b"\r\n", b"\n")
        return done

    def classify_file(self, knowledge, path, *words, **kwargs):
        return self.run("ombr_classification", "--knowledge_path", knowledge, "--file", path, *words, **kwargs)


@pytest.fixture(scope="session")
def emulator(pytestconfig):
    return Emulator(pytestconfig.getoption("--emulator"), pytestconfig.getoption("--wine"),
                    pytestconfig.getoption("qemu_aarch64"))


@pytest.fixture(scope="session")
def classify_rows():
    """Path of the plain C loop over the library (tests/python/classify_rows.c)."""
    return os.environ.get("OMBREL_CLASSIFY_ROWS", str(BUILD / "tests" / "classify_rows"))


def random_arrays(units, seed=1):
    """The six arrays of a knowledge of `units` hidden units, random from
    `seed`: means, scales, hidden and output weights and biases."""
    import numpy as np
    rng = np.random.default_rng(seed)
    return dict(means=rng.normal(size=64), scales=rng.uniform(0.5, 2, 64),
                hidden_weights=rng.normal(size=(64, units)), hidden_biases=rng.normal(size=units),
                output_weights=rng.normal(size=(units, 4)), output_biases=rng.normal(size=4))


@pytest.fixture
def write_knowledge(tmp_path):
    """write_knowledge(name="k.bin", units=3, seed=1, **arrays_or_overrides)
    writes a knowledge of `units` hidden units through ombrel.knowledge.pack,
    from random_arrays(units, seed), which the keywords may replace, and
    returns its path. Overrides that ombrel.knowledge.pack knows
    (stored_unit_count, configuration) go through to it."""
    from ombrel import knowledge

    def write(name="k.bin", units=3, seed=1, **given):
        arrays = random_arrays(units, seed)
        arrays.update({k: v for k, v in given.items() if k in arrays})
        overrides = {k: v for k, v in given.items() if k not in arrays}
        path = tmp_path / name
        path.write_bytes(knowledge.pack(**arrays, **overrides))
        return path

    return write
