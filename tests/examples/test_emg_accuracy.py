"""The bundled EMG example, classified by the emulator itself, reaches the
held-out accuracy that examples/emg/README.md publishes, and every class
equals the one that the tests' numpy network (tests/numpy_network.py) of the same
knowledge gives (a row may differ only where that pass finds the two best
probabilities within a hair of each other, where last-bit differences
between math libraries could decide)."""
import re

import numpy as np

from conftest import EMG
from ombrel import knowledge
from numpy_network import forward

# Probabilities closer than this may swap under a last-bit difference.
TIE_MARGIN = 1e-6


def test_the_emulator_reaches_the_published_accuracy_with_the_reference_classes(emulator):
    done = emulator.classify_file("knowledge.bin", "signals.csv", cwd=EMG)
    assert done.returncode == 0
    classes = [int(c) for c in re.findall(rb'"class_status": (\d+)', done.stdout)]
    labels = [int(x) for x in (EMG / "labels.txt").read_text().split()]
    assert len(classes) == len(labels)

    signals = np.loadtxt(EMG / "signals.csv", delimiter=",", dtype=np.float32, ndmin=2)
    probabilities, reference = forward(knowledge.read(EMG / "knowledge.bin"), signals)
    top = np.sort(probabilities, axis=1)
    unexplained = [i + 1 for i, (c, r) in enumerate(zip(classes, reference))
                   if c != r and top[i, -1] - top[i, -2] >= TIE_MARGIN]
    assert unexplained == [], "emulator and numpy forward pass differ on these rows"

    published = re.search(r"held-out accuracy: ([0-9.]+)% \((\d+) of (\d+)\)", (EMG / "README.md").read_text())
    assert published, "examples/emg/README.md publishes no held-out accuracy"
    correct = sum(1 for c, label in zip(classes, labels) if c == label)
    assert (correct, len(labels)) == (int(published.group(2)), int(published.group(3)))
