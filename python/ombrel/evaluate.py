"""Classifies a labelled signal file and scores it.

    python3 -m ombrel.evaluate KNOWLEDGE SIGNALS LABELS [--json OUT.json] [--plot OUT.png]

LABELS holds one class id (1 to 4) per signal line. Prints the accuracy, the
per-class precision, recall, F1 and support, and the confusion matrix.
"""

import argparse
import json
import sys
import time
import types

import numpy as np

from .evaluation import CLASS_COUNT, evaluate

# Rows classified between two looks at the clock.
BLOCK = 1 << 16
PROGRESS_AFTER_SECONDS = 1.0


def read_labels(path):
    with open(path, "rb") as f:
        lines = f.read().decode("ascii", "replace").split("\n")
    while lines and not lines[-1].strip():
        lines.pop()
    labels = np.empty(len(lines), np.int64)
    for number, text in enumerate(lines, 1):
        word = text.strip()
        if not (word.isdigit() and 1 <= int(word) <= CLASS_COUNT):
            raise ValueError("%s, line %d: %r is not a class id 1 to %d"
                             % (path, number, word, CLASS_COUNT))
        labels[number - 1] = int(word)
    return labels


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
                        "histograms of the winning probability")
    args = parser.parse_args(argv)
    started = time.monotonic()
    try:
        classifier = Classifier(args.knowledge)
        X, _ = read_signals(args.signals)
        labels = read_labels(args.labels)
        if len(labels) != len(X):
            raise ValueError("%s has %d labels for the %d signals of %s: give one per signal line"
                             % (args.labels, len(labels), len(X), args.signals))
        class_ids, probabilities = classify_with_progress(classifier, X, started)
        result = evaluate(class_ids, labels)
    except (OSError, KnowledgeError, SignalFileError, ValueError) as error:
        print("error: %s" % error, file=sys.stderr)
        return 1
    sys.stdout.write(result.table())
    if args.json:
        with open(args.json, "w") as f:
            json.dump(result.to_dict(), f, indent=2)
            f.write("\n")
    if args.plot:
        from .evaluation_plot import plot_evaluation
        plot_evaluation(result, class_ids, probabilities, labels, args.plot)
    return 0


class _CallableModule(types.ModuleType):
    """After 'import ombrel.evaluate' the name ombrel.evaluate is this module;
    calling it still evaluates, as the package's evaluate does."""

    def __call__(self, class_ids, labels):
        return evaluate(class_ids, labels)


if __name__ == "__main__":
    sys.exit(main())
else:
    sys.modules[__name__].__class__ = _CallableModule
