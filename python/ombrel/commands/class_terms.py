"""The model's own terms in evaluate: label files, in class ids or in the
model's values mapped to ids by the knowledge's card; class names from the card or the command
line; and two knowledges compared only when they name the same classes
alike."""

from __future__ import annotations

from typing import Optional, Sequence

import numpy as np

from ..evaluation import CLASS_COUNT, class_names_from
from ..knowledge.card import Card

NO_CARD_FIX = ("; labels in the model's own values (6 to 9, strings) need the knowledge's card: "
               "import the model again (ombrel.import_sklearn, import_onnx, import_arrays, or "
               "python3 -m ombrel.knowledge import), which writes it beside the knowledge")


def card_label_ids(lines: list[str], path: str, card: Card) -> np.ndarray:
    """Class ids of a label file's lines, each one of the card's labels."""
    labels = card.label_map
    ids = np.empty(len(lines), np.int64)
    for number, text in enumerate(lines, 1):
        found = labels.id_of_word(text.strip())
        if found is None:
            raise ValueError("%s, line %d: %r is not one of the model's classes (%s, from the "
                             "knowledge's card); give the model's labels, or class ids with "
                             "--first-label 1 (or 0)" % (path, number, text.strip(), labels.describe()))
        ids[number - 1] = found
    return ids


def class_names(words: Optional[Sequence[str]], card: Optional[Card], default: Sequence[str]) -> tuple:
    """The four names: --class-names as one comma list or four words, else
    the card's, else `default`. Names that are the card's labels in another
    order than their ids are refused: the table would name classes wrongly."""
    if words is None:
        return tuple(default)
    given = class_names_from(words[0] if len(words) == 1 else list(words))
    if card is not None:
        labels = [str(v) for v in card.labels]
        if sorted(given[:len(labels)]) == sorted(labels) and list(given[:len(labels)]) != labels:
            raise ValueError("%s names the model's classes in another order than their ids (%s, "
                             "from the knowledge's card): give them in id order, or leave "
                             "--class-names out to use the card's"
                             % (",".join(given), card.label_map.describe()))
    return given


def check_comparable(first: Optional[Card], second: Optional[Card], path: str) -> None:
    """Refuses a second knowledge whose card maps ids to other classes."""
    if first is None or second is None or first.label_map.labels == second.label_map.labels:
        return
    raise ValueError("%s classifies into %s, the first knowledge into %s (from their cards): "
                     "compare knowledges whose ids name the same classes"
                     % (path, second.label_map.describe(), first.label_map.describe()))


def _label_value(word):
    """The integer a label line holds, or None: an integer, or a finite
    float text whose value is integral."""
    try:
        return int(word)
    except ValueError:
        pass
    try:
        value = float(word)
    except ValueError:
        return None
    return int(value) if np.isfinite(value) and value == int(value) else None


def read_labels(path, first_label=1, card=None):
    """Class ids 1 to 4 of a label file, one per line; with first_label=0 the
    file holds 0 to 3; with first_label=None and a knowledge's card, the
    model's labels, mapped by the card. Raises ValueError naming the line,
    the value and the fix."""
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8", "replace").split("\n")
    while lines and not lines[-1].strip():
        lines.pop()
    if first_label is None and card is not None:
        return card_label_ids(lines, path, card)
    first_label = 1 if first_label is None else first_label
    last = first_label + CLASS_COUNT - 1
    labels = np.empty(len(lines), np.int64)
    for number, text in enumerate(lines, 1):
        word = text.strip()
        value = _label_value(word)
        if value is None or not first_label <= value <= last:
            hint = " (0-based ids: give --first-label 0)" if value == 0 and first_label == 1 else NO_CARD_FIX
            raise ValueError("%s, line %d: %r is not a class id %d to %d%s"
                             % (path, number, word, first_label, last, hint))
        labels[number - 1] = value - first_label + 1
    return labels
