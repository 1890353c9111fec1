"""A package copy without its compiled engine says how to build it; with an
engine that does not load, it shows the loader's own error."""
import importlib.machinery
import re
import shutil
import subprocess
import sys

import pytest

from conftest import EMG, PYTHON_DIR

CLASSIFY = "import ombrel; ombrel.Classifier(%r)" % str(EMG / "knowledge.bin")


@pytest.mark.parametrize("engine_file, expected", [
    (None, "is not installed beside this package: build it with the project"),
    (b"not a shared object", "is there but does not load: .*(invalid ELF header|file too short)"),
])
def test_the_engine_error_says_what_to_do(tmp_path, engine_file, expected):
    package = tmp_path / "ombrel"
    shutil.copytree(PYTHON_DIR / "ombrel", package, ignore=shutil.ignore_patterns("_classifier*", "__pycache__"))
    if engine_file is not None:
        (package / ("_classifier" + importlib.machinery.EXTENSION_SUFFIXES[0])).write_bytes(engine_file)
    done = subprocess.run([sys.executable, "-c", CLASSIFY], cwd=tmp_path, env={"PYTHONPATH": str(tmp_path)},
                          capture_output=True, text=True)
    assert done.returncode == 1
    last = done.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: ombrel's compiled engine")
    assert re.search(expected, last), last
