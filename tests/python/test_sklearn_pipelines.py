"""scikit-learn Pipelines of every accepted preprocessing, on digits 0 to 3
of load_digits (64 inputs, some without spread): the compiled library's
classes equal pipe.predict wherever the two best probabilities are more
than 1e-4 apart, and its probabilities pipe.predict_proba's."""

import warnings

import numpy as np
import pytest
from sklearn.datasets import load_digits
from sklearn.decomposition import PCA
from sklearn.exceptions import ConvergenceWarning
from sklearn.neural_network import MLPClassifier
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import MaxAbsScaler, MinMaxScaler, RobustScaler, StandardScaler

import ombrel

PREPROCESSING = {
    "none": [],
    "standard": [StandardScaler()],
    "standard_without_mean": [StandardScaler(with_mean=False)],
    "standard_without_std": [StandardScaler(with_std=False)],
    "minmax": [MinMaxScaler(feature_range=(-1, 2))],
    "maxabs": [MaxAbsScaler()],
    "robust": [RobustScaler()],
    "robust_scaling_only": [RobustScaler(with_centering=False)],
    "chain": [MinMaxScaler(), StandardScaler(), MaxAbsScaler()],
    "pca_whiten": [PCA(whiten=True, random_state=0)],
    "standard_pca_standard": [StandardScaler(), PCA(30, random_state=0), StandardScaler()],
}


@pytest.fixture(scope="module")
def digits():
    x, y = load_digits(return_X_y=True)
    keep = y < 4
    return x[keep], y[keep]


@pytest.mark.parametrize("form", sorted(PREPROCESSING))
def test_pipeline_agrees_with_predict(digits, form):
    x, y = digits
    pipe = make_pipeline(*PREPROCESSING[form],
                         MLPClassifier((12,), activation="tanh", max_iter=300, random_state=0))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ConvergenceWarning)
        pipe.fit(x[::2], y[::2])
    notes = []
    clf = ombrel.Classifier(ombrel.import_sklearn(pipe, notes=notes))  # checked on probe signals
    assert ("folded" in " ".join(notes)) == form.startswith(("pca", "standard_pca"))
    found = clf.predict_proba(x)
    expected = pipe.predict_proba(x)
    np.testing.assert_allclose(found, expected, atol=2e-6)
    top = np.sort(expected, axis=1)
    clear = top[:, -1] - top[:, -2] > 1e-4
    np.testing.assert_array_equal(clf.predict(x)[clear], pipe.predict(x)[clear])
