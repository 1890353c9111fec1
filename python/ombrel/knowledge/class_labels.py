"""The model's own class labels (6 to 9, strings, ...) and the class ids 1 to 4
that the library gives: id k is the label at index k - 1.

Labels are kept as JSON values (int, float, bool or str), so that a card
written by one program reads back equal in another. A label written as text
(a label file's line) matches a numeric label by value (7, 7.0 and 7e0 all
name the label 7) and a string label by its exact text.
"""

from __future__ import annotations

import math
import numbers
from typing import Any, Optional, Sequence

import numpy as np

from .layout import CLASS_COUNT, KnowledgeError


def json_label(label: Any) -> Any:
    """label as the JSON value the card keeps: numpy scalars become Python
    ones; a label that JSON cannot hold is refused."""
    if hasattr(label, "item") and not isinstance(label, (str, bytes)):
        label = label.item()
    if isinstance(label, bool) or isinstance(label, str):
        return label
    if isinstance(label, numbers.Integral):
        return int(label)
    if isinstance(label, numbers.Real) and math.isfinite(float(label)):
        return float(label)
    raise KnowledgeError("class label %r: a card keeps labels that are numbers or strings; "
                         "encode the classes as numbers or strings before fitting" % (label,))


def check_labels(labels: Sequence[Any]) -> list[Any]:
    """The labels as JSON values, refused when two name the same class."""
    values = [json_label(label) for label in labels]
    if not 1 <= len(values) <= CLASS_COUNT:
        raise KnowledgeError("%d class labels; the library has %d classes" % (len(values), CLASS_COUNT))
    keys = [_key(v) for v in values]
    if len(set(keys)) != len(keys):
        raise KnowledgeError("class labels %s name a class twice" % ", ".join(map(repr, values)))
    return values


def _key(value: Any) -> tuple:
    # bool before numbers: True is an Integral, yet its text is "True".
    if isinstance(value, (bool, str)):
        return ("text", str(value))
    return ("number", float(value))


def _number(word: str) -> Optional[float]:
    try:
        value = float(word)
    except ValueError:
        return None
    return value if math.isfinite(value) else None


class LabelMap:
    """From the model's labels to class ids 1 to len(labels)."""

    def __init__(self, labels: Sequence[Any]):
        self.labels = check_labels(labels)
        self._ids = {_key(v): k + 1 for k, v in enumerate(self.labels)}

    def describe(self) -> str:
        return ", ".join("%d = %s" % (k + 1, _shown(v)) for k, v in enumerate(self.labels))

    def id_of_word(self, word: str) -> Optional[int]:
        """The id a label file's word names, or None."""
        found = self._ids.get(("text", word))
        if found is None:
            number = _number(word)
            if number is not None:
                found = self._ids.get(("number", number))
        return found

    def ids_of(self, values: Any, what: str) -> np.ndarray:
        """Ids (int64) of an array of labels; raises ValueError naming the
        first value that is not one of the labels, and the fix."""
        a = np.asarray(values)
        if a.ndim != 1:
            raise ValueError("%s must be 1-D, not of shape %s" % (what, a.shape))
        out = np.empty(a.size, np.int64)
        for i, value in enumerate(a.tolist()):
            try:
                found = self._ids.get(_key(json_label(value)))
            except KnowledgeError:
                found = None
            if found is None:
                raise ValueError("%s: %r at index %d is not one of the model's classes (%s)"
                                 % (what, value, i, ", ".join(map(_shown, self.labels))))
            out[i] = found
        return out


def _shown(value: Any) -> str:
    return repr(value) if isinstance(value, str) else str(value)


def default_names(labels: Sequence[Any]) -> list[str]:
    """A class name per id: each label's text, and "padded k" for an id the
    model does not have."""
    names = [str(v) for v in labels]
    return names + ["padded %d" % k for k in range(len(names) + 1, CLASS_COUNT + 1)]
