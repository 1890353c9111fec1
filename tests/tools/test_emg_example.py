"""Tests of the EMG example (examples/emg): the trained knowledge, the
held-out signals and labels, the data copies and the figure in the README.

    python3 -m pytest tests/tools/test_emg_example.py
"""

import hashlib
import os
import re
import sys

import numpy as np
import pytest

from conftest import EMG as EXAMPLE, ROOT
from ombrel import knowledge
from numpy_network import forward

sys.path.insert(0, str(ROOT / "tools"))
import train_emg  # noqa: E402


def lines(path):
    return (EXAMPLE / path).read_bytes()


# --- The held-out set ----------------------------------------------------------

@pytest.fixture(scope="module")
def held_out():
    return dict(signals=lines("signals.csv"), labels=[int(v) for v in lines("labels.txt").decode("ascii").split()],
                loaded=train_emg.load())


def test_signals_are_the_last_30_percent_of_each_file_as_written(held_out):
    expected, classes = [], []
    for name, cls in (("0.csv", 2), ("1.csv", 1), ("2.csv", 3), ("3.csv", 4)):
        rows = lines(os.path.join("data", name)).decode("ascii").splitlines()
        for row in rows[len(rows) - (len(rows) - len(rows) * 7 // 10):]:
            expected.append(row.rsplit(",", 1)[0])
            classes.append(cls)
    assert held_out["signals"] == ("\n".join(expected) + "\n").encode("ascii")
    assert held_out["labels"] == classes
    assert len(held_out["labels"]) == 3489
    assert b"\r" not in held_out["signals"]


def test_each_line_holds_64_values_for_the_emulator(held_out):
    rows = held_out["signals"].decode("ascii").split("\n")
    assert rows[-1] == ""
    assert all(len(r.split(",")) == 64 for r in rows[:-1])


def test_training_rows_do_not_overlap_the_held_out_rows(held_out):
    train_x, _, held_x, held_c, _ = held_out["loaded"]
    assert len(train_x) + len(held_x) == 11624
    seen = {row.tobytes() for row in train_x}
    assert not any(row.tobytes() in seen for row in held_x)
    assert held_c.tolist() == held_out["labels"]


# --- The trained knowledge -----------------------------------------------------

@pytest.fixture(scope="module")
def trained():
    path = EXAMPLE / "knowledge.bin"
    signals = np.array([[float(v) for v in row.split(",")]
                        for row in lines("signals.csv").decode("ascii").splitlines()], dtype=np.float32)
    k = knowledge.read(path)
    probabilities, found = forward(k, signals)
    return dict(examination=knowledge.examine(path.read_bytes()), k=k, probabilities=probabilities, found=found,
                labels=np.array([int(v) for v in lines("labels.txt").split()]))


def test_the_library_accepts_the_knowledge(trained):
    assert trained["examination"].accepted, "\n".join(trained["examination"].lines)
    assert trained["k"].hidden_biases.size <= knowledge.HIDDEN_CAPACITY


def test_held_out_accuracy_reaches_80_percent(trained):
    found, labels = trained["found"], trained["labels"]
    assert float((found == labels).mean()) >= 0.80
    for cls in range(1, 5):        # no class is given up
        assert float((found[labels == cls] == cls).mean()) > 0.5, cls


def test_the_readme_states_the_measured_accuracy(trained):
    m = re.search(r"held-out accuracy: ([\d.]+)% \((\d+) of (\d+)\)", (EXAMPLE / "README.md").read_text())
    assert m, "accuracy line missing from the README"
    hits = int((trained["found"] == trained["labels"]).sum())
    assert (int(m.group(2)), int(m.group(3))) == (hits, len(trained["labels"]))
    assert m.group(1) == "%.2f" % (100.0 * hits / len(trained["labels"]))


def test_no_class_is_decided_by_a_last_bit_difference(trained):
    # the emulator's tanh and exp may differ from numpy's in the last bit;
    # a wide margin keeps its classes equal to these
    top = np.sort(trained["probabilities"], axis=1)
    assert float((top[:, -1] - top[:, -2]).min()) > 1e-5


def test_data_files_are_unmodified_and_carry_their_licence():
    source = lines(os.path.join("data", "SOURCE.md")).decode("utf-8")
    for name in ("0.csv", "1.csv", "2.csv", "3.csv"):
        digest = hashlib.sha256(lines(os.path.join("data", name))).hexdigest()
        assert "%s  %s" % (digest, name) in source
    assert "Apache License" in lines(os.path.join("data", "LICENSE")).decode("ascii")
    assert "Copyright 2018 Cyber Punks" in lines(os.path.join("data", "NOTICE")).decode("ascii")
