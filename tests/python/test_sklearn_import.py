"""scikit-learn import: a Pipeline trained on the EMG example's data gives a
knowledge whose classes, through the emulator, agree with the Pipeline's
predict on the held-out signals; unsupported estimators are refused.

Run by ctest, which sets OMBREL_EMULATOR to the emulator binary."""

import os
import re
import subprocess
import sys
import tempfile
import unittest
import warnings

import numpy as np
from sklearn.exceptions import ConvergenceWarning
from sklearn.neural_network import MLPClassifier
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import MinMaxScaler, Normalizer, StandardScaler

from ombrel import knowledge

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(ROOT, "examples", "emg")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import train_emg  # noqa: E402


def fit(model, x, y):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ConvergenceWarning)
        return model.fit(x, y)


class EmgPipeline(unittest.TestCase):
    @unittest.skipUnless(os.environ.get("OMBREL_EMULATOR"), "OMBREL_EMULATOR not set")
    def test_emulator_agrees_with_predict_on_held_out_signals(self):
        train_x, train_c, held_x, _, _ = train_emg.load()
        pipe = fit(make_pipeline(StandardScaler(), MLPClassifier(
            (12,), activation="tanh", max_iter=40, random_state=1)), train_x, train_c)
        notes = []
        floats = knowledge.from_sklearn(pipe, notes=notes)
        self.assertEqual(notes, ["class ids: 1 = 1, 2 = 2, 3 = 3, 4 = 4"])
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "k.bin")
            knowledge.write(path, floats)
            run = subprocess.run([os.environ["OMBREL_EMULATOR"], "ombr_classification",
                                  "--knowledge_path", path, "--file",
                                  os.path.join(EXAMPLE, "signals.csv")],
                                 capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout[-500:])
        found = np.array([int(c) for c in re.findall(r'"class_status": (\d+)', run.stdout)])
        expected = pipe.predict(held_x)
        top = np.sort(pipe.predict_proba(held_x), axis=1)
        clear = top[:, -1] - top[:, -2] > 1e-4
        self.assertEqual(len(found), len(expected))
        agree = int((found == expected).sum())
        print("\nEMG held-out signals: emulator agrees with predict on %d of %d (%.2f%%); "
              "accuracy %.2f%%" % (agree, len(found), 100.0 * agree / len(found),
                                   100.0 * (found == train_emg.load()[3]).mean()), file=sys.stderr)
        np.testing.assert_array_equal(found[clear], expected[clear])


class SmallModels(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        rng = np.random.default_rng(5)
        cls.x = rng.normal(size=(300, 64))
        cls.y = np.array(["a", "b", "c"])[(cls.x[:, 0] > 0).astype(int) + (cls.x[:, 1] > 0.5)]

    def test_padded_three_classes_match_predict_proba(self):
        mlp = fit(MLPClassifier((5,), activation="tanh", max_iter=50, random_state=0), self.x, self.y)
        notes = []
        p, classes = knowledge.forward(knowledge.from_sklearn(mlp, pad_classes=True, notes=notes), self.x)
        np.testing.assert_allclose(p[:, :3], mlp.predict_proba(self.x), atol=1e-5)
        self.assertTrue((p[:, 3] == 0).all())
        self.assertEqual(notes[-1], "class ids: 1 = 'a', 2 = 'b', 3 = 'c'")

    def test_two_classes_from_the_logistic_output(self):
        mlp = fit(MLPClassifier((4,), activation="tanh", max_iter=50, random_state=0),
                  self.x, self.y == "a")
        p, _ = knowledge.forward(knowledge.from_sklearn(mlp, pad_classes=True, notes=[]), self.x)
        np.testing.assert_allclose(p[:, :2], mlp.predict_proba(self.x), atol=1e-5)

    def test_refusals(self):
        cases = [
            (MLPClassifier((5,), max_iter=5), "the library's hidden units are tanh only"),
            (MLPClassifier((5, 5), activation="tanh", max_iter=5),
             "the model has two hidden layers; the library has one"),
            (MLPClassifier((30,), activation="tanh", max_iter=5),
             "hidden layer has 30 units; the library holds at most 23"),
            (make_pipeline(Normalizer(), MLPClassifier((5,), activation="tanh", max_iter=5)),
             "step 'normalizer' (Normalizer): the library can run only StandardScaler, MinMaxScaler, "
             "MaxAbsScaler, RobustScaler or PCA before the MLPClassifier"),
            (make_pipeline(MinMaxScaler(clip=True), MLPClassifier((5,), activation="tanh", max_iter=5)),
             "step 'minmaxscaler' (MinMaxScaler): clip=True clips each input"),
        ]
        for model, message in cases:
            with self.subTest(message=message):
                with self.assertRaisesRegex(knowledge.KnowledgeError, re.escape(message)):
                    knowledge.from_sklearn(fit(model, self.x, self.y), pad_classes=True)
        with self.assertRaisesRegex(knowledge.KnowledgeError, r"the model has 3 classes.*\(use pad_classes=True for 2 or 3\)"):
            knowledge.from_sklearn(fit(MLPClassifier((3,), activation="tanh", max_iter=5),
                                       self.x, self.y))


if __name__ == "__main__":
    unittest.main()
