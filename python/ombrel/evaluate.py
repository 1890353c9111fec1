"""Classifies a labelled signal file and scores it.

    python3 -m ombrel.evaluate KNOWLEDGE SIGNALS LABELS [--json OUT.json] [--plot OUT.png]
                               [--first-label 0] [--class-names a,b,c,d]

LABELS holds one class id (1 to 4; 0 to 3 with --first-label 0) per signal
line, written as an integer or as an integral number in any float form (3,
3.0, 3.000000000000000000e+00 as numpy.savetxt writes it). Prints the
accuracy, the per-class precision, recall, F1 and support, and the confusion
matrix (rows: the labels' class, columns: the class the library chose).
"""

import argparse
import json
import sys
import time
import types

import numpy as np

from .evaluation import CLASS_COUNT, class_names_from, evaluate

# Rows classified between two looks at the clock.
BLOCK = 1 << 16
PROGRESS_AFTER_SECONDS = 1.0


def _label_value(word):
    """The integer a label line holds, or None: an integer, or a finite
    float text whose value is integral."""
    try:
        return int(word)
    except ValueError:
        pass
    try:
        value = float(word)
    except ValueError:
        return None
    return int(value) if np.isfinite(value) and value == int(value) else None


def read_labels(path, first_label=1):
    """Class ids 1 to 4 of a label file, one per line; with first_label=0 the
    file holds 0 to 3. Raises ValueError naming the line and the value."""
    with open(path, "rb") as f:
        lines = f.read().decode("ascii", "replace").split("\n")
    while lines and not lines[-1].strip():
        lines.pop()
    last = first_label + CLASS_COUNT - 1
    labels = np.empty(len(lines), np.int64)
    for number, text in enumerate(lines, 1):
        word = text.strip()
        value = _label_value(word)
        if value is None or not first_label <= value <= last:
            hint = " (0-based ids: give --first-label 0)" if value == 0 and first_label == 1 else ""
            raise ValueError("%s, line %d: %r is not a class id %d to %d%s"
                             % (path, number, word, first_label, last, hint))
        labels[number - 1] = value - first_label + 1
    return labels


def _write_json(result, path):
    with open(path, "w") as f:
        json.dump(result.to_dict(), f, indent=2)
        f.write("\n")


def _write_plot(result, class_ids, probabilities, labels, path):
    try:
        from .evaluation_plot import plot_evaluation
    except ImportError as error:
        raise OSError(None, "--plot needs matplotlib (%s); install python3-matplotlib" % error) from None
    plot_evaluation(result, class_ids, probabilities, labels, path)


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
            print("error: cannot write %s: %s" % (path, reason), file=sys.stderr)
            return 1
    return 0


def _warn_unless_standardised(classifier, X, path):
    from .knowledge.standardisation_check import IMPORT_FIX, standardisation_warning
    for line in standardisation_warning(classifier.knowledge_, X, "the signals of %s" % path,
                                        IMPORT_FIX) or ():
        print("warning: " + line, file=sys.stderr)


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


def main(argv=None):
    from .classifier import Classifier, KnowledgeError
    from .signals import SignalFileError, read_signals

    parser = argparse.ArgumentParser(prog="python3 -m ombrel.evaluate", description=__doc__.split("\n")[0])
    parser.add_argument("knowledge", help="knowledge file")
    parser.add_argument("signals", help="signal file, one signal of 64 values per line")
    parser.add_argument("labels", help="one class id (1 to 4) per signal line")
    parser.add_argument("--json", metavar="OUT.json", help="write the figures as JSON")
    parser.add_argument("--plot", metavar="OUT.png", help="draw the confusion matrix and the "
                        "histograms of the winning probability (the format follows the name's "
                        "ending: .png, .svg, .pdf)")
    parser.add_argument("--first-label", type=int, choices=(0, 1), default=1,
                        help="the id LABELS gives the first class: 1 (ids 1 to 4, the default) or "
                             "0 (ids 0 to 3)")
    parser.add_argument("--class-names", metavar="A,B,C,D",
                        help="names of the four classes, in id order, for the table, the JSON and "
                             "the plot (default: the library's names)")
    args = parser.parse_args(argv)
    try:
        names = class_names_from(args.class_names)
    except ValueError as error:
        parser.error("--class-names: %s" % error)
    started = time.monotonic()
    try:
        classifier = Classifier(args.knowledge)
        X, _ = read_signals(args.signals)
        labels = read_labels(args.labels, args.first_label)
        _warn_unless_standardised(classifier, X, args.signals)
        if len(labels) != len(X):
            raise ValueError("%s has %d labels for the %d signals of %s: give one per signal line"
                             % (args.labels, len(labels), len(X), args.signals))
        class_ids, probabilities = classify_with_progress(classifier, X, started)
        result = evaluate(class_ids, labels, names)
    except OSError as error:
        print("error: %s: %s" % (error.filename, error.strerror) if error.filename and error.strerror
              else "error: %s" % error, file=sys.stderr)
        return 1
    except SignalFileError as error:
        from .knowledge.check import signal_file_error_line
        print("error: %s" % signal_file_error_line(error), file=sys.stderr)
        return 1
    except (KnowledgeError, ValueError) as error:
        print("error: %s" % error, file=sys.stderr)
        return 1
    sys.stdout.write(result.table())
    sys.stdout.flush()
    return write_outputs([
        (args.json, lambda path: _write_json(result, path)),
        (args.plot, lambda path: _write_plot(result, class_ids, probabilities, labels, path))])


class _CallableModule(types.ModuleType):
    """After 'import ombrel.evaluate' the name ombrel.evaluate is this module;
    calling it still evaluates, as the package's evaluate does."""

    def __call__(self, class_ids, labels, class_names=None):
        return evaluate(class_ids, labels, class_names)


if __name__ == "__main__":
    sys.exit(main())
else:
    sys.modules[__name__].__class__ = _CallableModule
