"""Scores of class ids against labels: accuracy, per-class precision, recall,
F1 and support, and the confusion matrix."""

from dataclasses import dataclass

import numpy as np

from .knowledge import CLASS_COUNT
from .knowledge import CLASS_NAMES as _NAMES_BY_ID

CLASS_NAMES = tuple(_NAMES_BY_ID[1:])              # class ids 1 to CLASS_COUNT


def _ids(values, what):
    a = np.asarray(values)
    if a.ndim != 1 or a.dtype.kind not in "iu":
        raise ValueError("%s must be a 1-D array of integer class ids, not %s of shape %s"
                         % (what, a.dtype, a.shape))
    bad = np.flatnonzero((a < 1) | (a > CLASS_COUNT))
    if bad.size:
        raise ValueError("%s: %d at index %d is not a class id 1 to %d"
                         % (what, a[bad[0]], bad[0], CLASS_COUNT))
    return a.astype(np.int64)


def _ratio(numerator, denominator):
    # 0 where nothing was counted, as scikit-learn reports it.
    return np.divide(numerator, denominator, out=np.zeros(CLASS_COUNT),
                     where=denominator != 0)


@dataclass(frozen=True)
class Evaluation:
    """confusion_matrix[t - 1, p - 1]: signals of true class t given class p."""
    confusion_matrix: np.ndarray

    @property
    def signals(self) -> int:
        return int(self.confusion_matrix.sum())

    @property
    def correct(self) -> int:
        return int(np.trace(self.confusion_matrix))

    @property
    def accuracy(self) -> float:
        return self.correct / self.signals if self.signals else 0.0

    @property
    def support(self) -> np.ndarray:
        return self.confusion_matrix.sum(axis=1)

    @property
    def precision(self) -> np.ndarray:
        return _ratio(np.diag(self.confusion_matrix), self.confusion_matrix.sum(axis=0))

    @property
    def recall(self) -> np.ndarray:
        return _ratio(np.diag(self.confusion_matrix), self.support)

    @property
    def f1(self) -> np.ndarray:
        return _ratio(2 * self.precision * self.recall, self.precision + self.recall)

    @property
    def class_names(self) -> tuple:
        return CLASS_NAMES

    def to_dict(self) -> dict:
        return {
            "signals": self.signals,
            "accuracy": self.accuracy,
            "per_class": {name: {"precision": float(self.precision[k]), "recall": float(self.recall[k]),
                                 "f1": float(self.f1[k]), "support": int(self.support[k])}
                          for k, name in enumerate(CLASS_NAMES)},
            "confusion_matrix": self.confusion_matrix.tolist(),
            "class_names": list(CLASS_NAMES),
        }

    def table(self) -> str:
        width = max(len(n) for n in CLASS_NAMES) + 2
        out = ["accuracy: %.2f%% (%d of %d)" % (100.0 * self.accuracy, self.correct, self.signals), "",
               "%-*s %9s %9s %9s %9s" % (width, "class", "precision", "recall", "f1", "support")]
        for k, name in enumerate(CLASS_NAMES):
            out.append("%-*s %9.4f %9.4f %9.4f %9d" % (width, name, self.precision[k], self.recall[k],
                                                        self.f1[k], self.support[k]))
        out += ["", "confusion matrix (rows: true class, columns: given class)",
                "%-*s" % (width, "") + "".join("%10s" % n for n in CLASS_NAMES)]
        for k, name in enumerate(CLASS_NAMES):
            out.append("%-*s" % (width, name) + "".join("%10d" % c for c in self.confusion_matrix[k]))
        return "\n".join(out) + "\n"


def evaluate(class_ids, labels) -> Evaluation:
    """Scores the class ids a classifier gave (1 to 4) against the true
    labels (1 to 4), signal by signal."""
    given = _ids(class_ids, "class_ids")
    truth = _ids(labels, "labels")
    if given.shape != truth.shape:
        raise ValueError("%d class ids for %d labels: give one label per signal"
                         % (given.size, truth.size))
    matrix = np.zeros((CLASS_COUNT, CLASS_COUNT), np.int64)
    np.add.at(matrix, (truth - 1, given - 1), 1)
    return Evaluation(matrix)
