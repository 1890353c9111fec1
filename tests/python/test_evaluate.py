import json
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import ombrel
from support import EMG


class EvaluateTest(unittest.TestCase):
    def test_hand_checked_case(self):
        # true:  1 1 1 2 2 3 ; given: 1 1 2 2 3 3 ; class 4 neither given nor true
        e = ombrel.evaluate(np.array([1, 1, 2, 2, 3, 3]), [1, 1, 1, 2, 2, 3])
        self.assertEqual(e.confusion_matrix.tolist(), [[2, 1, 0, 0], [0, 1, 1, 0], [0, 0, 1, 0], [0, 0, 0, 0]])
        self.assertAlmostEqual(e.accuracy, 4 / 6)
        np.testing.assert_allclose(e.precision, [1, 1 / 2, 1 / 2, 0])
        np.testing.assert_allclose(e.recall, [2 / 3, 1 / 2, 1, 0])
        np.testing.assert_allclose(e.f1, [0.8, 0.5, 2 / 3, 0])
        self.assertEqual(e.support.tolist(), [3, 2, 1, 0])
        with self.assertRaisesRegex(ValueError, "not a class id"):
            ombrel.evaluate([1, 5], [1, 1])
        with self.assertRaisesRegex(ValueError, "one label per signal"):
            ombrel.evaluate([1, 2], [1])

    def test_command_on_the_example_reports_the_published_accuracy(self):
        with tempfile.TemporaryDirectory() as tmp:
            out_json, out_png = os.path.join(tmp, "e.json"), os.path.join(tmp, "e.png")
            done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", "knowledge.bin", "signals.csv",
                                   "labels.txt", "--json", out_json, "--plot", out_png],
                                  cwd=EMG, capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(done.stderr, "")
            self.assertIn("accuracy: 86.21% (3008 of 3489)", done.stdout)
            with open(out_json) as f:
                figures = json.load(f)
            self.assertEqual(figures["signals"], 3489)
            self.assertEqual(sum(map(sum, figures["confusion_matrix"])), 3489)
            self.assertEqual(list(figures["per_class"]), figures["class_names"])
            with open(out_png, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
