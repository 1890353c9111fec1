"""scikit-learn import: a Pipeline trained on the EMG example's data gives a
knowledge whose classes, through the emulator, agree with the Pipeline's
predict on the held-out signals; unsupported estimators are refused."""

import re
import sys
import warnings

import numpy as np
import pytest
from sklearn.exceptions import ConvergenceWarning
from sklearn.neural_network import MLPClassifier
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import MinMaxScaler, Normalizer, StandardScaler

from conftest import EMG, ROOT
from ombrel import knowledge
from numpy_network import forward

sys.path.insert(0, str(ROOT / "tools"))
import train_emg  # noqa: E402


def fit(model, x, y):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ConvergenceWarning)
        return model.fit(x, y)


def test_emulator_agrees_with_predict_on_held_out_signals(emulator, tmp_path):
    train_x, train_c, held_x, held_c, _ = train_emg.load()
    pipe = fit(make_pipeline(StandardScaler(), MLPClassifier(
        (12,), activation="tanh", max_iter=40, random_state=1)), train_x, train_c)
    notes = []
    floats = knowledge.from_sklearn(pipe, notes=notes)
    assert notes == ["class ids: 1 = 1, 2 = 2, 3 = 3, 4 = 4"]
    path = tmp_path / "k.bin"
    knowledge.write(path, floats)
    run = emulator.classify_file(path, EMG / "signals.csv")
    assert run.returncode == 0, run.stdout[-500:]
    found = np.array([int(c) for c in re.findall(rb'"class_status": (\d+)', run.stdout)])
    expected = pipe.predict(held_x)
    top = np.sort(pipe.predict_proba(held_x), axis=1)
    clear = top[:, -1] - top[:, -2] > 1e-4
    assert len(found) == len(expected)
    agree = int((found == expected).sum())
    print("\nEMG held-out signals: emulator agrees with predict on %d of %d (%.2f%%); accuracy %.2f%%"
          % (agree, len(found), 100.0 * agree / len(found), 100.0 * (found == held_c).mean()), file=sys.stderr)
    np.testing.assert_array_equal(found[clear], expected[clear])


@pytest.fixture(scope="module")
def small():
    rng = np.random.default_rng(5)
    x = rng.normal(size=(300, 64))
    return x, np.array(["a", "b", "c"])[(x[:, 0] > 0).astype(int) + (x[:, 1] > 0.5)]


def test_padded_three_classes_match_predict_proba(small):
    x, y = small
    mlp = fit(MLPClassifier((5,), activation="tanh", max_iter=50, random_state=0), x, y)
    notes = []
    p, classes = forward(knowledge.from_sklearn(mlp, pad_classes=True, notes=notes), x)
    np.testing.assert_allclose(p[:, :3], mlp.predict_proba(x), atol=1e-5)
    assert (p[:, 3] == 0).all()
    assert notes[-1] == "class ids: 1 = 'a', 2 = 'b', 3 = 'c'"


def test_two_classes_from_the_logistic_output(small):
    x, y = small
    mlp = fit(MLPClassifier((4,), activation="tanh", max_iter=50, random_state=0), x, y == "a")
    p, _ = forward(knowledge.from_sklearn(mlp, pad_classes=True, notes=[]), x)
    np.testing.assert_allclose(p[:, :2], mlp.predict_proba(x), atol=1e-5)


@pytest.mark.parametrize("model, message", [
    (MLPClassifier((5,), max_iter=5), "the library's hidden units are tanh only"),
    (MLPClassifier((5, 5), activation="tanh", max_iter=5), "the model has two hidden layers; the library has one"),
    (MLPClassifier((30,), activation="tanh", max_iter=5), "hidden layer has 30 units; the library holds at most 23"),
    (make_pipeline(Normalizer(), MLPClassifier((5,), activation="tanh", max_iter=5)),
     "step 'normalizer' (Normalizer): the library can run only StandardScaler, MinMaxScaler, "
     "MaxAbsScaler, RobustScaler or PCA before the MLPClassifier"),
    (make_pipeline(MinMaxScaler(clip=True), MLPClassifier((5,), activation="tanh", max_iter=5)),
     "step 'minmaxscaler' (MinMaxScaler): clip=True clips each input"),
    (MLPClassifier((3,), activation="tanh", max_iter=5), None),
], ids=["relu", "two_layers", "30_units", "normalizer", "clip", "three_classes_unpadded"])
def test_refusals(small, model, message):
    x, y = small
    if message is None:
        with pytest.raises(knowledge.KnowledgeError,
                           match=r"the model has 3 classes.*\(use pad_classes=True for 2 or 3\)"):
            knowledge.from_sklearn(fit(model, x, y))
    else:
        with pytest.raises(knowledge.KnowledgeError, match=re.escape(message)):
            knowledge.from_sklearn(fit(model, x, y), pad_classes=True)
