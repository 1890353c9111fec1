"""Import of scikit-learn models: an MLPClassifier, alone or at the end of a
Pipeline whose earlier step is a StandardScaler (folded into the means and
scales) or nothing."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np

from .conversion import check_layers, class_mapping, from_arrays, note
from .layout import INPUT_LENGTH, KnowledgeError


def _named(name: str, estimator: Any) -> str:
    kind = type(estimator).__name__
    return "step '%s' (%s)" % (name, kind) if name else kind


def from_sklearn(estimator: Any, pad_classes: bool = False,
                 notes: Optional[list[str]] = None) -> np.ndarray:
    """A knowledge's floats (float32) from a fitted MLPClassifier or Pipeline.

    The classifier needs one hidden layer of at most 23 units,
    activation="tanh", and 2 to 4 classes (2 or 3 with pad_classes).  Class
    id k + 1 is ``estimator.classes_[k]``; `notes` receives that mapping.
    Raises KnowledgeError with what to change."""
    from sklearn.neural_network import MLPClassifier
    from sklearn.pipeline import Pipeline
    from sklearn.preprocessing import StandardScaler

    steps = list(estimator.steps) if isinstance(estimator, Pipeline) else [("", estimator)]
    name, mlp = steps[-1]
    if not isinstance(mlp, MLPClassifier):
        raise KnowledgeError("%s: from_sklearn takes an MLPClassifier, alone or at the end of "
                             "a Pipeline" % _named(name, mlp))
    means = stds = None
    for step_name, step in steps[:-1]:
        if step is None or step == "passthrough":
            continue
        if not isinstance(step, StandardScaler) or means is not None:
            raise KnowledgeError("%s: the library's standardisation is one mean and scale per "
                                 "input; use one StandardScaler, or no step"
                                 % _named(step_name, step))
        if not hasattr(step, "n_features_in_"):
            raise KnowledgeError("%s: not fitted; fit the pipeline first" % _named(step_name, step))
        means = step.mean_ if step.mean_ is not None else np.zeros(step.n_features_in_)
        stds = step.scale_ if step.scale_ is not None else np.ones(step.n_features_in_)
    if not hasattr(mlp, "coefs_"):
        raise KnowledgeError("%s: not fitted; call fit first" % _named(name, mlp))
    check_layers(len(mlp.coefs_))
    if mlp.activation != "tanh":
        raise KnowledgeError("%s, activation=%r: the library's hidden units are tanh only; "
                             "train with activation=\"tanh\"" % (_named(name, mlp), mlp.activation))
    W, V = mlp.coefs_
    b, c = mlp.intercepts_
    labels = list(mlp.classes_)
    if mlp.out_activation_ == "logistic":
        if V.shape[1] != 1 or len(labels) != 2:
            raise KnowledgeError("%s: multilabel; the library gives each signal one class"
                                 % _named(name, mlp))
        # P(second class) = sigmoid(z), the soft-max of the scores (0, z).
        V = np.hstack([np.zeros_like(V), V])
        c = np.concatenate([np.zeros(1), c])
    elif mlp.out_activation_ != "softmax":
        raise KnowledgeError("%s: output activation %r; the library's outputs go through a "
                             "soft-max" % (_named(name, mlp), mlp.out_activation_))
    if means is not None and len(means) != W.shape[0]:
        raise KnowledgeError("the StandardScaler has %d inputs and the MLPClassifier %d"
                             % (len(means), W.shape[0]))
    if W.shape[0] != INPUT_LENGTH:
        raise KnowledgeError("input has %d values; signals have %d" % (W.shape[0], INPUT_LENGTH))
    floats = from_arrays(means=means, stds=stds, hidden_weights=W, hidden_biases=b,
                         output_weights=V, output_biases=c, pad_classes=pad_classes, notes=notes)
    note(notes, class_mapping(labels), warn=False)
    return floats
