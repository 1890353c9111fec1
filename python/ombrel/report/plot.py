"""The evaluation's picture: the confusion matrix with counts and row
percentages, and per class the library chose a histogram of the winning
probability; the run's warnings, if any, as the figure's title."""

import os

import numpy as np

from ..file_paths import replacing


def plot_evaluation(evaluation, class_ids, probabilities, labels, path, warnings=""):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    names = evaluation.class_names
    matrix = evaluation.confusion_matrix
    rows = matrix.sum(axis=1, keepdims=True)
    share = np.divide(matrix, rows, out=np.zeros(matrix.shape), where=rows != 0)
    figure = plt.figure(figsize=(12, 6), layout="constrained")
    if warnings:
        figure.suptitle(warnings, color="tab:red", fontweight="bold")
    left, right = figure.subfigures(1, 2, width_ratios=[1, 1.2])

    axes = left.subplots()
    axes.imshow(share, cmap="Blues", vmin=0, vmax=1)
    for t in range(len(names)):
        for p in range(len(names)):
            axes.text(p, t, "%d\n%.1f%%" % (matrix[t, p], 100 * share[t, p]), ha="center", va="center",
                      color="white" if share[t, p] > 0.5 else "black")
    axes.set_xticks(range(len(names)), names)
    axes.set_yticks(range(len(names)), names)
    axes.set_xlabel("classified as")
    axes.set_ylabel("true class")
    axes.set_title("accuracy %.2f%% (%d signals)" % (100 * evaluation.accuracy, evaluation.signals))

    winning = probabilities.max(axis=1) if len(probabilities) else np.zeros(0)
    right_ok = class_ids == labels
    bins = np.linspace(0, 1, 21)
    for k, axes in enumerate(right.subplots(2, 2, sharex=True).ravel()):
        given = class_ids == k + 1
        axes.hist([winning[given & right_ok], winning[given & ~right_ok]], bins=bins, stacked=True,
                  color=["tab:green", "tab:red"], label=["right", "wrong"])
        # A NaN probability falls in no bin: counted in the title instead.
        nan = int(np.isnan(winning[given]).sum())
        axes.set_title("classified as %s%s" % (names[k], " (%d with NaN probabilities)" % nan if nan else ""))
        axes.set_xlabel("winning probability")
        if k == 0:
            axes.legend()
    kind = os.path.splitext(os.fsdecode(path))[1].lstrip(".").lower() or "png"
    try:
        with replacing(path, "wb") as f:
            figure.savefig(f, dpi=100, format=kind)
    finally:
        plt.close(figure)
