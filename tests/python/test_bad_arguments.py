"""Every command of the package (python3 -m ombrel.knowledge and its
subcommands, python3 -m ombrel.evaluate; the console scripts run the same
mains) on missing, unwritable and wrong files and bad option values: no
traceback, no third-party warning, status 1 with one error line naming the
user's path, or 2 for a usage error."""

import concurrent.futures
import json
import shutil
import subprocess
import sys

import numpy as np
import pytest

from ombrel import knowledge
import onnx_models as om
from conftest import PYTHON_DIR
from support import EMG

K, E = ["-m", "ombrel.knowledge"], ["-m", "ombrel.evaluate"]
SIGNALS, LABELS = EMG + "/signals.csv", EMG + "/labels.txt"
# (arguments, status, what the error line names); files are in the case's directory.
CASES = [
    (K, 2, "usage"), (K + ["bogus"], 2, "usage"), (K + ["write"], 2, "usage"),
    (K + ["write", "--from-npz", "missing.npz", "o.bin"], 1, "missing.npz"),
    (K + ["write", "--from-npz", "adir", "o.bin"], 1, "adir"),
    (K + ["write", "--from-npz", "text.txt", "o.bin"], 1, "text.txt"),
    (K + ["write", "--from-json", "text.json", "o.bin"], 1, "text.json"),
    (K + ["write", "--from-npz", "partial.npz", "o.bin"], 1, "partial.npz"),
    (K + ["write", "--from-npz", "arrays.npz", "no/o.bin"], 1, "no/o.bin"),
    (K + ["write", "--from-npz", "arrays.npz", "adir"], 1, "adir"),
    (K + ["read", "missing.bin"], 1, "missing.bin"), (K + ["read", "adir"], 1, "adir"),
    (K + ["read", "text.txt"], 1, "text.txt"), (K + ["read", "k.bin", "--npz", "no/x.npz"], 1, "no/x.npz"),
    (K + ["read", "k.bin", "--json", "adir"], 1, "adir"),
    (K + ["inspect", "missing.bin"], 1, "missing.bin"), (K + ["inspect", "adir"], 1, "adir"),
    (K + ["import", "missing.onnx", "o.bin"], 1, "missing.onnx"), (K + ["import", "adir", "o.bin"], 1, "adir"),
    (K + ["import", "text.txt", "o.bin"], 1, "text.txt"), (K + ["import", "empty", "o.bin"], 1, "empty"),
    (K + ["import", "k.bin", "o.bin"], 1, "k.bin"), (K + ["import", "m.onnx", "no/o.bin"], 1, "no/o.bin"),
    (K + ["import", "m.onnx", "adir"], 1, "adir"),
    (K + ["import", "three.onnx", "o.bin"], 1, "--pad-classes"),
    (K + ["import", "m.onnx", "o.bin", "--check", "missing.csv"], 1, "missing.csv"),
    (K + ["import", "m.onnx", "o.bin", "--check", "adir"], 1, "adir"),
    (K + ["import", "m.onnx", "o.bin", "--check", "text.txt"], 1, "text.txt"),
    (K + ["import", "m.onnx", "o.bin", "--means", "missing.npy"], 1, "missing.npy"),
    (K + ["import", "m.onnx", "o.bin", "--means", "text.txt"], 1, "text.txt"),
    (K + ["import", "m.onnx", "o.bin", "--means", "short.json"], 1, "short.json"),
    (K + ["import", "m.onnx", "o.bin", "--stds", "zeros.txt"], 1, "zeros.txt: 0 at input 0"),
    (K + ["import", "m.onnx", "o.bin", "--stds", "zeros.txt", "--scales", "zeros.txt"], 2, "usage"),
    (E, 2, "usage"), (E + ["k.bin", SIGNALS, LABELS, "--class-names", "a"], 2, "usage"),
    (E + ["k.bin", SIGNALS, LABELS, "--first-label", "2"], 2, "usage"),
    (E + ["missing.bin", SIGNALS, LABELS], 1, "missing.bin"), (E + ["adir", SIGNALS, LABELS], 1, "adir"),
    (E + ["text.txt", SIGNALS, LABELS], 1, "text.txt"), (E + ["k.bin", "missing.csv", LABELS], 1, "missing.csv"),
    (E + ["k.bin", "adir", LABELS], 1, "adir"), (E + ["k.bin", "text.txt", LABELS], 1, "text.txt"),
    (E + ["k.bin", SIGNALS, "missing.txt"], 1, "missing.txt"), (E + ["k.bin", SIGNALS, "adir"], 1, "adir"),
    (E + ["k.bin", SIGNALS, "text.txt"], 1, "text.txt"),
    (E + ["k.bin", SIGNALS, LABELS, "--json", "adir"], 1, "adir"),
    (E + ["k.bin", SIGNALS, LABELS, "--plot", "no/p.png"], 1, "no/p.png"),
    (E + ["k.bin", SIGNALS, LABELS, "--plot", "p.unknown"], 1, "p.unknown"),
]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    d = tmp_path_factory.mktemp("bad")
    (d / "adir").mkdir()
    (d / "text.txt").write_text("hello\n")
    (d / "text.json").write_text("hello\n")
    (d / "empty").write_bytes(b"")
    (d / "short.json").write_text("[1, 2, 3]")
    (d / "zeros.txt").write_text("0 " * 64)
    k = knowledge.read(EMG + "/knowledge.bin")
    (d / "k.bin").write_bytes(knowledge.pack(*(getattr(k, n) for n in knowledge.ARRAY_NAMES)))
    np.savez(d / "arrays.npz", **{n: getattr(k, n) for n in knowledge.ARRAY_NAMES})
    np.savez(d / "partial.npz", means=k.means)
    om.save(om.build(om.network(1)), str(d / "m.onnx"))
    om.save(om.build(om.network(1, classes=3)), str(d / "three.onnx"))
    return d


def test_no_traceback_for_any_bad_argument(files):
    def run(case):
        return subprocess.run([sys.executable, "-W", "default", *case[0]], cwd=files, capture_output=True, text=True)

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        runs = list(pool.map(run, CASES))
    failures = []
    for (args, status, named), done in zip(CASES, runs):
        lines = done.stderr.splitlines()
        if status == 1:
            fine = len(lines) == 1 and lines[0].startswith("error: ") and named in lines[0]
        else:
            fine = lines[0].startswith("usage: ") and "error: " in lines[-1]
        fine = fine and done.returncode == status and "Traceback" not in done.stderr
        if not fine:
            failures.append("%s -> %d\n%s" % (" ".join(args), done.returncode, done.stderr))
    assert not failures, "\n".join(failures)


def test_import_without_the_engine_says_how_to_build_it(files, tmp_path):
    package = tmp_path / "ombrel"
    shutil.copytree(PYTHON_DIR / "ombrel", package, ignore=shutil.ignore_patterns("_classifier*", "__pycache__"))

    def run(*options):
        return subprocess.run([sys.executable, "-m", "ombrel.knowledge", "import", files / "m.onnx",
                               tmp_path / "o.bin", *options], cwd=tmp_path, env={"PYTHONPATH": str(tmp_path)},
                              capture_output=True, text=True)
    for options in (("--check", SIGNALS), ()):
        done = run(*options)
        assert (done.returncode, done.stdout) == (1, ""), options
        assert done.stderr.startswith("error: the import check runs the knowledge on the library itself: ")
        assert "build it" in done.stderr and "--no-check" in done.stderr and done.stderr.count("\n") == 1
    assert run("--no-check").returncode == 0
    assert json.loads((tmp_path / "o.card.json").read_text())["check"] == {"skipped": "--no-check"}
    evaluated = subprocess.run([sys.executable, "-m", "ombrel.evaluate", EMG + "/knowledge.bin", SIGNALS], cwd=tmp_path,
                               env={"PYTHONPATH": str(tmp_path)}, capture_output=True, text=True)
    assert (evaluated.returncode, evaluated.stdout) == (1, "")
    assert evaluated.stderr.startswith("error: ombrel's compiled engine") and evaluated.stderr.count("\n") == 1
