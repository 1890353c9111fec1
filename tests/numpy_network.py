"""The classification as the library runs it, vectorised across signals.

float32 throughout, every product and sum rounded on its own, each sum in
the library's order (bias first, then input 0, 1, ..., 63; bias first, then
unit 0, 1, ...); tanh and exp computed in float64 and rounded to float32.
numpy's dot and matmul choose their own summation order, so the sums are
written as loops over inputs, each step one float32 operation on a whole
column of signals.

An independent reference for the tests, and the trainer's check
(tools/train_emg.py) where the compiled engine is not built. Its bits equal
the compiled library's (tests/python/test_forward_bits.py, a million signals
with special values); the package itself classifies only with the library.
"""

from __future__ import annotations

from typing import Union

import numpy as np

from ombrel.knowledge import INPUT_LENGTH, SOFTMAX_FACTOR, Knowledge, read_bytes


def forward(k: Union[Knowledge, np.ndarray, bytes], signals: np.ndarray
            ) -> tuple[np.ndarray, np.ndarray]:
    """Classify signals [M][64] as the library does, in float32.

    `k` is a Knowledge, or a knowledge's floats or bytes.
    Returns (probabilities [M][4] float32, class ids [M], 1..4)."""
    if not isinstance(k, Knowledge):
        k = read_bytes(k)
    x = np.asarray(signals, dtype=np.float32).reshape(-1, INPUT_LENGTH)
    n = k.hidden_biases.size
    f = (x - k.means) * k.scales                      # two float32 roundings
    h = np.repeat(k.hidden_biases[None, :], len(x), axis=0)
    for i in range(INPUT_LENGTH):                     # bias, then feature 0, 1, ...
        h = h + k.hidden_weights[i][None, :] * f[:, i:i + 1]
    h = np.tanh(h.astype(np.float64)).astype(np.float32)
    s = np.repeat(k.output_biases[None, :], len(x), axis=0)
    for j in range(n):
        s = s + h[:, j:j + 1] * k.output_weights[j][None, :]
    return softmax_decision(s, SOFTMAX_FACTOR)


def softmax_decision(scores: np.ndarray, factor: int) -> tuple[np.ndarray, np.ndarray]:
    """Probabilities [M][C] and 1-based winners of float32 scores [M][C]:
    exp((s - max) * factor) over their float32 sum, taken as a product by
    the reciprocal; strict comparisons, so the first of equals wins and a
    NaN never does."""
    s = np.asarray(scores, dtype=np.float32)
    m = s[:, 0].copy()
    for i in range(1, s.shape[1]):
        m = np.where(s[:, i] > m, s[:, i], m)          # ordered: NaN never wins
    with np.errstate(over="ignore", invalid="ignore"):
        t = (s - m[:, None]) * np.float32(factor)
        e = np.exp(t.astype(np.float64)).astype(np.float32)
    total = np.zeros(len(s), np.float32)
    for i in range(s.shape[1]):
        total = total + e[:, i]
    with np.errstate(divide="ignore", invalid="ignore"):
        p = e * (np.float32(1.0) / total)[:, None]
    best = p[:, 0].copy()
    index = np.zeros(len(s), np.int64)
    for i in range(1, s.shape[1]):
        better = p[:, i] > best
        best = np.where(better, p[:, i], best)
        index = np.where(better, i, index)
    return p, index + 1
