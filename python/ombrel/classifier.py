"""The library's classifier for numpy: float32 probabilities bit for bit as
classifier_run gives them, from any number of threads."""

import hashlib
import operator
import os
import stat
from typing import NamedTuple

import numpy as np

from ._engine import engine
from .knowledge import CLASS_COUNT, INPUT_LENGTH, KnowledgeError, examine

STATUS_SELF_TEST_WARNING = 129

# Engines this process has built: one per Classifier made or unpickled.
engines_built = 0


def _refusal(data: bytes, status: int) -> str:
    if status == STATUS_SELF_TEST_WARNING:
        return "the floating-point self-test failed on this machine (status 129)"
    return "; ".join(examine(data).reasons)


class Classification(NamedTuple):
    class_ids: np.ndarray        # uint8, 1 to 4
    probabilities: np.ndarray    # float32, (n, 4)


def _signals(X):
    """X as C-ordered float32 rows, and whether one signal was given."""
    a = np.asarray(X)
    if a.dtype.kind not in "fiu":
        raise TypeError("signals must be numbers (a float or integer dtype), not %s" % a.dtype)
    if a.shape == (INPUT_LENGTH,):
        return np.ascontiguousarray(a.reshape(1, INPUT_LENGTH), dtype=np.float32), True
    if a.ndim != 2 or a.shape[1] != INPUT_LENGTH:
        raise ValueError("signals have shape %s; give shape (n, %d) for n signals or (%d,) for one"
                         % (a.shape, INPUT_LENGTH, INPUT_LENGTH))
    # astype rounds each value to the nearest float32, as C's conversion does.
    return np.ascontiguousarray(a, dtype=np.float32), False


def _thread_count(threads):
    """threads as given, checked: None, or a whole number from 1 to 64."""
    if threads is None:
        return None
    try:
        count = operator.index(threads)
    except TypeError:
        raise TypeError("threads must be a whole number from 1 to 64 or None, not %r" % (threads,)) from None
    if not 1 <= count <= 64:
        raise ValueError("threads must be a whole number from 1 to 64 or None, not %d" % count)
    return threads


def _read_regular_file(path, source):
    """The bytes of a regular file, as the command opens it: a FIFO, device
    or directory is refused at once (the open does not wait for a writer)."""
    fd = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0))
    try:
        # Checked before open(fd): it would refuse a directory naming the
        # descriptor rather than the path.
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            raise KnowledgeError("%s is not a regular file: give the path of a knowledge file" % source)
        with open(fd, "rb", closefd=False) as f:
            return f.read()
    finally:
        os.close(fd)


class Classifier:
    """The library's network over one knowledge.

    knowledge: path of a knowledge file (read as the command reads it), or a
    float32 array of a knowledge file's floats. Raises KnowledgeError when the
    library refuses it.

    threads: the threads one call classifies on (1 to 64); None (the
    default) takes OMBREL_THREADS when it is set, else the number of cores
    this process may use, when each call starts. Any thread count, and any
    number of threads calling at once (the GIL is released while they
    classify), gives the bits of one thread. Ctrl-C stops a call within a
    few milliseconds.
    """

    def __init__(self, knowledge, threads=None):
        self.threads = _thread_count(threads)
        if isinstance(knowledge, (str, bytes, os.PathLike)):
            source = "knowledge file %s" % os.fsdecode(knowledge)
            data = _read_regular_file(knowledge, source)
        else:
            array = np.asarray(knowledge)
            if array.dtype != np.float32 or array.ndim != 1:
                raise TypeError("a knowledge array holds the file's floats: a 1-D float32 array, "
                                "not %s of shape %s (read a file by its path)" % (array.dtype, array.shape))
            data = array.astype("<f4").tobytes()
            source = "knowledge array"
        global engines_built
        compiled = engine()
        floats = compiled.loaded_knowledge(data)
        if floats is None:
            # No usable unit count: the command refuses the file before loading it.
            raise KnowledgeError("%s refused: %s" % (source, _refusal(data, None)))
        try:
            self._engine = compiled.Engine(floats)
        except compiled.KnowledgeRefused as refused:
            raise KnowledgeError("%s refused: %s" % (source, _refusal(data, refused.args[1]))) from None
        engines_built += 1
        floats.flags.writeable = False
        self.knowledge_ = floats
        self.unit_count_ = self._engine.unit_count
        self.classes_ = np.arange(1, CLASS_COUNT + 1, dtype=np.uint8)
        self.class_names_ = tuple(engine().CLASS_NAMES[1:])

    def __reduce__(self):
        # Pickles as its floats: a copy rebuilds its engine once, where it lands.
        return (Classifier, (self.knowledge_, self.threads))

    def __dask_tokenize__(self):
        # Equal knowledge, equal key: a Dask graph holds (and ships) it once.
        return "ombrel.Classifier", hashlib.sha256(self.knowledge_.tobytes()).hexdigest()

    def __repr__(self):
        return "Classifier(%d hidden units)" % self.unit_count_

    def classify(self, X) -> Classification:
        """Class ids (uint8, 1 to 4) and probabilities (float32, (n, 4)) of
        signals X, shape (n, 64) or (64,) (then shapes () and (4,))."""
        return self._classify(X, self.threads)

    def _classify(self, X, threads) -> Classification:
        rows, one = _signals(X)
        probabilities, class_ids = self._engine.classify(rows, threads)
        if one:
            return Classification(class_ids[0], probabilities[0])
        return Classification(class_ids, probabilities)

    def predict_proba(self, X) -> np.ndarray:
        """Probabilities of classes 1 to 4 (columns 0 to 3), float32."""
        return self.classify(X).probabilities

    def predict(self, X) -> np.ndarray:
        """Class ids 1 to 4, uint8: the first highest probability."""
        return self.classify(X).class_ids

    def trace(self, x) -> dict:
        """Every stage of one signal's classification: "standardised" (64),
        "hidden" (N), "scores" (4, before the soft-max), "probabilities" (4)
        and "class_id"."""
        rows, one = _signals(x)
        if rows.shape[0] != 1:
            raise ValueError("trace takes one signal, shape (64,); got %d" % rows.shape[0])
        return self._engine.trace(rows[0])
