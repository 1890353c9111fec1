"""Classifies a labelled signal file and scores it.

    python3 -m ombrel.evaluate KNOWLEDGE SIGNALS [LABELS] [--json OUT.json] [--plot OUT.png]
                               [--first-label 0] [--class-names a,b,c,d]
                               [--html OUT.html [--compare KNOWLEDGE2]] [--strict]

LABELS holds one class per signal line: one of the model's labels (6, 7,
"cat") when the knowledge has a card, else a class id (1 to 4; 0 to 3 with
--first-label 0), written as an integer or as an integral number in any
float form (3, 3.0, 3.000000000000000000e+00 as numpy.savetxt writes it). Prints the
accuracy, the per-class precision, recall, F1 and support, and the confusion
matrix (rows: the labels' class, columns: the class the library chose).
Without LABELS, prints how many signals the library gave each class.

--html writes the interactive report: one self-contained page with the
figures, a signal table and the library's trace of each signal; --compare
adds what a second knowledge changes on the same signals.

Warnings (lines without 64 values, a last line without a line feed, column
names or a row index read as values, NaN or infinity in signals or
probabilities, a knowledge that classifies everything the same way, signals
unlike what the knowledge expects) go to standard error, into the JSON's
"warnings", the page's banner and the plot's title; --strict then exits 1.
"""

import argparse
import json
import os
import sys
import time

import numpy as np

from ..evaluation import CLASS_COUNT, evaluate
from ..file_paths import refuse_unless_regular, replacing, shown_path
from ..report_warnings import PANDAS_FIX, WarningList
from .class_terms import check_comparable, class_names, read_labels

# Rows classified between two looks at the clock.
BLOCK = 1 << 16
PROGRESS_AFTER_SECONDS = 1.0


def _write_json(result, found, path):
    report = dict(result.to_dict(), warnings=found.to_list())
    with replacing(path, "w", encoding="utf-8") as f:
        json.dump(report, f, indent=2)
        f.write("\n")


def _write_plot(result, class_ids, probabilities, labels, found, path):
    try:
        from ..report.plot import plot_evaluation
    except ImportError as error:
        raise OSError(None, "--plot needs matplotlib (%s); install python3-matplotlib" % error) from None
    plot_evaluation(result, class_ids, probabilities, labels, path, warnings=found.title())


def distribution(class_ids, names):
    """The table printed without labels: signals per class given."""
    counts = np.bincount(class_ids, minlength=CLASS_COUNT + 1)[1:]
    width = max(len(n) for n in names) + 2
    out = ["signals: %d (no labels: the classes given)" % len(class_ids), "",
           "%-*s %9s %9s" % (width, "class", "signals", "share")]
    for k, name in enumerate(names):
        out.append("%-*s %9d %8.2f%%" % (width, name, counts[k], 100.0 * counts[k] / max(1, len(class_ids))))
    return "\n".join(out) + "\n"


def command_line(argv):
    """The command as the report's header shows it."""
    import shlex
    words = sys.argv[1:] if argv is None else list(argv)
    return " ".join(["python3", "-m", "ombrel.evaluate"] + [shlex.quote(str(w)) for w in words])


def _write_html(path, X, runs, labels, lines, signals_path, names, command, found):
    from ..report import Run, write_runs
    write_runs(path, X, [Run(*run) for run in runs], labels, lines=lines, signals_path=signals_path,
               class_names=names, command=command, warnings=found.to_list())


def write_outputs(outputs):
    """Runs each (path, write) pair whose path was given; on the first
    failure prints one line naming the path and returns 1."""
    for path, write in outputs:
        if not path:
            continue
        try:
            write(path)
        except (OSError, ValueError) as error:
            reason = error.strerror if isinstance(error, OSError) and error.strerror else error
            print("error: cannot write %s: %s" % (shown_path(path), reason), file=sys.stderr)
            return 1
    return 0


class Progress:
    """A bar on standard error, drawn only when it is a terminal and once the
    run (reading included) has lasted a second."""

    def __init__(self, total, start, stream=sys.stderr):
        self.total = total
        self.stream = stream
        self.start = start
        self.shown = False
        self.enabled = stream.isatty()

    def update(self, done):
        if not self.enabled or time.monotonic() - self.start < PROGRESS_AFTER_SECONDS:
            return
        filled = 30 * done // max(1, self.total)
        self.stream.write("\r[%s%s] %3d%% %d/%d signals"
                          % ("#" * filled, "." * (30 - filled), 100 * done // max(1, self.total), done, self.total))
        self.stream.flush()
        self.shown = True

    def close(self):
        if self.shown:
            self.stream.write("\n")
            self.stream.flush()


def classify_with_progress(classifier, X, started):
    class_ids = np.empty(len(X), np.uint8)
    probabilities = np.empty((len(X), CLASS_COUNT), np.float32)
    progress = Progress(len(X), started)
    for start in range(0, len(X), BLOCK):
        part = classifier.classify(X[start:start + BLOCK])
        class_ids[start:start + BLOCK] = part.class_ids
        probabilities[start:start + BLOCK] = part.probabilities
        progress.update(min(len(X), start + BLOCK))
    progress.close()
    return class_ids, probabilities


def _parser():
    parser = argparse.ArgumentParser(prog="python3 -m ombrel.evaluate", description=__doc__.split("\n")[0])
    parser.add_argument("knowledge", help="knowledge file")
    parser.add_argument("signals", help="signal file, one signal of 64 values per line")
    parser.add_argument("labels", nargs="?", help="one class per signal line: the model's label "
                        "(with the knowledge's card) or class id (1 to 4); without it, the classes "
                        "given are counted and the report shows no accuracy")
    parser.add_argument("--json", metavar="OUT.json", help="write the figures and the warnings as JSON")
    parser.add_argument("--plot", metavar="OUT.png", help="draw the confusion matrix and the "
                        "histograms of the winning probability (the format follows the name's "
                        "ending: .png, .svg, .pdf)")
    parser.add_argument("--first-label", type=int, choices=(0, 1), default=None,
                        help="LABELS holds class ids, the first class's being 1 (ids 1 to 4, the "
                             "default without a card) or 0 (ids 0 to 3); without it and with the "
                             "knowledge's card, LABELS holds the model's labels")
    parser.add_argument("--class-names", metavar="NAME", nargs="+",
                        help="names of the four classes, in id order, as one comma list (a,b,c,d) "
                             "or four words, for the table, the JSON, the plot and the page "
                             "(default: the card's, else the library's names)")
    parser.add_argument("--html", metavar="OUT.html", help="write the interactive report: one HTML "
                        "file that opens offline in a browser")
    parser.add_argument("--compare", metavar="KNOWLEDGE2", help="with --html: compare with a second "
                        "knowledge on the same signals")
    parser.add_argument("--strict", action="store_true", help="exit with 1 after a complete report "
                        "that carries any warning (for CI)")
    return parser


def _labels_for(args, X, found, card):
    labels = read_labels(args.labels, args.first_label, card)
    if len(labels) != len(X):
        hint = ("; line 1 of %s holds column names: %s" % (args.signals, PANDAS_FIX)
                if any(w.kind == "header-line" for w in found) else "")
        raise ValueError("%s has %d labels for the %d signals of %s: give one per signal line%s"
                         % (args.labels, len(labels), len(X), args.signals, hint))
    return labels


def _classify_all(args, found, started):
    """(X, lines, labels, runs) of the command's files; runs: (classifier,
    knowledge path, class ids, probabilities) for K and, comparing, K2."""
    from ..checks.run_warnings import read_with_warnings, run_warnings
    from ..classifier import Classifier
    from ..signals import read_signals
    for path in (args.knowledge, args.compare, args.labels):
        if path is not None:
            refuse_unless_regular(path)
    # A stale card is a warning of the run: Classifier raises it as it loads.
    classifier = read_with_warnings(Classifier, args.knowledge, found)
    second = read_with_warnings(Classifier, args.compare, found) if args.compare else None
    if second is not None:
        check_comparable(classifier.card_, second.card_, args.compare)
    X, lines = read_with_warnings(read_signals, args.signals, found)
    labels = None if args.labels is None else _labels_for(args, X, found, classifier.card_)
    runs = [(classifier, args.knowledge, *classify_with_progress(classifier, X, started))]
    if second is not None:
        runs.append((second, args.compare, *classify_with_progress(second, X, started)))
    run_warnings(runs, X, lines, args.signals, found)
    return X, lines, labels, runs


def _failure(error):
    """The one line for a run that cannot be made."""
    from ..signals import SignalFileError
    if isinstance(error, OSError):
        if error.filename and error.strerror:
            return "error: %s: %s" % (shown_path(error.filename), error.strerror)
        return "error: %s" % error
    if isinstance(error, SignalFileError):
        from ..checks.import_check import signal_file_error_line
        return "error: %s" % signal_file_error_line(error)
    return "error: %s" % error


def main(argv=None):
    from ..classifier import KnowledgeError
    from ..signals import SignalFileError
    parser = _parser()
    args = parser.parse_args(argv)
    if args.compare and not args.html:
        parser.error("--compare goes with --html OUT.html")
    if args.labels is None and (args.json or args.plot):
        parser.error("--json and --plot score the classes against labels: give LABELS")
    try:
        class_names(args.class_names, None, ())
    except ValueError as error:
        parser.error("--class-names: %s; give one comma list or exactly four words" % error)
    found = WarningList()
    try:
        X, lines, labels, runs = _classify_all(args, found, time.monotonic())
        names = class_names(args.class_names, runs[0][0].card_, runs[0][0].class_names_)
        class_ids, probabilities = runs[0][2:]
        result = None if labels is None else evaluate(class_ids, labels, names)
    except (OSError, SignalFileError, KnowledgeError, ValueError, ImportError) as error:
        # A stale card explains a refusal of the labels it would have mapped.
        for w in found:
            if w.kind == "stale-card":
                print("warning: " + w.message, file=sys.stderr)
        print(_failure(error), file=sys.stderr)
        return 1
    for line in found.lines():
        print(line, file=sys.stderr)
    if not write_table(result.table() if result is not None else distribution(class_ids, names)):
        return 1
    status = write_outputs([
        (args.json, lambda path: _write_json(result, found, path)),
        (args.plot, lambda path: _write_plot(result, class_ids, probabilities, labels, found, path)),
        (args.html, lambda path: _write_html(path, X, runs, labels, lines, args.signals, names,
                                             command_line(argv), found))])
    if status == 0 and args.strict and len(found):
        print("error: --strict: the report carries %d warning%s" % (len(found), "" if len(found) == 1 else "s"),
              file=sys.stderr)
        return 1
    return status


def write_table(text):
    """The table on standard output; False, after one line on standard
    error, when it cannot be written (a full disk, a closed pipe)."""
    try:
        sys.stdout.write(text)
        sys.stdout.flush()
        return True
    except OSError as error:
        print("error: cannot write the table to standard output: %s" % (error.strerror or error),
              file=sys.stderr)
        # Nothing more reaches it: the interpreter's own flush at exit would fail again.
        try:
            sys.stdout = open(os.devnull, "w")
        except OSError:
            pass
        return False

