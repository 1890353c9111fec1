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

    def test_label_forms_class_names_and_refusals(self):
        with open(os.path.join(EMG, "labels.txt")) as f:
            ids = [int(w) for w in f.read().split()]
        with tempfile.TemporaryDirectory() as tmp:
            def run(labels_text, *options):
                labels = os.path.join(tmp, "labels.txt")
                with open(labels, "w") as f:
                    f.write(labels_text)
                done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", "knowledge.bin", "signals.csv",
                                       labels, *options], cwd=EMG, capture_output=True, text=True)
                self.assertNotIn("Traceback", done.stderr)
                return done

            # 0-based ids as numpy.savetxt writes them, and names for the table and the JSON.
            saved = "".join("%.18e\n" % (i - 1) for i in ids)
            out = os.path.join(tmp, "e.json")
            done = run(saved, "--first-label", "0", "--class-names", "a,b,c,dee", "--json", out)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("accuracy: 86.21% (3008 of 3489)", done.stdout)
            self.assertIn("columns: classified as", done.stdout)
            self.assertRegex(done.stdout, r"\ndee +0\.8229")
            with open(out) as f:
                self.assertEqual(json.load(f)["class_names"], ["a", "b", "c", "dee"])
            # An output that cannot be written: the table, then one line naming the path.
            done = run("".join("%d.0\n" % i for i in ids), "--json", os.path.join(tmp, "no", "e.json"))
            self.assertEqual((done.returncode, done.stderr),
                             (1, "error: cannot write %s: No such file or directory\n" % os.path.join(tmp, "no", "e.json")))
            self.assertIn("accuracy: 86.21%", done.stdout)
            for text, options, status, message in [
                    ("1\n0\n", (), 1, "line 2: '0' is not a class id 1 to 4 (0-based ids: give --first-label 0)"),
                    ("1\n2.5\n", (), 1, "line 2: '2.5' is not a class id 1 to 4"),
                    ("0\n4\n", ("--first-label", "0"), 1, "line 2: '4' is not a class id 0 to 3"),
                    ("1\nnan\n", (), 1, "line 2: 'nan' is not a class id"),
                    ("1\n3.0\n4\n", (), 1, "has 3 labels for the 3489 signals of signals.csv"),
                    ("1\n", ("--class-names", "a,b,c"), 2, "give 4 non-empty class names")]:
                done = run(text, *options)
                self.assertEqual(done.returncode, status, text)
                self.assertIn(message, done.stderr)


if __name__ == "__main__":
    unittest.main()
