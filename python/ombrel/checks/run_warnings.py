"""The warnings of a classification run that the reader cannot see: a
knowledge that classifies every signal the same way, probabilities that are
NaN or infinite, signals unlike those the knowledge expects; and the
reader's own, caught as they are raised, so that each report carries them.
"""

import warnings

import numpy as np

from ..file_paths import shown_path
from ..report_warnings import SignalFileWarning, WarningList, caught

# Varied signals that any working knowledge tells apart: standard normal
# values in the knowledge's standardised space, from a fixed seed.
PROBE_SIGNALS = 256
PROBE_SEED = 20261207


def read_with_warnings(read, path, found: WarningList, **window):
    """read(path, **window) (ombrel.read_signals) with the warnings it raises
    added to `found` instead of shown."""
    with warnings.catch_warnings(record=True) as records:
        warnings.simplefilter("always", SignalFileWarning)
        result = read(path, **window)
    found.extend(caught(records))
    return result


def _probes(floats):
    means, scales = floats[:64].astype(np.float64), floats[64:128].astype(np.float64)
    z = np.random.default_rng(PROBE_SEED).standard_normal((PROBE_SIGNALS, 64))
    with np.errstate(all="ignore"):
        spread = np.where(np.isfinite(scales) & (scales != 0), 1.0 / np.abs(scales), 1.0)
        x = np.where(np.isfinite(means), means, 0.0) + z * spread
    return x.astype(np.float32)


def knowledge_warnings(classifier, name, found: WarningList):
    """same-class-always when PROBE_SIGNALS varied signals all get the very
    same probabilities (NaN weights, zero scales): every report on this
    knowledge shows one class whatever the signals."""
    floats = np.asarray(classifier.knowledge_)
    ids, p = classifier.classify(_probes(floats))
    bits = p.view(np.uint32)
    if not (bits == bits[0]).all():
        return
    causes = []
    bad = int((~np.isfinite(floats)).sum())
    if bad:
        causes.append("%d of its floats %s NaN or infinite" % (bad, "is" if bad == 1 else "are"))
    if not floats[64:128].any():
        causes.append("its 64 scales are all 0")
    found.add("same-class-always", "%s classifies every signal the same way (class %d, probabilities %s, "
              "for %d varied signals)%s; fix: export the knowledge again from a trained model"
              % (shown_path(name), int(ids[0]), "[" + ", ".join("%.2f" % v for v in p[0]) + "]", PROBE_SIGNALS,
                 ": " + " and ".join(causes) if causes else ""), count=PROBE_SIGNALS)


def probability_warnings(probabilities, lines, name, found: WarningList):
    """non-finite-probability for the signals whose probabilities hold NaN
    or infinity: their class (1, the first of four equal NaN) is no choice."""
    bad = np.flatnonzero(~np.isfinite(np.asarray(probabilities)).all(axis=1))
    if bad.size:
        one = bad.size == 1
        found.add("non-finite-probability", "%d signal%s NaN or infinite probabilities under %s, the first on "
                  "line %d; %s class is not a classification and is counted as given"
                  % (bad.size, " gets" if one else "s get", shown_path(name), int(lines[bad[0]]),
                     "its" if one else "their"),
                  line=int(lines[bad[0]]), count=bad.size)


def standardisation_warnings(classifier, X, what, fix, found: WarningList):
    """input-mismatch: the signals do not look standardised by the
    knowledge (see ombrel.checks.standardisation)."""
    from .standardisation import standardisation_warning
    card = getattr(classifier, "card_", None)
    if card is not None and card.standardisation == "raw":
        return      # the model was trained on signals as they come
    text = standardisation_warning(classifier.knowledge_, X, what, fix)
    if text:
        found.add("input-mismatch", "; ".join(text), count=len(X))


def run_warnings(runs, X, lines, signals_path, found: WarningList):
    """Every warning of classifying X with each (classifier, name, class ids,
    probabilities) of runs, added to found."""
    from .standardisation import IMPORT_FIX
    for classifier, name, _, probabilities in runs:
        knowledge_warnings(classifier, name, found)
        what = "the signals of %s" % shown_path(signals_path)
        if len(runs) > 1:
            what += " (knowledge %s)" % shown_path(name)
        standardisation_warnings(classifier, X, what, IMPORT_FIX, found)
        probability_warnings(probabilities, lines, name, found)


def array_warnings(X, lines, runs):
    """The warnings of signals given as an array: NaN or infinity among
    their values, and run_warnings' for each run. Returns a WarningList."""
    found = WarningList()
    X = np.asarray(X)
    lines = np.arange(1, len(X) + 1) if lines is None else np.asarray(lines)
    bad = np.flatnonzero(~np.isfinite(X).all(axis=1)) if X.size else np.zeros(0, np.int64)
    if bad.size:
        found.add("non-finite-signal", "%d signal%s hold%s NaN or infinity, the first on line %d; %s probabilities "
                  "and class are not a classification" % (bad.size, "" if bad.size == 1 else "s",
                                                          "s" if bad.size == 1 else "", int(lines[bad[0]]),
                                                          "its" if bad.size == 1 else "their"),
                  line=int(lines[bad[0]]), count=bad.size)
    run_warnings(runs, X, lines, "the array", found)
    return found


def knowledge_file_warnings(data: bytes, name) -> WarningList:
    """The knowledge commands' warnings on a knowledge file's bytes: a
    stale card beside it, and those of knowledge_warnings when the compiled
    engine is there and accepts it (a refusal is reported on its own)."""
    from ..knowledge.card import load_card
    found = WarningList()
    problem = load_card(name, data)[1]
    if problem:
        found.add("stale-card", problem)
    try:
        from ..classifier import Classifier
        classifier = Classifier(np.frombuffer(data[:len(data) // 4 * 4], "<f4").astype(np.float32))
    except (ImportError, ValueError):
        return found
    knowledge_warnings(classifier, name, found)
    return found
