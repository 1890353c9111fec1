"""The warning that signals do not look standardised by the knowledge: it
fires on raw signals given to a knowledge without their standardisation,
and stays quiet on the bundled example and on standardised data, a few
dead or odd inputs included."""

import os
import subprocess
import sys

import numpy as np
import pytest

from ombrel import knowledge
from ombrel.checks.standardisation import standardisation_warning
from support import EMG


def signals(kind, rng):
    z = rng.normal(size=(500, 64))
    if kind == "standardised, some inputs dead or wide":
        z[:, :10] = 0.0
        z[:, 10:20] *= 8
    elif kind == "shifted by 4":
        z += 4
    elif kind == "spread 20":
        z *= 20
    elif kind == "too few signals":
        return 100 + z[:10]
    return z


@pytest.mark.parametrize("kind, fires", [("standardised", False), ("standardised, some inputs dead or wide", False),
                                         ("too few signals", False), ("shifted by 4", True), ("spread 20", True)])
def test_rule(kind, fires):
    rng = np.random.default_rng(1)
    means, scales = rng.normal(0, 50, 64), rng.uniform(0.02, 1, 64)
    floats = knowledge.from_arrays(means=means, scales=scales, hidden_weights=np.zeros((64, 2)),
                                   hidden_biases=np.zeros(2), output_weights=np.zeros((2, 4)),
                                   output_biases=np.zeros(4))
    raw = signals(kind, rng) / scales + means
    lines = standardisation_warning(floats, raw, "the signals", "FIX")
    assert (lines is not None) == fires, lines
    if fires:
        assert "of 64 inputs have a mean beyond +-3 or a spread outside [0.1, 10] (input " in lines[0]
        assert "may not be in the exported graph" in lines[1] and lines[2] == "fix: FIX"


def test_evaluate_warns_on_the_example_without_its_standardisation(tmp_path):
    k = knowledge.read(os.path.join(EMG, "knowledge.bin"))
    arrays = {name: getattr(k, name) for name in knowledge.ARRAY_NAMES}
    arrays.update(means=np.zeros(64), scales=np.ones(64))
    knowledge.write(tmp_path / "raw.bin", knowledge.pack(**arrays))
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", tmp_path / "raw.bin", "signals.csv",
                           "labels.txt"], cwd=EMG, capture_output=True, text=True)
    assert done.returncode == 0
    assert done.stderr.startswith("warning: the signals of signals.csv do not look standardised")
    # One line: the finding, why it may be, and the fix.
    assert "--means M --stds S" in done.stderr and done.stderr.count("\n") == 1
