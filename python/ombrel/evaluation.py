"""Scores of class ids against labels: accuracy, per-class precision, recall,
F1 and support, and the confusion matrix."""

from dataclasses import dataclass
from typing import Optional

import numpy as np

from .knowledge import CLASS_COUNT
from .knowledge import CLASS_NAMES as _NAMES_BY_ID
from .scoring import confusion_matrix, per_class

CLASS_NAMES = tuple(_NAMES_BY_ID[1:])              # class ids 1 to CLASS_COUNT


def class_names_from(names):
    """names as a tuple of CLASS_COUNT non-empty strings, or the library's
    names when None; a comma-separated string is split."""
    if names is None:
        return CLASS_NAMES
    if isinstance(names, str):
        names = names.split(",")
    names = tuple(str(n).strip() for n in names)
    if len(names) != CLASS_COUNT or not all(names):
        raise ValueError("give %d non-empty class names, one per class id 1 to %d, not %r"
                         % (CLASS_COUNT, CLASS_COUNT, ",".join(names)))
    return names


@dataclass(frozen=True)
class Evaluation:
    """confusion_matrix[t - 1, p - 1]: signals of true class t that the
    classifier classified as class p. class_names: the names of ids 1 to 4."""
    confusion_matrix: np.ndarray
    class_names: tuple = CLASS_NAMES
    classes: Optional[tuple] = None     # the model's labels, when evaluate was given them

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
        return per_class(self.confusion_matrix)[3]

    @property
    def precision(self) -> np.ndarray:
        return per_class(self.confusion_matrix)[0]

    @property
    def recall(self) -> np.ndarray:
        return per_class(self.confusion_matrix)[1]

    @property
    def f1(self) -> np.ndarray:
        return per_class(self.confusion_matrix)[2]

    def to_dict(self) -> dict:
        return {
            "signals": self.signals,
            "accuracy": self.accuracy,
            "per_class": {name: {"precision": float(self.precision[k]), "recall": float(self.recall[k]),
                                 "f1": float(self.f1[k]), "support": int(self.support[k])}
                          for k, name in enumerate(self.class_names)},
            "confusion_matrix": self.confusion_matrix.tolist(),
            "class_names": list(self.class_names),
        }

    def to_html(self, path, classifier, X, labels, **options) -> None:
        """Writes the interactive report of this evaluation to path: one HTML
        file with every script, style and datum inline. classifier and X
        (float32 (n, 64)) are the knowledge and signals it scored, labels its
        true classes as given to evaluate; they must give its confusion matrix. options: lines,
        compare (a second Classifier), knowledge_path, compare_path,
        signals_path, command (see ombrel.report.write_html_report)."""
        from .report import write_html_report
        if self.classes is not None:
            from .knowledge.class_labels import LabelMap
            labels = LabelMap(list(self.classes)).ids_of(labels, "labels")
        again = evaluate(classifier.classify(X).class_ids, labels)
        if not np.array_equal(again.confusion_matrix, self.confusion_matrix):
            raise ValueError("this classifier, these signals and labels give another confusion matrix "
                             "than this evaluation's: pass the ones it scored")
        write_html_report(path, classifier, X, labels, class_names=self.class_names, **options)

    def table(self) -> str:
        names = self.class_names
        width = max(len(n) for n in names) + 2
        out = ["accuracy: %.2f%% (%d of %d)" % (100.0 * self.accuracy, self.correct, self.signals), "",
               "%-*s %9s %9s %9s %9s" % (width, "class", "precision", "recall", "f1", "support")]
        for k, name in enumerate(names):
            out.append("%-*s %9.4f %9.4f %9.4f %9d" % (width, name, self.precision[k], self.recall[k],
                                                        self.f1[k], self.support[k]))
        column = max(10, max(len(n) for n in names) + 1)
        out += ["", "confusion matrix (rows: true class, columns: classified as)",
                "%-*s" % (width, "") + "".join("%*s" % (column, n) for n in names)]
        for k, name in enumerate(names):
            out.append("%-*s" % (width, name) + "".join("%*d" % (column, c) for c in self.confusion_matrix[k]))
        return "\n".join(out) + "\n"


def evaluate(class_ids, labels, class_names=None, classes=None) -> Evaluation:
    """Scores the class ids a classifier gave (1 to 4) against the true
    labels (1 to 4), signal by signal. class_names: four names for ids 1 to
    4 (a list, or one string "a,b,c,d"); by default the library's. classes:
    the model's labels in id order (a Classifier's classes_), when both
    arrays hold the model's values (predict's and y) rather than ids."""
    if classes is not None:
        from .knowledge.class_labels import LabelMap, default_names
        values = LabelMap(list(classes))
        class_ids, labels = values.ids_of(class_ids, "predictions"), values.ids_of(labels, "labels")
        if class_names is None:
            class_names = default_names(values.labels)
    names = class_names_from(class_names)
    return Evaluation(confusion_matrix(class_ids, labels), names,
                      None if classes is None else tuple(classes))
