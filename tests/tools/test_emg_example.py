"""Tests of the EMG example (examples/emg): the trained knowledge, the
held-out signals and labels, the data copies and the figure in the README.

    python3 -m pytest tests/tools/test_emg_example.py
"""

import hashlib
import os
import re
import sys
import unittest

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(ROOT, "examples", "emg")
from ombrel import knowledge

sys.path.insert(0, os.path.join(ROOT, "tools"))
import train_emg  # noqa: E402


def lines(path):
    with open(os.path.join(EXAMPLE, path), "rb") as f:
        data = f.read()
    return data


class HeldOutSet(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.signals = lines("signals.csv")
        cls.labels = [int(v) for v in lines("labels.txt").decode("ascii").split()]
        cls.loaded = train_emg.load()

    def test_signals_are_the_last_30_percent_of_each_file_as_written(self):
        expected, classes = [], []
        for name, cls in (("0.csv", 2), ("1.csv", 1), ("2.csv", 3), ("3.csv", 4)):
            rows = lines(os.path.join("data", name)).decode("ascii").splitlines()
            for row in rows[len(rows) - (len(rows) - len(rows) * 7 // 10):]:
                expected.append(row.rsplit(",", 1)[0])
                classes.append(cls)
        self.assertEqual(self.signals, ("\n".join(expected) + "\n").encode("ascii"))
        self.assertEqual(self.labels, classes)
        self.assertEqual(len(self.labels), 3489)
        self.assertNotIn(b"\r", self.signals)

    def test_each_line_holds_64_values_for_the_emulator(self):
        rows = self.signals.decode("ascii").split("\n")
        self.assertEqual(rows[-1], "")
        self.assertTrue(all(len(r.split(",")) == 64 for r in rows[:-1]))

    def test_training_rows_do_not_overlap_the_held_out_rows(self):
        train_x, _, held_x, held_c, _ = self.loaded
        self.assertEqual(len(train_x) + len(held_x), 11624)
        seen = {row.tobytes() for row in train_x}
        self.assertFalse(any(row.tobytes() in seen for row in held_x))
        self.assertEqual(held_c.tolist(), self.labels)


class TrainedKnowledge(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        path = os.path.join(EXAMPLE, "knowledge.bin")
        with open(path, "rb") as f:
            cls.examination = knowledge.examine(f.read())
        cls.k = knowledge.read(path)
        signals = np.array([[float(v) for v in row.split(",")]
                            for row in lines("signals.csv").decode("ascii").splitlines()],
                           dtype=np.float32)
        cls.labels = np.array([int(v) for v in lines("labels.txt").split()])
        cls.probabilities, cls.found = knowledge.forward(cls.k, signals)

    def test_the_library_accepts_the_knowledge(self):
        self.assertTrue(self.examination.accepted, "\n".join(self.examination.lines))
        self.assertLessEqual(self.k.hidden_biases.size, knowledge.HIDDEN_CAPACITY)

    def test_held_out_accuracy_reaches_80_percent(self):
        accuracy = float((self.found == self.labels).mean())
        self.assertGreaterEqual(accuracy, 0.80)
        for cls in range(1, 5):        # no class is given up
            self.assertGreater(float((self.found[self.labels == cls] == cls).mean()), 0.5, cls)

    def test_the_readme_states_the_measured_accuracy(self):
        with open(os.path.join(EXAMPLE, "README.md")) as f:
            text = f.read()
        m = re.search(r"held-out accuracy: ([\d.]+)% \((\d+) of (\d+)\)", text)
        self.assertIsNotNone(m, "accuracy line missing from the README")
        hits = int((self.found == self.labels).sum())
        self.assertEqual((int(m.group(2)), int(m.group(3))), (hits, len(self.labels)))
        self.assertEqual(m.group(1), "%.2f" % (100.0 * hits / len(self.labels)))

    def test_no_class_is_decided_by_a_last_bit_difference(self):
        # the emulator's tanh and exp may differ from numpy's in the last
        # bit; a wide margin keeps its classes equal to these
        top = np.sort(self.probabilities, axis=1)
        self.assertGreater(float((top[:, -1] - top[:, -2]).min()), 1e-5)


class DataCopies(unittest.TestCase):
    def test_data_files_are_unmodified_and_carry_their_licence(self):
        source = lines(os.path.join("data", "SOURCE.md")).decode("utf-8")
        for name in ("0.csv", "1.csv", "2.csv", "3.csv"):
            digest = hashlib.sha256(lines(os.path.join("data", name))).hexdigest()
            self.assertIn("%s  %s" % (digest, name), source)
        self.assertIn("Apache License", lines(os.path.join("data", "LICENSE")).decode("ascii"))
        self.assertIn("Copyright 2018 Cyber Punks", lines(os.path.join("data", "NOTICE")).decode("ascii"))


if __name__ == "__main__":
    unittest.main()
