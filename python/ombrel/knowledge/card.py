"""The knowledge's card: what an import knows of the model that the knowledge
file has no room for, kept as JSON beside it (K.bin -> K.card.json).

    kind, version       "ombrel knowledge card", 1
    knowledge_sha256    SHA-256 of the knowledge file it describes
    labels              the model's class of each id, in id order (id k is
                        labels[k - 1]); fewer than 4 when classes are padded
    class_names         a name per id 1 to 4
    standardisation     what the model expects of a signal: "model" (its own
                        steps standardise it), "import" (given at import),
                        "raw" (it takes signals as they come), "unknown"
    standardisation_steps  the steps, and what they were fitted on
    source              the model the import read
    notes               the import's notes
    check               the import check's figures, or why it did not run

The card is read only when its hash is the knowledge's: a card left beside a
knowledge that was written again without one describes another model.
The library and the command never read it; the file format is unchanged.
"""

from __future__ import annotations

import dataclasses
import hashlib
import json
import os
from typing import Any, Optional, Union

import numpy as np

from ..file_paths import read_regular_bytes, shown_path
from .class_labels import LabelMap, check_labels, default_names
from .layout import CLASS_COUNT, KnowledgeError

KIND = "ombrel knowledge card"
VERSION = 1
STANDARDISATION = ("model", "import", "raw", "unknown")
SUFFIX = ".card.json"

Path = Union[str, bytes, os.PathLike]


@dataclasses.dataclass(frozen=True)
class Card:
    labels: tuple
    class_names: tuple
    standardisation: str = "unknown"
    standardisation_steps: str = ""
    source: str = ""
    notes: tuple = ()
    check: Optional[dict] = None
    knowledge_sha256: Optional[str] = None

    def __post_init__(self):
        check_labels(self.labels)
        if len(self.class_names) != CLASS_COUNT or not all(isinstance(n, str) and n for n in self.class_names):
            raise KnowledgeError("a card names each of the %d class ids: %r" % (CLASS_COUNT, self.class_names))
        if self.standardisation not in STANDARDISATION:
            raise KnowledgeError("standardisation %r is none of %s" % (self.standardisation, STANDARDISATION))

    @property
    def label_map(self) -> LabelMap:
        return LabelMap(self.labels)

    def replace(self, **changes: Any) -> "Card":
        return dataclasses.replace(self, **changes)

    def to_json(self, sha256: str) -> str:
        body = {"kind": KIND, "version": VERSION, "knowledge_sha256": sha256}
        for field in dataclasses.fields(self):
            if field.name != "knowledge_sha256":
                value = getattr(self, field.name)
                body[field.name] = list(value) if isinstance(value, tuple) else value
        return json.dumps(body, indent=1, allow_nan=False) + "\n"

    @classmethod
    def from_json(cls, text: str, where: str) -> "Card":
        try:
            body = json.loads(text)
            if body.get("kind") != KIND or body.get("version") != VERSION:
                raise KnowledgeError("not a knowledge card of version %d" % VERSION)
            return cls(labels=tuple(body["labels"]), class_names=tuple(body["class_names"]),
                       standardisation=body["standardisation"],
                       standardisation_steps=str(body.get("standardisation_steps", "")),
                       source=str(body.get("source", "")), notes=tuple(map(str, body.get("notes", ()))),
                       check=body.get("check"), knowledge_sha256=str(body["knowledge_sha256"]))
        except (ValueError, KeyError, TypeError, AttributeError) as e:
            raise KnowledgeError("%s: not a usable knowledge card (%s)" % (where, e)) from None


def make_card(labels, source: str, notes=(), standardisation: str = "unknown",
              standardisation_steps: str = "", class_names=None) -> Card:
    """A card for an import; class_names default to the labels' text."""
    labels = tuple(check_labels(labels))
    names = tuple(default_names(labels) if class_names is None else (str(n) for n in class_names))
    return Card(labels, names, standardisation, standardisation_steps, source, tuple(notes))


def card_path(knowledge_path: Path) -> str:
    """Where the card of a knowledge file lives: its name without a final
    ".bin", then ".card.json"."""
    path = os.fsdecode(knowledge_path)
    return (path[:-4] if path.lower().endswith(".bin") else path) + SUFFIX


def sha256(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def load_card(knowledge_path: Path, data: bytes) -> tuple[Optional[Card], Optional[str]]:
    """(the card of the knowledge file whose bytes are `data`, or None; a
    warning's text when a card is there but cannot be used)."""
    where = card_path(knowledge_path)
    try:
        # A FIFO or device in the card's place is refused, not waited on.
        text = read_regular_bytes(where, "the card").decode("utf-8")
    except FileNotFoundError:
        return None, None
    except (OSError, UnicodeDecodeError) as e:
        return None, "%s: cannot read the knowledge's card (%s); it is ignored" % (shown_path(where), e)
    try:
        card = Card.from_json(text, shown_path(where))
    except KnowledgeError as e:
        return None, "%s; it is ignored" % e
    if card.knowledge_sha256 != sha256(data):
        return None, ("%s is a stale card: it describes another knowledge than %s (its SHA-256 "
                      "differs), so its labels and names are ignored; import the model again to "
                      "write a current card, or delete it" % (shown_path(where), shown_path(knowledge_path)))
    return card, None


class KnowledgeFloats(np.ndarray):
    """A knowledge's floats (float32, as every import returns them) with the
    import's card; `write` puts the card beside the file. Any numpy use sees
    a plain float32 array."""

    card: Optional[Card] = None

    def __array_finalize__(self, obj):
        self.card = getattr(obj, "card", None)

    def __reduce__(self):
        rebuild, arguments, state = super().__reduce__()
        return rebuild, arguments, (state, self.card)

    def __setstate__(self, state):
        array_state, self.card = state
        super().__setstate__(array_state)


def with_card(floats: np.ndarray, card: Optional[Card]) -> KnowledgeFloats:
    out = np.asarray(floats, np.float32).view(KnowledgeFloats)
    out.card = card
    return out


def card_of(floats: Any) -> Optional[Card]:
    return getattr(floats, "card", None) if isinstance(floats, np.ndarray) else None
