"""Which step of an import lost the model in float32, and what to change.

The knowledge's network in float64 (its folded arrays before rounding) is
run with one section's values rounded to float32 at a time: the section
whose rounding alone moves the probabilities most is the step named. When
no rounding alone explains the difference, the library's float32
arithmetic on the signals does (a subtraction of large means, sums of
large terms)."""

from __future__ import annotations

import numpy as np

from ..knowledge.layout import SOFTMAX_FACTOR
from ..knowledge.reference import Imported, network_probabilities

SECTIONS = {"standardisation": ("means", "scales"),
            "hidden layer": ("hidden_weights", "hidden_biases"),
            "output layer": ("output_weights", "output_biases")}


def _rounded(a: dict, section: str) -> dict:
    out = dict(a)
    for name in SECTIONS[section]:
        # The output layer is stored divided by the soft-max factor.
        factor = SOFTMAX_FACTOR if name.startswith("output") else 1
        out[name] = (a[name] / factor).astype(np.float32).astype(np.float64) * factor
    return out


def _span(a: dict, section: str) -> str:
    values = np.abs(np.concatenate([np.ravel(a[n]) for n in SECTIONS[section]]))
    values = values[values > 0]
    if not values.size:
        return "all 0"
    return "magnitudes %.3g to %.3g" % (values.min(), values.max())


def _fix(section: str, what: str) -> str:
    if section == "standardisation":
        return ("the means are far from 0 against the spreads they are divided by, and float32 "
                "keeps about 7 significant digits of each: shift the signals nearer 0 before "
                "fitting (or fit the scaler on signals that vary), so that means and spreads "
                "are of a size")
    if section == "hidden layer" and "whiten" in what:
        return ("the whitening divides by the square roots of components' variances, and "
                "components of near-zero variance give factors float32 cannot hold: fit the PCA "
                "with fewer components (n_components=0.99 keeps those that carry the signals) "
                "or with whiten=False and a StandardScaler after it")
    if section == "hidden layer" and ("folded" in what or "linear map" in what):
        return ("the linear map folded into the hidden layer has factors float32 cannot hold "
                "together: fit it with fewer components, or put a scaler after it")
    return ("the %s's weights are too large for float32 to keep their differences: train "
            "with a larger weight penalty (MLPClassifier alpha, weight_decay in PyTorch)" % section)


def diagnose(imported: Imported, x: np.ndarray) -> str:
    """'step: ...; fix: ...' for a knowledge that disagrees with its source."""
    a = {k: np.asarray(v, np.float64) for k, v in imported.folded.items()}
    if not a:
        return "fix: check the model's values for extreme factors"
    signals = x.astype(np.float64)
    exact = network_probabilities(a, signals)
    moved = {s: float(np.nanmax(np.abs(network_probabilities(_rounded(a, s), signals) - exact), initial=0.0))
             for s in SECTIONS}
    section = max(moved, key=lambda s: moved[s])
    what = imported.steps.get(section, section)
    if moved[section] < 1e-6:
        return ("step: the library's float32 arithmetic on these signals (no rounding of the "
                "knowledge's values alone explains it; standardisation: %s); fix: %s"
                % (_span(a, "standardisation"), _fix("standardisation", what)))
    return ("step: the %s (%s): rounding its values to float32 alone moves a probability by "
            "%.3g (%s); fix: %s" % (section, what, moved[section], _span(a, section),
                                    _fix(section, what)))
