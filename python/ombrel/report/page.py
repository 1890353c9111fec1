"""The evaluation report as one self-contained HTML page: header, summary,
confusion matrix, histograms, a signal table and the library's trace of each
signal it can open; with a second knowledge, the comparison of the two.

Everything the page needs is inline (report_page.css, the script's parts
and the data as JSON), so it opens from file:// with no network. The arrays travel as
base64 of their little-endian bytes: the page shows the library's float32
values, not a decimal rounding of them, and a 100,000-signal page stays a few
megabytes before its traces.
"""

import base64
import datetime
import hashlib
import html
import json
import os
import sys
from dataclasses import dataclass
from typing import Optional

import numpy as np

from ..file_paths import read_regular_bytes, replacing, shown_path
from ..scoring import confusion_matrix, per_class

# Traces are stored for every signal of a report of up to TRACE_ALL_UP_TO
# signals. Beyond, for the wrong ones (and, comparing, those that change
# class), at most TRACE_MOST_BEYOND of them spread evenly over the file, and
# for a sample of TRACE_SAMPLE others. A traced signal costs about 850 bytes
# of page per knowledge (64 values, 64 standardised, N hidden, 4 scores, 4
# probabilities as base64 float32), so a 100,000-signal comparison stays
# under 25 MB.
TRACE_ALL_UP_TO = 5000
TRACE_MOST_BEYOND = 10000
TRACE_SAMPLE = 1000
SAMPLE_SEED = 20261207

_ASSETS = os.path.dirname(os.path.abspath(__file__))


@dataclass
class Run:
    """One knowledge's pass over the signals."""
    classifier: object
    knowledge_path: Optional[str]
    class_ids: np.ndarray          # uint8 (n,), 1 to 4
    probabilities: np.ndarray      # float32 (n, 4)


def _b64(array, dtype):
    return base64.b64encode(np.ascontiguousarray(array, dtype=dtype).tobytes()).decode("ascii")


def _knowledge_facts(run):
    if run.knowledge_path is not None:
        digest = hashlib.sha256(read_regular_bytes(run.knowledge_path, "the knowledge")).hexdigest()
        path = shown_path(run.knowledge_path)
    else:
        # A knowledge given as an array: the digest of the floats it holds.
        digest = hashlib.sha256(run.classifier.knowledge_.astype("<f4").tobytes()).hexdigest()
        path = None
    return {"path": path, "units": int(run.classifier.unit_count_), "sha256": digest}


def _line_count(path):
    count = 0
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            count += block.count(b"\n")
    return count


def _summary(class_ids, labels):
    matrix = confusion_matrix(class_ids, labels)
    precision, recall, f1, support = per_class(matrix)
    signals, correct = int(matrix.sum()), int(np.trace(matrix))
    return {"accuracy": correct / signals if signals else 0.0, "correct": correct, "signals": signals,
            "precision": precision.tolist(), "recall": recall.tolist(), "f1": f1.tolist(),
            "support": support.tolist(), "confusion_matrix": matrix.tolist()}


def _evenly(indices, most):
    if indices.size <= most:
        return indices
    return indices[np.linspace(0, indices.size - 1, most).round().astype(np.int64)]


def traced_signals(n, notable, what="", limit=TRACE_ALL_UP_TO, most=TRACE_MOST_BEYOND, sample=TRACE_SAMPLE):
    """Indices of the signals whose traces the page holds, sorted, and the
    rule that chose them. notable: bool (n,) of the signals to single out
    (what: their name, "wrong"), or None when there is nothing to single out."""
    if n <= limit:
        return np.arange(n), "all %d signals (traces are kept for every signal up to %d)" % (n, limit)
    picked = _evenly(np.flatnonzero(notable), most) if notable is not None else np.zeros(0, np.int64)
    rest = np.setdiff1d(np.arange(n), picked, assume_unique=True)
    rng = np.random.default_rng(SAMPLE_SEED)
    drawn = np.sort(rng.choice(rest, min(sample, rest.size), replace=False))
    rule = "%d of %d signals: more than %d, so " % (picked.size + drawn.size, n, limit)
    if notable is not None:
        rule += "%d of the %d %s ones, and " % (picked.size, int(notable.sum()), what)
    rule += "a random sample of %d others" % drawn.size
    return np.union1d(picked, drawn), rule


def _trace_arrays(classifier, X, traced):
    units = int(classifier.unit_count_)
    m = traced.size
    standardised = np.empty((m, X.shape[1]), np.float32)
    hidden = np.empty((m, units), np.float32)
    scores = np.empty((m, 4), np.float32)
    probabilities = np.empty((m, 4), np.float32)
    for row, i in enumerate(traced):
        t = classifier.trace(X[i])
        standardised[row] = t["standardised"]
        hidden[row] = t["hidden"]
        scores[row] = t["scores"]
        probabilities[row] = t["probabilities"]
    return {"standardised": _b64(standardised, "<f4"), "hidden": _b64(hidden, "<f4"),
            "scores": _b64(scores, "<f4"), "probabilities": _b64(probabilities, "<f4")}


def _script_json(data):
    # Inside <script> only "</script" or "<!--" could end the data early:
    # no "<" is left, nor ">" and "&" to keep the text inert everywhere.
    text = json.dumps(data, separators=(",", ":"), allow_nan=False)
    return text.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")


def page_data(X, runs, labels=None, *, lines=None, signals_path=None, class_names, command=None,
              date=None, trace_limit=TRACE_ALL_UP_TO, warnings=()):
    """The report's data (JSON-ready): runs[0] is the knowledge evaluated,
    runs[1] (if any) the one it is compared with; warnings: the run's
    warnings as ReportWarning.to_dict() gives them, for the page's banner."""
    n = len(X)
    lines = np.arange(1, n + 1) if lines is None else np.asarray(lines)
    if labels is not None:
        labels = np.asarray(labels)
        if labels.shape != (n,):
            raise ValueError("%d labels for %d signals: give one label per signal" % (labels.size, n))
    wrong = None if labels is None else (runs[0].class_ids != labels)
    changed = runs[1].class_ids != runs[0].class_ids if len(runs) > 1 else None
    notable, name = None, None
    if wrong is not None and changed is not None:
        notable, name = wrong | changed | (runs[1].class_ids != labels), "wrong (under either knowledge) or changed"
    elif wrong is not None:
        notable, name = wrong, "wrong"
    elif changed is not None:
        notable, name = changed, "changed"
    traced, rule = traced_signals(n, notable, name, limit=trace_limit)
    data = {
        "n": n,
        "class_names": [str(c) for c in class_names],
        "library_id": _library_id(),
        "signals": {"path": None if signals_path is None else shown_path(signals_path),
                    "line_count": None if signals_path is None else _line_count(signals_path),
                    "window": [int(lines[0]), int(lines[-1])] if n else None},
        "date": (date or datetime.datetime.now(datetime.timezone.utc)).strftime("%Y-%m-%d %H:%M:%S UTC"),
        "command": None if command is None else shown_path(command),
        "warnings": list(warnings),
        "lines": _b64(lines, "<f8"),
        "labels": None if labels is None else _b64(labels, "u1"),
        "trace_rule": rule,
        "traced": _b64(traced, "<u4"),
        "values": _b64(np.asarray(X, np.float32)[traced], "<f4"),
        "runs": [],
    }
    for run in runs:
        entry = {"knowledge": _knowledge_facts(run), "given": _b64(run.class_ids, "u1"),
                 "probabilities": _b64(run.probabilities, "<f4"),
                 "summary": None if labels is None else _summary(run.class_ids, labels),
                 "traces": _trace_arrays(run.classifier, np.asarray(X, np.float32), traced)}
        data["runs"].append(entry)
    return data


def _library_id():
    from .._engine import engine
    return engine().LIBRARY_ID


def _asset(name):
    with open(os.path.join(_ASSETS, name), encoding="utf-8") as f:
        return f.read()


# The page's script, by concern, joined in this order into one strict-mode
# closure: each part may use what the parts before it declare, and the last
# draws the page.
SCRIPT_PARTS = ("report_page_data.js", "report_page_charts.js", "report_page_table.js",
                "report_page_views.js")


def page_script():
    """The page's one script: its parts inside one closure, so that no name
    reaches the page's global scope."""
    return ('"use strict";\n(function () {\n%s})();\n'
            % "".join("// %s\n%s" % (name, _asset(name)) for name in SCRIPT_PARTS))


def render(data):
    """The page's HTML text."""
    title = "Evaluation of %s" % (data["runs"][0]["knowledge"]["path"] or "a knowledge")
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<title>%s</title>\n<style>\n%s</style>\n</head>\n<body>\n"
            "<noscript>This report draws itself with JavaScript: allow scripts for this file.</noscript>\n"
            "<main id=\"report\"></main>\n"
            "<script type=\"application/json\" id=\"report-data\">%s</script>\n"
            "<script>\n%s</script>\n</body>\n</html>\n"
            % (html.escape(title), _asset("report_page.css"), _script_json(data), page_script()))


def classify(classifier, X):
    c = classifier.classify(X)
    return np.asarray(c.class_ids, np.uint8), np.asarray(c.probabilities, np.float32)


def write_html_report(path, classifier, X, labels=None, *, lines=None, compare=None, knowledge_path=None,
                      compare_path=None, signals_path=None, class_names=None, command=None,
                      trace_limit=TRACE_ALL_UP_TO, warnings=None):
    """Writes the evaluation report of classifier on signals X (float32
    (n, 64)) to path as one HTML file.

    labels: the true class ids (1 to 4) or None; lines: the signals' line
    numbers (by default 1 to n); compare: a second Classifier to compare with;
    knowledge_path, compare_path, signals_path: the files, named and (for
    knowledges) hashed in the header; class_names: four names (by default the
    library's); warnings: ReportWarnings for the page's banner, by default
    those of the signals' values and of each knowledge's classifications."""
    runs = [Run(classifier, knowledge_path, *classify(classifier, X))]
    if compare is not None:
        runs.append(Run(compare, compare_path, *classify(compare, X)))
    if warnings is None:
        from ..checks.run_warnings import array_warnings
        warnings = array_warnings(X, lines, [(r.classifier, r.knowledge_path or "the knowledge", r.class_ids,
                                              r.probabilities) for r in runs])
    write_runs(path, X, runs, labels, lines=lines, signals_path=signals_path, class_names=class_names,
               command=command, trace_limit=trace_limit, warnings=[w.to_dict() for w in warnings])


def write_runs(path, X, runs, labels=None, *, lines=None, signals_path=None, class_names=None, command=None,
               trace_limit=TRACE_ALL_UP_TO, warnings=()):
    if class_names is None:
        class_names = runs[0].classifier.class_names_
    if len(class_names) != 4:
        raise ValueError("give four class names, not %d" % len(class_names))
    if command is None:
        command = " ".join([os.path.basename(sys.argv[0]) or "python3"] + sys.argv[1:])
    data = page_data(X, runs, labels, lines=lines, signals_path=signals_path, class_names=class_names,
                     command=command, trace_limit=trace_limit, warnings=warnings)
    text = render(data)
    with replacing(path, "w", encoding="utf-8") as f:
        f.write(text)


def page_style():
    """The report pages' style sheet, for other pages in the same layout."""
    return _asset("report_page.css")
