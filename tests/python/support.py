"""Runners shared by the package tests: the plain C loop, random signals and
the command on a signal file. Paths come from the harness (tests/conftest.py)."""
import os
import re
import subprocess

import numpy as np

import conftest

# As text, for os.path.join and string concatenation alike.
ROOT, EMG, CLI_DATA = str(conftest.ROOT), str(conftest.EMG), str(conftest.CLI_DATA)
BUILD = conftest.BUILD

EMULATOR = os.environ.get("OMBREL_EMULATOR", str(BUILD / "frontend" / "ombrel_emulator"))
CLASSIFY_ROWS = os.environ.get("OMBREL_CLASSIFY_ROWS", str(BUILD / "tests" / "classify_rows"))


def c_loop(knowledge, rows, workdir):
    """Probabilities and class ids of rows by classifier_run in a C program."""
    rows = np.ascontiguousarray(rows, np.float32)
    src, out = os.path.join(workdir, "rows.f32"), os.path.join(workdir, "out.bin")
    rows.tofile(src)
    subprocess.run([CLASSIFY_ROWS, knowledge, src, out], check=True, capture_output=True)
    data = np.fromfile(out, np.uint8)
    n = len(rows)
    return data[:16 * n].view(np.float32).reshape(n, 4), data[16 * n:]


def random_signals(rng, n):
    """Signals of ordinary values with NaN, infinities, zeros of both signs,
    subnormals and huge values sprinkled in."""
    x = rng.normal(0, 30, (n, 64)).astype(np.float32)
    special = np.array([np.nan, -np.nan, np.inf, -np.inf, 0.0, -0.0, 1e-45, -1e-40, 1.17e-38,
                        3.4e38, -3.4e38], np.float32)
    mask = rng.random((n, 64)) < 0.02
    x[mask] = rng.choice(special, mask.sum())
    return x


def emulator_file(knowledge, path, begin=None, end=None):
    """(exit status, stdout, [(line, class id, probabilities text)], stderr)
    of the command on a signal file."""
    words = [EMULATOR, "ombr_classification", "--knowledge_path", knowledge, "--file", path]
    if begin is not None:
        words += ["--begin", str(begin), "--end", str(end)]
    done = subprocess.run(words, capture_output=True)
    out = done.stdout.decode("latin-1")
    records = [(int(m[0]), int(m[1]), m[2]) for m in
               re.findall(r'"line": (-?\d+), "class_status": (\d+), [^\[]*\[([^\]]*)\]', out)]
    return done.returncode, out, records, done.stderr.decode("latin-1")
