"""Ombrel AI classifier tools for Python.

    clf = ombrel.Classifier("knowledge.bin")
    X, lines = ombrel.read_signals("signals.csv")
    probabilities = clf.predict_proba(X)      # float32, the library's bits

    floats = ombrel.import_sklearn(pipe, check=X)  # converted, then checked on the library
    ombrel.knowledge.write("knowledge.bin", floats)  # and its card, knowledge.card.json

``ombrel.knowledge`` writes, reads, inspects and imports knowledge files
(numpy only; ONNX and scikit-learn are imported when their importers are
used). Importing this package loads nothing else, so it works whether or
not the compiled engine (ombrel._classifier) sits beside it: the names below
load their module when first used.
"""

import importlib

from ._interpreter import require_numpy

require_numpy()

__version__ = "1.0.0"

_EXPORTS = {
    "Classifier": ".classifier",
    "Classification": ".classifier",
    "KnowledgeError": ".knowledge",
    "SignalFileError": ".signals",
    "SignalAlignmentWarning": ".signals",
    "SignalFileWarning": ".report_warnings",
    "read_signals": ".signals",
    "Evaluation": ".evaluation",
    "evaluate": ".evaluation",
    "write_html_report": ".report",
    "import_sklearn": ".checks.checked_import",
    "import_onnx": ".checks.checked_import",
    "import_arrays": ".checks.checked_import",
    "StaleCardWarning": ".classifier",
}

__all__ = sorted(_EXPORTS)


def __getattr__(name):
    module = _EXPORTS.get(name)
    if module is None:
        raise AttributeError("module 'ombrel' has no attribute %r" % name)
    return getattr(importlib.import_module(module, __name__), name)
