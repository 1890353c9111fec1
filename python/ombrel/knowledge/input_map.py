"""What a model does to a signal before its hidden layer, gathered into the
form the library holds.

The library computes the hidden layer's sums from ((x - means) * scales), one
mean and one scale per input. A chain of per-input affine steps (subtract,
add, multiply, divide by constants; scalers; batch normalisation) keeps that
form; a linear map across inputs (PCA, a dense layer without an activation)
cannot, and is folded into the hidden layer's weights instead:

    hidden sums = ((x - means) * scales + offset) @ matrix @ W + bias @ W + b

where offset collects what an input scaled by 0 still adds, and matrix and
bias are the linear maps composed (the identity and 0 when there is none).
All in float64; the library's float32 rounding happens once, at packing.
"""

from __future__ import annotations

from typing import Optional

import numpy as np

from .layout import INPUT_LENGTH, KnowledgeError


def fit(value: np.ndarray, width: int, what: str) -> np.ndarray:
    """value (a number, or one per value) as `width` float64 values."""
    a = np.asarray(value, np.float64)
    try:
        return np.broadcast_to(a.reshape(-1) if a.ndim > 1 else a, (width,)).copy()
    except ValueError:
        raise KnowledgeError("%s has shape %s, which does not fit %d values"
                             % (what, a.shape, width)) from None


class InputMap:
    def __init__(self, means: Optional[np.ndarray] = None, scales: Optional[np.ndarray] = None):
        self.means = np.zeros(INPUT_LENGTH) if means is None else np.array(means, np.float64)
        self.scales = np.ones(INPUT_LENGTH) if scales is None else np.array(scales, np.float64)
        self.offset = np.zeros(INPUT_LENGTH)
        self.matrix: Optional[np.ndarray] = None
        self.bias: Optional[np.ndarray] = None
        self.folded: list[str] = []        # the linear maps folded into the hidden layer

    @property
    def width(self) -> int:
        return INPUT_LENGTH if self.matrix is None else self.matrix.shape[1]

    def fit(self, value: np.ndarray, what: str) -> np.ndarray:
        """value broadcast to one number per value of the current width."""
        return fit(value, self.width, what)

    def add(self, value: np.ndarray, what: str = "the addend") -> None:
        c = self.fit(value, what)
        if self.matrix is not None:
            self.bias = self.bias + c
            return
        # (x - m) * s + c = (x - (m - c / s)) * s where s != 0.
        live = self.scales != 0
        self.means = np.where(live, self.means - c / np.where(live, self.scales, 1.0), self.means)
        self.offset = np.where(live, self.offset, self.offset + c)

    def multiply(self, value: np.ndarray, what: str = "the factor") -> None:
        c = self.fit(value, what)
        if self.matrix is not None:
            self.matrix = self.matrix * c
            self.bias = self.bias * c
        else:
            self.scales = self.scales * c
            self.offset = self.offset * c

    def divide(self, value: np.ndarray, what: str, zero_hint: str) -> None:
        c = self.fit(value, what)
        if (c == 0).any():
            raise KnowledgeError("%s is 0 at value %d: %s"
                                 % (what, int(np.flatnonzero(c == 0)[0]), zero_hint))
        self.multiply(1.0 / c, what)

    def linear(self, matrix: np.ndarray, bias: np.ndarray, name: str) -> None:
        """Then y @ matrix + bias, a map across the values."""
        if self.matrix is None:
            self.matrix, self.bias = matrix, self.offset @ matrix + bias
            self.offset = np.zeros(INPUT_LENGTH)
        else:
            self.matrix, self.bias = self.matrix @ matrix, self.bias @ matrix + bias
        self.folded.append(name)

    def fold(self, W: np.ndarray, b: np.ndarray) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]:
        """(means, scales, hidden weights, hidden biases) for the library."""
        if self.matrix is not None:
            return self.means, self.scales, self.matrix @ W, self.bias @ W + b
        return self.means, self.scales, W, self.offset @ W + b

    def note(self) -> Optional[str]:
        if not self.folded:
            return None
        return ("folded %s into the hidden layer's weights and biases (the library's "
                "standardisation is one mean and scale per input)" % " and ".join(self.folded))
