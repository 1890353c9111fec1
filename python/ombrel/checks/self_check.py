"""The import check: the knowledge, classified by the compiled library in
float32, against its source model in float64.

An import folds every step exactly in float64, yet the knowledge holds
float32 values and the library computes in float32: factors that are huge
or tiny (a whitening of components of near-zero variance, means far from 0
against small spreads) can leave a knowledge that disagrees with its source.
The import is refused when, on any probe signal,
  - the classes differ where the source's two best probabilities are more
    than TIE_MARGIN apart (within it, float32 rounding may swap them), or
  - a probability differs by more than PROBABILITY_TOLERANCE.
The forms the importers accept differ by at most 1.4e-6 on the models of
the project's tests (33 imports, probe and test signals), so the tolerance
leaves a margin of seven.

Probe signals: the caller's check signals, or PROBES signals drawn from what
the model was fitted on (reference.py).
"""

from __future__ import annotations

from typing import Optional

import numpy as np

from .import_check import TIE_MARGIN, CheckResult, check as compare
from ..knowledge.layout import KnowledgeError
from ..knowledge.reference import Imported
from .import_diagnosis import diagnose

PROBABILITY_TOLERANCE = 1e-5


class ImportCheckError(KnowledgeError):
    """The import check refused the knowledge; `result` holds its figures."""

    def __init__(self, message: str, result: CheckResult):
        super().__init__(message)
        self.result = result

PROBES = 2000
PROBE_SEED = 20261207


def probe_signals(imported: Imported) -> np.ndarray:
    """PROBES signals drawn from the source's fitted statistics, float32."""
    rng = np.random.default_rng(PROBE_SEED)
    with np.errstate(over="ignore"):
        return imported.probes(rng, PROBES).astype(np.float32)


def self_check(imported: Imported, signals: Optional[np.ndarray] = None,
               lines: Optional[np.ndarray] = None, where: Optional[str] = None
               ) -> tuple[dict, CheckResult]:
    """The check's figures, for the card, and its result; raises
    ImportCheckError naming the step that lost the model and the fix when
    the knowledge disagrees with its source. signals: float32 [M][64] (default: probe signals); lines:
    their line numbers; where: what they are called."""
    if signals is None:
        signals, where = probe_signals(imported), "probe signals (%s)" % imported.probe_text
    x = np.ascontiguousarray(signals, np.float32)
    numbers = np.arange(1, len(x) + 1) if lines is None else np.asarray(lines)
    source = imported.probabilities(x.astype(np.float64))
    # A signal the model itself cannot classify (NaN, infinity) checks nothing.
    usable = np.isfinite(source).all(axis=1)
    if not usable.any():
        raise KnowledgeError("check: the model gives none of the %d %s finite probabilities: give "
                             "signals it classifies" % (len(x), where or "check signals"))
    result = compare(imported.floats, source[usable], x[usable], numbers[usable])
    figures = {"signals": result.signals, "probes": where or "the check signals given",
               "not_finite_in_the_model": int((~usable).sum()),
               "classes_agree": result.agreeing, "ties": len(result.tie_differences),
               "largest_difference": result.largest_difference,
               "probability_tolerance": PROBABILITY_TOLERANCE, "tie_margin": TIE_MARGIN}
    largest = result.largest_difference
    if result.passed and largest <= PROBABILITY_TOLERANCE:
        return figures, result
    found = ("classes differ on %d signals whose two best probabilities are more than %g apart, "
             % (len(result.clear_differences), TIE_MARGIN)) if result.clear_differences else ""
    raise ImportCheckError(
        "the import check failed: the knowledge, run by the library in float32, disagrees with "
        "the model in float64 on %d %s: %sthe largest probability difference is %.3g (at most "
        "%g allowed); %s" % (result.signals, figures["probes"], found, largest,
                             PROBABILITY_TOLERANCE, diagnose(imported, x)), result)
