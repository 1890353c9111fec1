"""`pip install --no-build-isolation ./python` from a clean copy of the
source tree, into a fresh virtual environment over the system's packages,
gives an engine that loads and classifies the EMG example with the bits of
the plain C loop over the library, and the classes and printed
probabilities of the command; its commands run. Offline: pip reads no package index."""
import os
import re
import shutil
import subprocess
import sys

import numpy as np

from conftest import EMG, ROOT
from support import c_loop

CLASSIFY = """
import sys, numpy as np, ombrel._classifier, ombrel
print(ombrel._classifier.__file__, file=sys.stderr)
import importlib.resources as files
assert all((files.files("ombrel.report") / name).is_file() for name in ("report_page_data.js", "report_page_views.js", "report_page.css"))
X = np.loadtxt(sys.argv[1], delimiter=",", dtype=np.float32, ndmin=2)
ids, p = ombrel.Classifier(sys.argv[2]).classify(X)
np.save(sys.argv[3], p)
np.save(sys.argv[4], ids)
"""


def clean_copy(destination):
    """The tracked and new (not ignored) files of the tree, as they are now."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, capture_output=True, check=True).stdout
    for name in filter(None, listed.decode().split("\0")):
        source = ROOT / name
        if source.is_file():
            target = destination / name
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(source, target)


def test_the_python_page_gives_these_steps():
    page = (ROOT / "docs" / "python.md").read_text()
    steps = re.search(r"^/usr/bin/python3 -m venv --system-site-packages (\S+)\n\1/bin/pip install "
                      r"--no-build-isolation \./python\n\1/bin/ombrel-knowledge inspect ", page, re.M)
    assert steps, "docs/python.md no longer shows the steps this test runs"


def test_pip_install_from_a_clean_copy_classifies_as_the_command(tmp_path, emulator):
    tree = tmp_path / "tree"
    clean_copy(tree)
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv], check=True)
    python = venv / "bin" / "python3"
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    environment.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    done = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "./python"], cwd=tree,
                          env=environment, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]
    inspected = subprocess.run([venv / "bin" / "ombrel-knowledge", "inspect", EMG / "knowledge.bin"],
                               env=environment, capture_output=True, text=True)
    assert inspected.stdout.endswith("verdict: accepted\n"), inspected.stderr

    knowledge, signals = EMG / "knowledge.bin", EMG / "signals.csv"
    p_file, ids_file = tmp_path / "p.npy", tmp_path / "ids.npy"
    done = subprocess.run([python, "-c", CLASSIFY, signals, knowledge, p_file, ids_file], cwd=tmp_path,
                          env=environment, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stderr.startswith(str(venv)), "the engine was not loaded from the virtual environment"
    p, ids = np.load(p_file), np.load(ids_file)

    rows = np.loadtxt(signals, delimiter=",", dtype=np.float32, ndmin=2)
    expected_p, expected_ids = c_loop(str(knowledge), rows, str(tmp_path))
    np.testing.assert_array_equal(p.view(np.uint32), expected_p.view(np.uint32))
    np.testing.assert_array_equal(ids, expected_ids)

    report = emulator.classify_file(knowledge, signals).stdout.decode()
    records = re.findall(r'"class_status": (\d+), [^\[]*\[([^\]]*)\]', report)
    assert [int(c) for c, _ in records] == ids.tolist()
    assert [text for _, text in records] == [", ".join("%.2f" % v for v in row) for row in p]
