"""Imports that fold exactly in float64 yet lose the model in float32 are
refused, naming the step and the fix, on the user's signals and on probe
signals alike; nothing is written. (Every accepted form passes the same
check in test_sklearn_pipelines, test_onnx_torch and test_onnx_forms.)"""

import re
import subprocess
import sys
import warnings

import numpy as np
import pytest
from sklearn.datasets import load_digits
from sklearn.decomposition import PCA
from sklearn.exceptions import ConvergenceWarning
from sklearn.neural_network import MLPClassifier
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import StandardScaler

import ombrel
import onnx_models as om
from ombrel import knowledge


@pytest.fixture(scope="module")
def digits():
    x, y = load_digits(return_X_y=True)
    x, y = x[y >= 6], y[y >= 6]
    # Pixels that never vary become near copies of the busiest ones: the
    # whitening then divides components of variance ~1e-12 by their spread.
    dead = np.flatnonzero(x.std(axis=0) == 0)
    busy = np.argsort(-x.std(axis=0))[:dead.size]
    x[:, dead] = x[:, busy] + np.random.default_rng(0).normal(0, 1e-6, (len(x), dead.size))
    return x, y


def fitted(x, y, first):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ConvergenceWarning)
        return make_pipeline(first, MLPClassifier((12,), activation="tanh", max_iter=200, random_state=0)).fit(x, y)


@pytest.mark.parametrize("case", ["whitening of near-zero variances", "means far from 0"])
@pytest.mark.parametrize("signals", ["probes", "user's"])
def test_float32_loss_is_refused_with_step_and_fix(digits, case, signals):
    x, y = digits
    if case == "means far from 0":
        x = x + 1e7
    pipe = fitted(x, y, PCA(whiten=True) if case.startswith("whitening") else StandardScaler())
    with pytest.raises(knowledge.KnowledgeError) as refusal:
        ombrel.import_sklearn(pipe, check=None if signals == "probes" else x)
    text = str(refusal.value)
    assert text.startswith("the import check failed: the knowledge, run by the library in float32, "
                           "disagrees with the model in float64")
    largest = float(re.search(r"the largest probability difference is ([0-9.e+-]+)", text).group(1))
    assert largest > 1e-3
    if case.startswith("whitening"):
        assert "step: the hidden layer (step 'mlpclassifier' (MLPClassifier), with step 'pca' (PCA) " \
               "(64 to 64, whitened) folded in)" in text and "fit the PCA with fewer components" in text
    else:
        assert "step: the standardisation (step 'standardscaler' (StandardScaler), fitted on" in text
        assert "shift the signals nearer 0" in text
    # The converter alone still converts: the check is the layer above it.
    assert knowledge.from_sklearn(pipe).card.check is None


def test_command_refuses_and_writes_nothing(tmp_path):
    net = om.network(1)
    net["mean"] = net["mean"] + 1e7        # float64 in the graph; float32 keeps 1e7 to within 0.5
    path = om.save(om.build(net, dtype=np.float64), tmp_path / "m.onnx")
    done = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "import", path, tmp_path / "k.bin"],
                          capture_output=True, text=True)
    assert done.returncode == 1 and not (tmp_path / "k.bin").exists()
    assert "check: FAILED: classes differ on" in done.stdout
    assert "step: the standardisation" in done.stderr and done.stderr.endswith("\nnothing written\n")
