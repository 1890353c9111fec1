"""Check on import: the converted knowledge, run as the library runs it,
against the source model evaluated in float64, signal by signal."""

from __future__ import annotations

import os
import re
from typing import NamedTuple, Union

import numpy as np

from .layout import CLASS_COUNT, INPUT_LENGTH, KnowledgeError
from .run import forward

# A class may differ where the source's two best probabilities are this
# close: float32 rounding of the parameters can swap them.
TIE_MARGIN = 1e-4
_SEPARATORS = re.compile(r"[,;\s]+")


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


def read_signals(path: Union[str, os.PathLike]) -> tuple[np.ndarray, list[int]]:
    """Signals [M][64] float32 of a signal file, and their 1-based line numbers.
    Values are separated by commas, semicolons or white space; blank lines
    are skipped."""
    rows, numbers = [], []
    with open(path, "r", encoding="ascii", errors="replace") as f:
        for number, line in enumerate(f, 1):
            fields = [v for v in _SEPARATORS.split(line.strip()) if v]
            if not fields:
                continue
            if len(fields) != INPUT_LENGTH:
                raise KnowledgeError("%s line %d: %d values; signals have %d"
                                     % (path, number, len(fields), INPUT_LENGTH))
            try:
                rows.append([float(v) for v in fields])
            except ValueError:
                raise KnowledgeError("%s line %d: not a number in %r"
                                     % (path, number, line.strip()[:60])) from None
            numbers.append(number)
    if not rows:
        raise KnowledgeError("%s holds no signals" % path)
    return np.array(rows, dtype=np.float32), numbers


def check(floats: np.ndarray, source_probabilities: np.ndarray, signals: np.ndarray,
          line_numbers: list[int]) -> CheckResult:
    """Compares the knowledge's classes and probabilities with the source's
    (float64 [M][C], C <= 4; missing classes count as probability 0)."""
    p, classes = forward(floats, signals)
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
                       [line_numbers[i] for i in np.flatnonzero(differ & clear)],
                       [line_numbers[i] for i in np.flatnonzero(differ & ~clear)])
