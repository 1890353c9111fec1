"""From a trained network's arrays to a knowledge's floats.

The network is

    p = softmax(tanh(((x - means) * scales) @ W + b) @ V + c)

with a plain soft-max.  The library multiplies score differences by the
soft-max factor 5, so V and c are divided by 5: exp(5 * (s/5 - m/5)) =
exp(s - m), and the library's probabilities are the network's.
"""

from __future__ import annotations

import warnings
from typing import Optional, Sequence

import numpy as np

from .binary import ArrayLike, pack
from .card import KnowledgeFloats, make_card, with_card
from .layout import (CLASS_COUNT, CLASS_NAMES, FLOAT, HIDDEN_CAPACITY, INPUT_LENGTH,
                     SOFTMAX_FACTOR, KnowledgeError)


class ConversionWarning(UserWarning):
    """A conversion changed a value (rounding) or added classes (padding)."""


class Notes(list):
    """An import's notes, for its card, passed on to the caller's list
    (`target`) as they come; without one, a note about changed values is
    issued as a ConversionWarning."""

    def __init__(self, target: Optional[list[str]] = None):
        super().__init__()
        self.target = target


def notes_for(notes: Optional[list[str]]) -> Notes:
    return notes if isinstance(notes, Notes) else Notes(notes)


def note(notes: Optional[list[str]], text: str, warn: bool = True) -> None:
    """Appends `text` to `notes`; without a list, a note about changed
    values is issued as a ConversionWarning."""
    if notes is not None:
        notes.append(text)
    target = notes.target if isinstance(notes, Notes) else notes
    if target is not None and target is not notes:
        target.append(text)
    elif target is None and warn:
        warnings.warn(text, ConversionWarning, stacklevel=3)


# The refusals that every importer shares, worded once.

def check_inputs(count: int) -> None:
    if count != INPUT_LENGTH:
        raise KnowledgeError("input has %d values; signals have %d" % (count, INPUT_LENGTH))


def check_units(units: int) -> None:
    if units > HIDDEN_CAPACITY:
        raise KnowledgeError("hidden layer has %d units; the library holds at most %d"
                             % (units, HIDDEN_CAPACITY))


def check_layers(dense_layers: int) -> None:
    hidden = dense_layers - 1
    if hidden == 2:
        raise KnowledgeError("the model has two hidden layers; the library has one")
    if hidden > 2:
        raise KnowledgeError("the model has %d hidden layers; the library has one" % hidden)
    if hidden < 1:
        raise KnowledgeError("the model has no hidden layer; the library runs one layer of "
                             "tanh units before the output layer")


def check_classes(classes: int, pad_classes: bool) -> None:
    option = "pad_classes=True"               # the command line words it --pad-classes
    if classes == 1:
        raise KnowledgeError("the output layer has 1 unit; the library needs a score per "
                             "class: give the model 2 to %d outputs (use %s for "
                             "2 or 3)" % (CLASS_COUNT, option))
    if classes > CLASS_COUNT or (classes < CLASS_COUNT and not pad_classes):
        raise KnowledgeError("the model has %d classes; the library classifies into %d "
                             "(use %s for 2 or 3)%s" % (
                                 classes, CLASS_COUNT, option, ": give the output layer at most "
                                 "%d units" % CLASS_COUNT if classes > CLASS_COUNT else ""))


def _vector(value: Optional[ArrayLike], default: float, name: str) -> np.ndarray:
    if value is None:
        return np.full(INPUT_LENGTH, default)
    a = np.asarray(value, dtype=np.float64)
    try:
        return np.broadcast_to(a.reshape(-1) if a.ndim > 1 else a, (INPUT_LENGTH,)).copy()
    except ValueError:
        raise KnowledgeError("%s: shape %s does not fit %d inputs"
                             % (name, a.shape, INPUT_LENGTH)) from None


def standardisation(means: Optional[ArrayLike], scales: Optional[ArrayLike],
                    stds: Optional[ArrayLike]) -> tuple[np.ndarray, np.ndarray]:
    """(means, scales) of 64 values each: means subtracted (default 0), then
    multiplied by scales or divided by stds (default 1)."""
    if scales is not None and stds is not None:
        raise KnowledgeError("give scales (multipliers) or stds (divisors), not both")
    m = _vector(means, 0.0, "means")
    if stds is None:
        return m, _vector(scales, 1.0, "scales")
    d = _vector(stds, 1.0, "stds")
    if (d == 0).any():
        raise KnowledgeError("stds: 0 at input %d; an input without spread needs a "
                             "std of 1 (StandardScaler does so)" % int(np.flatnonzero(d == 0)[0]))
    return m, 1.0 / d


def _matrix(value: ArrayLike, rows: int, name: str, hint: str) -> np.ndarray:
    a = np.asarray(value, dtype=np.float64)
    if a.ndim != 2 or a.shape[0] != rows:
        if a.ndim == 2 and a.shape[1] == rows:
            raise KnowledgeError("%s: shape %s, expected (%d, units): %s"
                                 % (name, a.shape, rows, hint))
        raise KnowledgeError("%s: shape %s, expected (%d, units)" % (name, a.shape, rows))
    return a


def _bias(value: ArrayLike, count: int, name: str) -> np.ndarray:
    a = np.asarray(value, dtype=np.float64).reshape(-1)
    if a.size != count:
        raise KnowledgeError("%s: %d values for %d units" % (name, a.size, count))
    return a


def _padded(V: np.ndarray, c: np.ndarray, notes: Notes) -> tuple[np.ndarray, np.ndarray]:
    """The output layer with the classes a model lacks added as padding."""
    units, classes = V.shape
    if classes == CLASS_COUNT:
        return V, c
    # A padded class's score is its bias (its weights are 0); no real
    # score lies below -bound since |tanh| <= 1, so a bias of
    # -(2 bound + 100) trails the best score by more than 100 and its
    # exp(5 * difference) is 0 in float32.
    bound = float(np.max(np.abs(c) + np.abs(V).sum(axis=0))) if V.size else float(np.abs(c).max())
    pad = CLASS_COUNT - classes
    padded = range(classes + 1, CLASS_COUNT + 1)
    note(notes, "classes %s (%s) are padding: their probability is 0 whatever the signal"
         % (", ".join(map(str, padded)), ", ".join(CLASS_NAMES[i] for i in padded)))
    return np.hstack([V, np.zeros((units, pad))]), np.concatenate([c, np.full(pad, -(2.0 * bound + 100.0))])


def _check_finite(arrays: dict[str, np.ndarray]) -> None:
    for name, a in arrays.items():
        with np.errstate(over="ignore"):
            bad = np.flatnonzero(~np.isfinite(a.astype(np.float32)))
        if bad.size:
            raise KnowledgeError("%s: %d values are not finite in float32 (the first at index "
                                 "%d); the library needs finite parameters"
                                 % (name, bad.size, int(bad[0])))


def from_arrays(*, hidden_weights: ArrayLike, hidden_biases: ArrayLike,
                output_weights: ArrayLike, output_biases: ArrayLike,
                means: Optional[ArrayLike] = None, scales: Optional[ArrayLike] = None,
                stds: Optional[ArrayLike] = None, pad_classes: bool = False,
                notes: Optional[list[str]] = None, labels: Optional[Sequence[object]] = None,
                class_names: Optional[Sequence[str]] = None, raw_inputs: bool = False,
                source: str = "arrays") -> KnowledgeFloats:
    """A knowledge's floats (float32) from a trained network, for any framework.

    hidden_weights  [64][N], inputs first: a Keras Dense kernel as it is, a
                    PyTorch Linear weight transposed (``.T``).
    hidden_biases   [N]
    output_weights  [N][C], units first (same orientation as above).
    output_biases   [C]; the scores of a plain soft-max (logits), C classes.
    means           subtracted from each input (default 0).
    scales          then multiplied (default 1), or instead
    stds            divided by: give one of the two (StandardScaler.scale_
                    and PyTorch's std are divisors).
    pad_classes     a model of 2 or 3 classes gets the missing classes with a
                    probability of 0 whatever the signal.
    labels          the model's class of each output (default: the ids).
    class_names     a name per class id 1 to 4 (default: the labels' text).
    raw_inputs      the model was trained on signals as they come, without
                    a standardisation (the card says so, and the
                    standardisation warning stays silent).

    Class id k + 1 is output k.  Raises KnowledgeError with what to change.
    The floats carry the import's card (see card.py).
    """
    notes = notes_for(notes)
    W = _matrix(hidden_weights, INPUT_LENGTH, "hidden_weights",
                "inputs first (transpose a PyTorch Linear weight with .T)")
    check_inputs(W.shape[0])
    units = W.shape[1]
    check_units(units)
    b = _bias(hidden_biases, units, "hidden_biases")
    V = _matrix(output_weights, units, "output_weights",
                "units first (transpose a PyTorch Linear weight with .T)")
    classes = V.shape[1]
    check_classes(classes, pad_classes)
    c = _bias(output_biases, classes, "output_biases")
    if labels is not None and len(labels) != classes:
        raise KnowledgeError("%d labels for the %d classes of the output layer"
                             % (len(labels), classes))
    given = means is not None or scales is not None or stds is not None
    if given and raw_inputs:
        raise KnowledgeError("raw_inputs=True says the model takes signals as they come: give "
                             "it without means, stds or scales")
    m, s = standardisation(means, scales, stds)

    V, c = _padded(V / SOFTMAX_FACTOR, c / SOFTMAX_FACTOR, notes)
    _check_finite(dict(means=m, scales=s, hidden_weights=W, hidden_biases=b, output_weights=V,
                       output_biases=c))
    floats = np.frombuffer(pack(m, s, W, b, V, c), dtype=FLOAT).astype(np.float32)
    kind = "raw" if raw_inputs else "import" if given else "unknown"
    card = make_card(range(1, classes + 1) if labels is None else labels, source, notes,
                     kind, "given at import" if given else "", class_names)
    return with_card(floats, card)


def class_mapping(labels: Sequence[object]) -> str:
    """'class ids: 1 = a, 2 = b, ...' for the labels of outputs 0, 1, ..."""
    return "class ids: " + ", ".join("%d = %r" % (i + 1, label.item() if hasattr(label, "item")
                                                  else label) for i, label in enumerate(labels))
