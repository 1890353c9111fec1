"""Scores of class ids against labels as plain arrays: the confusion matrix
and the per-class figures derived from it. Below both the Evaluation
(ombrel.evaluation) and the report's page, which each present them."""

import numpy as np

from .knowledge.layout import CLASS_COUNT


def class_ids(values, what):
    """values as int64 class ids 1 to CLASS_COUNT; ValueError naming `what`
    and the first value that is not one."""
    a = np.asarray(values)
    if a.ndim != 1 or a.dtype.kind not in "iu":
        raise ValueError("%s must be a 1-D array of integer class ids, not %s of shape %s (for "
                         "the model's own labels, pass classes=classifier.classes_)"
                         % (what, a.dtype, a.shape))
    bad = np.flatnonzero((a < 1) | (a > CLASS_COUNT))
    if bad.size:
        raise ValueError("%s: %d at index %d is not a class id 1 to %d (for the model's own "
                         "labels, pass classes=classifier.classes_)"
                         % (what, a[bad[0]], bad[0], CLASS_COUNT))
    return a.astype(np.int64)


def confusion_matrix(given, labels):
    """matrix[t - 1, p - 1]: signals of true class t given class p."""
    given = class_ids(given, "class_ids")
    truth = class_ids(labels, "labels")
    if given.shape != truth.shape:
        raise ValueError("%d class ids for %d labels: give one label per signal"
                         % (given.size, truth.size))
    matrix = np.zeros((CLASS_COUNT, CLASS_COUNT), np.int64)
    np.add.at(matrix, (truth - 1, given - 1), 1)
    return matrix


def _ratio(numerator, denominator):
    # 0 where nothing was counted, as scikit-learn reports it.
    return np.divide(numerator, denominator, out=np.zeros(CLASS_COUNT),
                     where=denominator != 0)


def per_class(matrix):
    """(precision, recall, f1, support) of each class, float64 arrays but
    support (int64)."""
    support = matrix.sum(axis=1)
    precision = _ratio(np.diag(matrix), matrix.sum(axis=0))
    recall = _ratio(np.diag(matrix), support)
    return precision, recall, _ratio(2 * precision * recall, precision + recall), support
