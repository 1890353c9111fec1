"""The numpy network of the tests (tests/numpy_network.py), the independent
reference where the compiled engine is not needed, gives the compiled
library's bits: on a million signals over two knowledges, special values included."""

import os

import numpy as np

import ombrel
from ombrel import knowledge
from numpy_network import forward
from support import EMG, random_signals

BLOCK = 125_000


def knowledges():
    yield knowledge.read(os.path.join(EMG, "knowledge.bin"))
    rng = np.random.default_rng(5)           # all 23 units, scores that often tie or saturate
    floats = knowledge.from_arrays(means=rng.normal(0, 5, 64), scales=rng.uniform(0.01, 2, 64),
                                   hidden_weights=rng.normal(0, 0.5, (64, 23)),
                                   hidden_biases=rng.normal(0, 1, 23),
                                   output_weights=rng.normal(0, 3, (23, 4)),
                                   output_biases=rng.normal(0, 1, 4))
    yield knowledge.read_bytes(floats.tobytes())


def test_forward_gives_the_compiled_bits_on_a_million_signals():
    rng = np.random.default_rng(11)
    emg, _ = ombrel.read_signals(os.path.join(EMG, "signals.csv"))
    spread = emg.std(axis=0)
    total = 0
    for k in knowledges():
        clf = ombrel.Classifier(np.frombuffer(knowledge.pack(*(getattr(k, n) for n in knowledge.ARRAY_NAMES)),
                                              np.float32))
        for block in range(4):
            if block % 2:
                x = random_signals(rng, BLOCK)
            else:                            # signals like the example's: unsaturated units
                x = (emg[rng.integers(0, len(emg), BLOCK)]
                     + rng.normal(0, 0.3, (BLOCK, 64)) * spread).astype(np.float32)
            with np.errstate(all="ignore"):
                p, ids = forward(k, x)
            expected = clf.classify(x)
            np.testing.assert_array_equal(p.view(np.uint32), expected.probabilities.view(np.uint32))
            np.testing.assert_array_equal(ids, expected.class_ids)
            total += len(x)
    assert total >= 1_000_000
