"""Knowledge files: packing arrays into bytes, writing, and reading back as
the library loads them."""

from __future__ import annotations

import os
from typing import Optional, Sequence, Union

import numpy as np

from .layout import (CLASS_COUNT, CONFIGURATION_LENGTH, EXPECTED_CONFIGURATION, FLOAT,
                     HEADER_FLOATS, HIDDEN_CAPACITY, INPUT_LENGTH, Knowledge, KnowledgeError,
                     float_count, loaded_floats, split, unit_count_from)
from ..file_paths import read_regular_bytes, write_bytes_whole
from .inspection import examine

ArrayLike = Union[np.ndarray, Sequence[float], Sequence[Sequence[float]]]


def _array(value: ArrayLike, shape: tuple[int, ...], name: str) -> np.ndarray:
    a = np.asarray(value, dtype=np.float64)
    if a.shape != shape:
        raise KnowledgeError("%s: shape %s, expected %s" % (name, a.shape, shape))
    return a.astype(np.float32)


def pack(means: ArrayLike, scales: ArrayLike, hidden_weights: ArrayLike,
         hidden_biases: ArrayLike, output_weights: ArrayLike, output_biases: ArrayLike,
         configuration: ArrayLike = EXPECTED_CONFIGURATION,
         stored_unit_count: Optional[float] = None) -> bytes:
    """Bytes of a knowledge, the arrays stored as given (rounded to float32).

    hidden_weights is [64][N], output_weights [N][4].  `configuration` and
    `stored_unit_count` default to the accepted values; they can be
    overridden to build knowledges the library refuses.  To convert a
    trained model, use from_arrays, which also folds the soft-max factor."""
    hb = np.asarray(hidden_biases, dtype=np.float64).reshape(-1)
    n = hb.size
    if n > HIDDEN_CAPACITY:
        raise KnowledgeError("%d hidden units: the library holds at most %d"
                             % (n, HIDDEN_CAPACITY))
    parts = [
        _array(means, (INPUT_LENGTH,), "means"),
        _array(scales, (INPUT_LENGTH,), "scales"),
        np.array([n if stored_unit_count is None else stored_unit_count], np.float32),
        _array(hidden_weights, (INPUT_LENGTH, n), "hidden_weights"),
        _array(hb, (n,), "hidden_biases"),
        _array(output_weights, (n, CLASS_COUNT), "output_weights"),
        _array(output_biases, (CLASS_COUNT,), "output_biases"),
        _array(configuration, (CONFIGURATION_LENGTH,), "configuration"),
    ]
    return b"".join(p.astype(FLOAT).tobytes() for p in parts)


def write_bytes(path: Union[str, os.PathLike], data: bytes) -> int:
    """Writes `data` to `path` in one piece: a failure leaves no partial file
    and an existing file unchanged."""
    try:
        return write_bytes_whole(path, data)
    except OSError as e:        # named by the caller's path, not the temporary one
        raise type(e)(e.errno, e.strerror, os.fspath(path)) from None


def write(path: Union[str, os.PathLike], floats: Union[np.ndarray, bytes]) -> int:
    """Writes a knowledge (the floats that from_onnx, from_sklearn or
    from_arrays return, or packed bytes) and returns its size in bytes.
    The floats of an import carry its card, written beside the file
    (card.card_path); a card left there by an earlier knowledge is removed.

    Refuses, writing nothing, anything the library would not load."""
    from .card import card_of
    data = bytes(floats) if isinstance(floats, (bytes, bytearray)) \
        else np.asarray(floats, dtype=np.float32).astype(FLOAT).tobytes()
    ex = examine(data)
    if not ex.accepted:
        raise KnowledgeError("the library would refuse this knowledge: " + "; ".join(ex.reasons))
    n = unit_count_from(np.frombuffer(data[4 * (HEADER_FLOATS - 1):4 * HEADER_FLOATS], FLOAT)[0])
    if n is None or len(data) != 4 * float_count(n):
        raise KnowledgeError("%d bytes do not make a whole knowledge" % len(data))
    size = write_bytes(path, data)
    _write_card(path, card_of(floats), data)
    return size


def _write_card(path: Union[str, os.PathLike], card, data: bytes) -> None:
    from .card import card_path, sha256
    where = card_path(path)
    if card is not None:
        write_bytes(where, card.to_json(sha256(data)).encode("utf-8"))
    elif os.path.isfile(where):
        os.unlink(where)


def read_bytes(data: Union[bytes, np.ndarray]) -> Knowledge:
    """Knowledge from file contents (or a float array), as the library would load it."""
    if isinstance(data, np.ndarray):
        data = data.astype(FLOAT).tobytes()
    if len(data) < 4 * HEADER_FLOATS:
        raise KnowledgeError("%d bytes: too short to hold the unit count" % len(data))
    stored = loaded_floats(data, HEADER_FLOATS)[HEADER_FLOATS - 1]
    n = unit_count_from(stored)
    if n is None:
        raise KnowledgeError("unusable unit count %r" % float(stored))
    return split(loaded_floats(data, float_count(n)), n)


def read(path: Union[str, os.PathLike]) -> Knowledge:
    """The knowledge file at path; a FIFO or device is refused at once."""
    return read_bytes(read_regular_bytes(path, "the knowledge"))
