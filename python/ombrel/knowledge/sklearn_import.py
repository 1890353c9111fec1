"""Import of scikit-learn models: an MLPClassifier, alone or at the end of a
Pipeline whose earlier steps are scalers (StandardScaler, MinMaxScaler,
MaxAbsScaler, RobustScaler: folded into the means and scales exactly as
their transform applies them) and PCA (folded into the hidden layer)."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np

from .card import KnowledgeFloats
from .conversion import (check_inputs, check_layers, class_mapping, from_arrays, note, notes_for,
                         standardisation)
from .input_map import InputMap
from .layout import INPUT_LENGTH, KnowledgeError
from .reference import Imported, inverse_standardisation, sklearn_probabilities, sklearn_probes

SUPPORTED = "StandardScaler, MinMaxScaler, MaxAbsScaler, RobustScaler or PCA"


def _named(name: str, estimator: Any) -> str:
    kind = type(estimator).__name__
    return "step '%s' (%s)" % (name, kind) if name else kind


def _preprocessing(steps: list[tuple[str, Any]], m: InputMap) -> InputMap:
    """The Pipeline's steps before the classifier, composed as their
    transform methods apply them. Each scaler's fitted scale_ already holds
    scikit-learn's rule for inputs without spread (a scale of 1)."""
    from sklearn.decomposition import PCA
    from sklearn.preprocessing import MaxAbsScaler, MinMaxScaler, RobustScaler, StandardScaler

    for name, step in steps:
        if step is None or step == "passthrough":
            continue
        what = _named(name, step)
        if not isinstance(step, (StandardScaler, MinMaxScaler, MaxAbsScaler, RobustScaler, PCA)):
            raise KnowledgeError("%s: the library can run only %s before the MLPClassifier (as "
                                 "its standardisation and hidden layer); remove the step, or do "
                                 "it on the signals before classifying" % (what, SUPPORTED))
        if not hasattr(step, "n_features_in_"):
            raise KnowledgeError("%s: not fitted; fit the pipeline first" % what)
        if m.width == INPUT_LENGTH:
            check_inputs(step.n_features_in_)
        if isinstance(step, StandardScaler):
            if step.with_mean:
                m.add(-step.mean_, what)
            if step.with_std:
                m.multiply(1.0 / step.scale_, what)
        elif isinstance(step, MinMaxScaler):
            if step.clip:
                raise KnowledgeError("%s: clip=True clips each input to the feature range, which "
                                     "the library cannot; fit with clip=False" % what)
            m.multiply(step.scale_, what)
            m.add(step.min_, what)
        elif isinstance(step, MaxAbsScaler):
            m.multiply(1.0 / step.scale_, what)
        elif isinstance(step, RobustScaler):
            if step.center_ is not None:
                m.add(-step.center_, what)
            if step.scale_ is not None:
                m.multiply(1.0 / step.scale_, what)
        else:
            if step.mean_ is not None:
                m.add(-step.mean_, what)
            matrix = step.components_.T.astype(np.float64)
            if step.whiten:
                variance = step.explained_variance_
                if (variance <= 0).any():
                    raise KnowledgeError("%s: component %d has no variance, and whitening "
                                         "divides by it; fit with fewer components"
                                         % (what, int(np.flatnonzero(variance <= 0)[0])))
                matrix = matrix / np.sqrt(variance)
            m.linear(matrix, np.zeros(matrix.shape[1]),
                     "%s (%d to %d%s)" % (what, matrix.shape[0], matrix.shape[1],
                                          ", whitened" if step.whiten else ""))
    return m


def _source(steps: list[tuple[str, Any]], mlp: Any) -> str:
    kinds = [type(step).__name__ for _, step in steps if step is not None and step != "passthrough"]
    return "scikit-learn %s(%s)" % ("Pipeline" if len(steps) > 1 else "estimator", ", ".join(
        kinds[:-1] + ["%s(%d tanh units)" % (kinds[-1], mlp.coefs_[0].shape[1])]))


def _standardisation(steps: list[tuple[str, Any]], given: bool, raw_inputs: bool) -> tuple[str, str]:
    """(the card's standardisation, its steps): "model" when a scaler
    scales the inputs, else the pipeline takes signals as they come."""
    from sklearn.decomposition import PCA
    scalers = ["%s, fitted on %s signals" % (_named(name, step), getattr(step, "n_samples_seen_", "?"))
               for name, step in steps if step is not None and step != "passthrough"
               and not isinstance(step, PCA)]
    text = "; ".join(scalers)
    if given:
        return "import", "given at import" + ("; then " + text if text else "")
    if raw_inputs or not scalers:
        return "raw", text
    return "model", text


def convert_sklearn(estimator: Any, pad_classes: bool = False, notes: Optional[list[str]] = None,
                    means: Any = None, stds: Any = None, scales: Any = None, raw_inputs: bool = False,
                    class_names: Optional[Any] = None) -> Imported:
    """from_sklearn's knowledge, with what the import check needs: the
    pipeline in float64 and signals drawn from its first step's statistics."""
    from sklearn.neural_network import MLPClassifier
    from sklearn.pipeline import Pipeline

    steps = list(estimator.steps) if isinstance(estimator, Pipeline) else [("", estimator)]
    name, mlp = steps[-1]
    if not isinstance(mlp, MLPClassifier):
        raise KnowledgeError("%s: from_sklearn takes an MLPClassifier, alone or at the end of "
                             "a Pipeline" % _named(name, mlp))
    given = means is not None or stds is not None or scales is not None
    start = InputMap(*standardisation(means, scales, stds)) if given else InputMap()
    pre = _preprocessing(steps[:-1], start)
    W, b, V, c, labels = _network(name, mlp, pre)
    means, scales, W, b = pre.fold(W, b)
    notes = notes_for(notes)
    if pre.note():
        note(notes, pre.note(), warn=False)
    kind, text = _standardisation(steps[:-1], given, raw_inputs)
    floats = from_arrays(means=means, scales=scales, hidden_weights=W, hidden_biases=b,
                         output_weights=V, output_biases=c, pad_classes=pad_classes, notes=notes,
                         labels=labels, class_names=class_names, source=_source(steps, mlp))
    note(notes, class_mapping(labels), warn=False)
    floats.card = floats.card.replace(standardisation=kind, standardisation_steps=text,
                                      notes=tuple(notes))
    live = [step for _, step in steps[:-1] if step is not None and step != "passthrough"]
    probes, probe_text = inverse_standardisation(start.means, start.scales), "the means and stds given"
    if not given:
        probes, probe_text = sklearn_probes(live[0] if live else None)
    offset = (lambda x: (x - start.means) * start.scales) if given else (lambda x: x)
    reference = sklearn_probabilities(live, mlp)
    folded = dict(means=means, scales=scales, hidden_weights=W, hidden_biases=b,
                  output_weights=V, output_biases=c)
    sections = {"standardisation": text or "none", "hidden layer": _named(name, mlp)
                + "".join(", with %s folded in" % f for f in pre.folded), "output layer": _named(name, mlp)}
    return Imported(floats, lambda x: reference(offset(np.asarray(x, np.float64))), probes, probe_text,
                    folded, sections)


def _network(name: str, mlp: Any, pre: InputMap) -> tuple:
    """(W, b, V, c, labels) of a fitted MLPClassifier, in float64, with a
    logistic output written as the soft-max of (0, z)."""
    if not hasattr(mlp, "coefs_"):
        raise KnowledgeError("%s: not fitted; call fit first" % _named(name, mlp))
    check_layers(len(mlp.coefs_))
    if mlp.activation != "tanh":
        raise KnowledgeError("%s, activation=%r: the library's hidden units are tanh only; "
                             "train with activation=\"tanh\"" % (_named(name, mlp), mlp.activation))
    W, V = (np.asarray(w, np.float64) for w in mlp.coefs_)
    b, c = (np.asarray(i, np.float64) for i in mlp.intercepts_)
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
    if W.shape[0] != pre.width:
        if pre.matrix is None:
            check_inputs(W.shape[0])
        raise KnowledgeError("the steps before %s give %d values and it takes %d"
                             % (_named(name, mlp), pre.width, W.shape[0]))
    return W, b, V, c, labels


def from_sklearn(estimator: Any, pad_classes: bool = False, notes: Optional[list[str]] = None,
                 means: Any = None, stds: Any = None, scales: Any = None, raw_inputs: bool = False,
                 class_names: Optional[Any] = None) -> KnowledgeFloats:
    """A knowledge's floats (float32) from a fitted MLPClassifier or Pipeline,
    without the import check (ombrel.import_sklearn runs it).

    The classifier needs one hidden layer of at most 23 units,
    activation="tanh", and 2 to 4 classes (2 or 3 with pad_classes).  Steps
    before it may be StandardScaler, MinMaxScaler, MaxAbsScaler,
    RobustScaler (folded into the standardisation) and PCA (folded into the
    hidden layer).  means and stds (or scales): a standardisation done before
    the pipeline, composed before its steps.  Class id k + 1 is
    ``estimator.classes_[k]``: the floats' card keeps the labels, and
    `notes` receives the mapping.  Raises KnowledgeError with what to change."""
    return convert_sklearn(estimator, pad_classes, notes, means, stds, scales, raw_inputs,
                           class_names).floats
