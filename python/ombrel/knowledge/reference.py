"""What an import keeps of its source model to check the knowledge against
it: the source in float64 (before any folding, so a check measures what
folding and float32 changed), signals drawn from what the model was fitted
on, and the float64 arrays the knowledge rounds (to tell which rounding lost
the model)."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Callable, Optional

import numpy as np

from .card import KnowledgeFloats
from .layout import INPUT_LENGTH

Probabilities = Callable[[np.ndarray], np.ndarray]
Sampler = Callable[[np.random.Generator, int], np.ndarray]


@dataclass
class Imported:
    """floats: the knowledge with its card. probabilities: the source's
    class probabilities [M][C] in float64. probes: signals drawn from what
    the model was fitted on, described by probe_text. folded: the float64
    arrays (means, scales, hidden weights and biases, output weights and
    biases before the soft-max factor) that floats rounds. steps: what each
    section of the knowledge was folded from. description: the model as
    read, line by line."""
    floats: KnowledgeFloats
    probabilities: Probabilities
    probes: Sampler
    probe_text: str
    folded: dict[str, np.ndarray] = field(default_factory=dict)
    steps: dict[str, str] = field(default_factory=dict)
    description: list[str] = field(default_factory=list)


def normal_probes(rng: np.random.Generator, n: int) -> np.ndarray:
    return rng.standard_normal((n, INPUT_LENGTH))


def inverse_standardisation(means: np.ndarray, scales: np.ndarray) -> Sampler:
    """Signals that the standardisation (x - means) * scales maps to a
    standard normal: the statistics a scaler or a batch normalisation was
    fitted with (an input scaled by 0 is held at its mean)."""
    spread = np.divide(1.0, np.abs(scales), out=np.zeros_like(scales), where=scales != 0)

    def draw(rng: np.random.Generator, n: int) -> np.ndarray:
        return means + rng.standard_normal((n, INPUT_LENGTH)) * spread
    return draw


def sklearn_probes(step: Optional[Any]) -> tuple[Sampler, str]:
    """Signals drawn from the statistics the pipeline's first step was
    fitted on, or a standard normal without one."""
    from sklearn.decomposition import PCA
    from sklearn.preprocessing import MaxAbsScaler, MinMaxScaler, RobustScaler, StandardScaler
    kind = type(step).__name__
    if isinstance(step, StandardScaler):
        centre = step.mean_ if step.mean_ is not None else 0.0
        spread = np.sqrt(step.var_) if step.var_ is not None else 1.0
        return lambda rng, n: centre + spread * rng.standard_normal((n, INPUT_LENGTH)), \
            "normal with the %s's means and variances" % kind
    if isinstance(step, MinMaxScaler):
        return lambda rng, n: rng.uniform(step.data_min_, step.data_max_, (n, INPUT_LENGTH)), \
            "uniform over the %s's fitted range" % kind
    if isinstance(step, MaxAbsScaler):
        return lambda rng, n: rng.uniform(-step.max_abs_, step.max_abs_, (n, INPUT_LENGTH)), \
            "uniform within the %s's largest magnitudes" % kind
    if isinstance(step, RobustScaler):
        centre = step.center_ if step.center_ is not None else 0.0
        # The interquartile range of a normal is 1.349 standard deviations.
        spread = step.scale_ / 1.349 if step.scale_ is not None else 1.0
        return lambda rng, n: centre + spread * rng.standard_normal((n, INPUT_LENGTH)), \
            "normal with the %s's centres and interquartile ranges" % kind
    if isinstance(step, PCA):
        def draw(rng: np.random.Generator, n: int) -> np.ndarray:
            z = rng.standard_normal((n, step.components_.shape[0])) * np.sqrt(step.explained_variance_)
            noise = np.sqrt(max(float(step.noise_variance_), 0.0)) * rng.standard_normal((n, INPUT_LENGTH))
            return step.mean_ + z @ step.components_ + noise
        return draw, "the %s's fitted distribution (mean, components and their variances)" % kind
    return normal_probes, "standard normal (the model has no fitted statistics of its inputs)"


def sklearn_probabilities(steps: list[Any], mlp: Any) -> Probabilities:
    """The pipeline in float64: each step's own transform, then the
    classifier's layers with its weights taken as float64."""
    W, V = (np.asarray(w, np.float64) for w in mlp.coefs_)
    b, c = (np.asarray(i, np.float64) for i in mlp.intercepts_)

    def probabilities(x: np.ndarray) -> np.ndarray:
        x = np.asarray(x, np.float64)
        for step in steps:
            x = np.asarray(step.transform(x), np.float64)
        with np.errstate(all="ignore"):
            z = np.tanh(x @ W + b) @ V + c
            if mlp.out_activation_ == "logistic":
                z = np.hstack([np.zeros_like(z), z])
            e = np.exp(z - z.max(axis=1, keepdims=True))
            return e / e.sum(axis=1, keepdims=True)
    return probabilities


def convert_arrays(**arrays: Any) -> Imported:
    """from_arrays's knowledge, with its network in float64 as the source and
    signals drawn through the standardisation given (a standard normal
    without one)."""
    from .conversion import from_arrays, standardisation
    floats = from_arrays(**arrays)
    m, s = standardisation(arrays.get("means"), arrays.get("scales"), arrays.get("stds"))
    a = dict(means=m, scales=s)
    for name in ("hidden_weights", "hidden_biases", "output_weights", "output_biases"):
        a[name] = np.asarray(arrays[name], np.float64)
    a["hidden_biases"], a["output_biases"] = a["hidden_biases"].reshape(-1), a["output_biases"].reshape(-1)
    given = floats.card.standardisation == "import"
    probes = inverse_standardisation(m, s) if given else normal_probes
    text = "normal through the standardisation given" if given else "standard normal"
    steps = {"standardisation": "given at import" if given else "none",
             "hidden layer": "hidden layer", "output layer": "output layer"}
    return Imported(floats, lambda x: network_probabilities(a, x), probes, text, a, steps)


def network_probabilities(a: dict[str, np.ndarray], x: np.ndarray) -> np.ndarray:
    """softmax(tanh(((x - means) * scales) @ W + b) @ V + c) in float64, of
    the arrays by their from_arrays names (V and c before the soft-max factor)."""
    with np.errstate(all="ignore"):
        z = np.tanh(((x - a["means"]) * a["scales"]) @ a["hidden_weights"] + a["hidden_biases"])
        z = z @ a["output_weights"] + a["output_biases"]
        e = np.exp(z - z.max(axis=1, keepdims=True))
        return e / e.sum(axis=1, keepdims=True)
