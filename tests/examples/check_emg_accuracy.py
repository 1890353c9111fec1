#!/usr/bin/env python3
"""The bundled EMG example, classified by the emulator itself, reaches the
held-out accuracy that examples/emg/README.md publishes, and every class
equals the one that the knowledge tool's numpy forward pass of the same
knowledge gives (a row may differ only where that pass finds the two best
probabilities within a hair of each other, where last-bit differences
between math libraries could decide).

  check_emg_accuracy.py EMULATOR [--wine]
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(ROOT, "examples", "emg")
sys.path.insert(0, os.path.join(ROOT, "tools"))

import numpy as np  # noqa: E402
import knowledge  # noqa: E402

# Probabilities closer than this may swap under a last-bit difference.
TIE_MARGIN = 1e-6


def numpy_classes():
    net = knowledge.read(os.path.join(EXAMPLE, "knowledge.bin"))
    signals = np.loadtxt(os.path.join(EXAMPLE, "signals.csv"), delimiter=",", dtype=np.float32, ndmin=2)
    probabilities, classes = knowledge.forward(net, signals)
    ordered = np.sort(probabilities, axis=1)
    margins = ordered[:, -1] - ordered[:, -2]
    return [int(c) for c in classes], [float(m) for m in margins]


def main():
    command = [os.path.abspath(sys.argv[1])]
    if "--wine" in sys.argv[2:]:
        command = ["wine"] + command
    command += ["ombr_classification", "--knowledge_path", "knowledge.bin", "--file", "signals.csv"]
    done = subprocess.run(command, cwd=EXAMPLE, capture_output=True)
    report = done.stdout.decode("ascii").replace("\r\n", "\n")
    classes = [int(c) for c in re.findall(r'"class_status": (\d+)', report)]
    with open(os.path.join(EXAMPLE, "labels.txt")) as f:
        labels = [int(x) for x in f.read().split()]
    with open(os.path.join(EXAMPLE, "README.md")) as f:
        published = re.search(r"held-out accuracy: ([0-9.]+)% \((\d+) of (\d+)\)", f.read())
    failures = []
    if done.returncode != 0:
        failures.append("exit status %d" % done.returncode)
    if len(classes) != len(labels):
        failures.append("%d records for %d labels" % (len(classes), len(labels)))
    correct = sum(1 for c, label in zip(classes, labels) if c == label)
    reference, margins = numpy_classes()
    differing = [i for i, (c, r) in enumerate(zip(classes, reference)) if c != r]
    unexplained = [i for i in differing if margins[i] >= TIE_MARGIN]
    if len(reference) != len(classes) or unexplained:
        failures.append("emulator and numpy forward pass differ on rows %s" % [i + 1 for i in unexplained[:10]])
    print("rows where emulator and numpy differ: %d (all within %g of a tie)" % (len(differing), TIE_MARGIN))
    if published is None:
        failures.append("README.md publishes no held-out accuracy")
    elif (correct, len(labels)) != (int(published.group(2)), int(published.group(3))):
        failures.append("emulator: %d of %d correct; README publishes %s of %s"
                        % (correct, len(labels), published.group(2), published.group(3)))
    print("held-out accuracy through the emulator: %d of %d (%.2f%%)"
          % (correct, len(labels), 100.0 * correct / max(1, len(labels))))
    for failure in failures:
        print("FAIL:", failure)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
