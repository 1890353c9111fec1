"""Check on import: the converted knowledge, classified by the compiled
library (ombrel.Classifier) on signals read by the command's own reader
(ombrel.read_signals), against the source model evaluated in float64,
signal by signal."""

from __future__ import annotations

import os
import warnings
from typing import Any, NamedTuple, Optional, Union

import numpy as np

from ..file_paths import shown_path
from ..knowledge.layout import CLASS_COUNT, KnowledgeError

# A class may differ where the source's two best probabilities are this
# close: float32 rounding of the parameters can swap them.
TIE_MARGIN = 1e-4


class CheckResult(NamedTuple):
    signals: int
    agreeing: int
    largest_difference: float
    clear_differences: list[int]     # 1-based lines whose class differs beyond a tie
    tie_differences: list[int]       # 1-based lines whose class differs within a tie

    @property
    def passed(self) -> bool:
        return not self.clear_differences

    def lines(self) -> list[str]:
        text = ["check: %d signals: classes agree on %d (%.2f%%), largest probability "
                "difference %.2e" % (self.signals, self.agreeing,
                                     100.0 * self.agreeing / max(1, self.signals),
                                     self.largest_difference)]
        if self.tie_differences:
            text.append("check: %d differ where the source's two best probabilities are "
                        "within %g (lines %s)" % (len(self.tie_differences), TIE_MARGIN,
                                                  _some(self.tie_differences)))
        if self.clear_differences:
            text.append("check: FAILED: classes differ on %d signals whose two best source "
                        "probabilities are more than %g apart (lines %s)"
                        % (len(self.clear_differences), TIE_MARGIN, _some(self.clear_differences)))
        return text


def _some(lines: list[int]) -> str:
    return ", ".join(map(str, lines[:10])) + (", ..." if len(lines) > 10 else "")


def signal_file_error_line(e: Any) -> str:
    """A SignalFileError in one line: the path, the line, and the first line
    of the command's error block."""
    first = e.message.split("\n")[0].strip()
    first = first[len("Error: "):] if first.startswith("Error: ") else first
    where = ", line %d" % e.line if e.line is not None else ""
    hint = "; " + e.hint if getattr(e, "hint", None) else ""
    return "%s%s: %s%s" % (shown_path(e.path), where, first.rstrip(" !"), hint)


def read_signals(path: Union[str, os.PathLike], warn: Optional[list[str]] = None
                 ) -> tuple[np.ndarray, np.ndarray]:
    """Signals [M][64] float32 of a signal file and their line numbers, read
    exactly as the command reads them (ombrel.read_signals). The reader's
    misalignment warning goes to `warn` when given. Raises KnowledgeError
    with the command's message where the command would stop."""
    from ..signals import SignalAlignmentWarning, SignalFileError
    from ..signals import read_signals as exact
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", SignalAlignmentWarning)
            x, lines = exact(path)
    except SignalFileError as e:
        raise KnowledgeError(signal_file_error_line(e)) from None
    if warn is not None:
        warn.extend(str(w.message) for w in caught if issubclass(w.category, SignalAlignmentWarning))
    if not len(x):
        raise KnowledgeError("%s holds no signals" % os.fsdecode(path))
    return x, lines


def classify(floats: np.ndarray, signals: np.ndarray) -> tuple[np.ndarray, np.ndarray]:
    """(probabilities [M][4] float32, class ids [M]) of the compiled library."""
    from ..classifier import Classifier
    c = Classifier(np.asarray(floats, np.float32)).classify(signals)
    return c.probabilities, c.class_ids.astype(np.int64)


def check(floats: np.ndarray, source_probabilities: np.ndarray, signals: np.ndarray,
          line_numbers) -> CheckResult:
    """Compares the knowledge's classes and probabilities, as the compiled
    library gives them, with the source's (float64 [M][C], C <= 4; missing
    classes count as probability 0)."""
    p, classes = classify(floats, signals)
    src = np.zeros((len(signals), CLASS_COUNT))
    src[:, :source_probabilities.shape[1]] = source_probabilities
    src_classes = np.argmax(src, axis=1) + 1
    top = np.sort(src, axis=1)
    clear = top[:, -1] - top[:, -2] > TIE_MARGIN
    differ = classes != src_classes
    with np.errstate(invalid="ignore"):
        largest = float(np.nanmax(np.abs(p.astype(np.float64) - src))) if len(p) else 0.0
    if np.isnan(p).any():
        largest = float("nan")
    return CheckResult(len(signals), int((~differ).sum()), largest,
                       [int(line_numbers[i]) for i in np.flatnonzero(differ & clear)],
                       [int(line_numbers[i]) for i in np.flatnonzero(differ & ~clear)])
