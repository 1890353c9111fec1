"""The import routes that check themselves: each converts the model (the
engine-free converters of ombrel.knowledge), then runs the knowledge on the
compiled library against the model in float64 (self_check), and returns the
floats with the check's figures on their card. A knowledge that disagrees
with its model is refused, naming the step and the fix.

    floats = ombrel.import_sklearn(pipe, check=X)     # X: signals, or omitted
    ombrel.knowledge.write("knowledge.bin", floats)   # and knowledge.card.json
"""

from __future__ import annotations

import os
from typing import Any, Optional, Union

import numpy as np

from ..knowledge.card import KnowledgeFloats
from ..knowledge.layout import INPUT_LENGTH, KnowledgeError
from ..knowledge.reference import Imported
from .self_check import self_check

Check = Union[None, bool, str, os.PathLike, np.ndarray]


def require_engine(skip: str = "check=False") -> None:
    from .._engine import engine
    try:
        engine()
    except ImportError as e:
        raise KnowledgeError("the import check runs the knowledge on the library itself: %s; or "
                             "import without the check (%s; the card says it was not checked)"
                             % (str(e).split("\n")[0], skip)) from None


def check_signals(check: Check) -> tuple[np.ndarray, Optional[np.ndarray], str]:
    """(signals, their line numbers, what they are called) of a check."""
    if isinstance(check, (str, os.PathLike)):
        from .import_check import read_signals
        x, lines = read_signals(check)
        return x, lines, "signals of %s" % os.fsdecode(check)
    x = np.asarray(check)
    if x.dtype.kind not in "fiu" or x.ndim != 2 or x.shape[1] != INPUT_LENGTH or not len(x):
        raise KnowledgeError("check: give signals of shape (n, %d), a signal file's path, or "
                             "False; not %s of shape %s" % (INPUT_LENGTH, x.dtype, x.shape))
    return x.astype(np.float32), None, "check signals given"


def checked(imported: Imported, check: Check = None) -> KnowledgeFloats:
    """The import's floats, checked against its source (check: signals
    [n][64], a signal file's path, None for probe signals, False to skip)."""
    floats = imported.floats
    if check is False:
        figures: dict = {"skipped": "check=False: the knowledge was not compared with its model"}
    else:
        require_engine()
        signals, lines, where = (None, None, None) if check is None or check is True else check_signals(check)
        figures = self_check(imported, signals, lines, where)[0]
    floats.card = floats.card.replace(check=figures)
    return floats


def import_sklearn(estimator: Any, check: Check = None, **options: Any) -> KnowledgeFloats:
    """ombrel.knowledge.from_sklearn (same options), checked."""
    from ..knowledge.sklearn_import import convert_sklearn
    return checked(convert_sklearn(estimator, **options), check)


def import_onnx(path: Union[str, os.PathLike], check: Check = None, **options: Any) -> KnowledgeFloats:
    """ombrel.knowledge.from_onnx (same options), checked."""
    from ..knowledge.onnx import convert_onnx
    return checked(convert_onnx(path, **options), check)


def import_arrays(check: Check = None, **arrays: Any) -> KnowledgeFloats:
    """ombrel.knowledge.from_arrays (same arguments), checked against the
    arrays' network in float64."""
    from ..knowledge.reference import convert_arrays
    return checked(convert_arrays(**arrays), check)
