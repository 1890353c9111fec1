"""The library's compiled constants and the knowledge layout derived from them.

A knowledge is a flat run of little-endian float32 values, with no header:

    means[64]  scales[64]  unit count N (as a float)
    hidden weights[64][N] (input-major)  hidden biases[N]
    output weights[N][4] (unit-major)    output biases[4]
    configuration[19]

608 + 276*N bytes in all.  The library accepts a knowledge only when its
stored unit count is a finite float s with -1 < s < 24 (N = s truncated
toward zero, 0..23) and its last 19 floats equal the compiled configuration
(float32 equality).
"""

from __future__ import annotations

import math
from typing import NamedTuple, Optional

import numpy as np

INPUT_LENGTH = 64
CLASS_COUNT = 4
HIDDEN_CAPACITY = 23
SOFTMAX_FACTOR = 5
CLASS_NAMES = ("unknown", "Scissors", "Rock", "Paper", "NoSign")
EXPECTED_CONFIGURATION = (4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0,
                          1000000, 1, 1, 22)
CONFIGURATION_LENGTH = len(EXPECTED_CONFIGURATION)
HEADER_FLOATS = 2 * INPUT_LENGTH + 1   # means, scales, unit count
FLOAT = np.dtype("<f4")

ARRAY_NAMES = ("means", "scales", "hidden_weights", "hidden_biases",
               "output_weights", "output_biases")


class KnowledgeError(ValueError):
    """A knowledge that cannot be built, or that the library would not load.

    The message says what is wrong and what to change."""
    __module__ = "ombrel.knowledge"     # where users import it from


class Knowledge(NamedTuple):
    """A knowledge's arrays as float32, the way the library reads them."""
    means: np.ndarray            # [64]
    scales: np.ndarray           # [64]
    hidden_weights: np.ndarray   # [64][N], input-major
    hidden_biases: np.ndarray    # [N]
    output_weights: np.ndarray   # [N][4], unit-major
    output_biases: np.ndarray    # [4]
    configuration: np.ndarray    # [19]
    stored_unit_count: float


def float_count(units: int) -> int:
    """Number of floats of a knowledge with `units` hidden units."""
    return (HEADER_FLOATS + (INPUT_LENGTH + 1) * units + CLASS_COUNT * units
            + CLASS_COUNT + CONFIGURATION_LENGTH)


def byte_size(units: int) -> int:
    return FLOAT.itemsize * float_count(units)


def sections(units: int) -> list[tuple[str, int, int]]:
    """(name, first float index, float count) of every section, in file order."""
    counts = (("means", INPUT_LENGTH), ("scales", INPUT_LENGTH), ("unit count", 1),
              ("hidden weights", INPUT_LENGTH * units), ("hidden biases", units),
              ("output weights", CLASS_COUNT * units), ("output biases", CLASS_COUNT),
              ("configuration", CONFIGURATION_LENGTH))
    result, start = [], 0
    for name, count in counts:
        result.append((name, start, count))
        start += count
    return result


def unit_count_from(stored: float) -> Optional[int]:
    """N for a stored unit count, or None when the library refuses it."""
    stored = float(np.float32(stored))
    if not math.isfinite(stored) or not -1.0 < stored < HIDDEN_CAPACITY + 1:
        return None
    return int(stored)          # truncation toward zero


def loaded_floats(data: bytes, count: int) -> np.ndarray:
    """`count` floats from the start of `data`, as the loader fills its
    zeroed buffer: the floats the data lacks stay zero, a partial last float
    too (the loader copies only whole items)."""
    raw = bytearray(4 * count)
    chunk = data[:4 * min(count, len(data) // 4)]
    raw[:len(chunk)] = chunk
    return np.frombuffer(bytes(raw), dtype=FLOAT)


def split(values: np.ndarray, n: int) -> Knowledge:
    """The sections of a knowledge's float32 values (float_count(n) of them)."""
    parts = {name: values[start:start + count] for name, start, count in sections(n)}
    return Knowledge(
        means=parts["means"].copy(),
        scales=parts["scales"].copy(),
        hidden_weights=parts["hidden weights"].reshape(INPUT_LENGTH, n).copy(),
        hidden_biases=parts["hidden biases"].copy(),
        output_weights=parts["output weights"].reshape(n, CLASS_COUNT).copy(),
        output_biases=parts["output biases"].copy(),
        configuration=parts["configuration"].copy(),
        stored_unit_count=float(parts["unit count"][0]),
    )
