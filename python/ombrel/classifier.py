"""The library's classifier for numpy: float32 probabilities bit for bit as
classifier_run gives them, from any number of threads."""

import hashlib
import operator
import os
import stat
import warnings
from typing import NamedTuple, Optional

import numpy as np

from ._engine import engine
from .knowledge import CLASS_COUNT, INPUT_LENGTH, KnowledgeError, examine
from .knowledge.card import Card, card_of, load_card
from .knowledge.class_labels import LabelMap
from .report_warnings import ReportWarning, SignalFileWarning

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
    """X as C-ordered float32 (or float64) rows, and whether one signal was
    given."""
    a = np.asarray(X)
    if a.dtype.kind not in "fiu":
        raise TypeError("signals must be numbers (a float or integer dtype), not %s" % a.dtype)
    if a.shape == (INPUT_LENGTH,):
        return np.ascontiguousarray(a.reshape(1, INPUT_LENGTH), dtype=np.float32), True
    if a.ndim != 2 or a.shape[1] != INPUT_LENGTH:
        raise ValueError("signals have shape %s; give shape (n, %d) for n signals or (%d,) for one"
                         % (a.shape, INPUT_LENGTH, INPUT_LENGTH))
    # C-ordered float64 rows go to the engine as they are: it rounds them to
    # float32 a block at a time, as astype and C's conversion do (nearest),
    # with no converted copy of the whole array. Other forms are converted
    # here the same way.
    if a.dtype == np.float64 and a.flags.c_contiguous:
        return a, False
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


class StaleCardWarning(SignalFileWarning):
    """A card beside the knowledge file that cannot be used: it describes
    another knowledge (its SHA-256 differs), or does not read. It is
    ignored: the classes are then the ids 1 to 4."""


def _read(knowledge) -> tuple[bytes, str, Optional[Card]]:
    """(the knowledge's bytes, what to call it, its card or None)."""
    if isinstance(knowledge, (str, bytes, os.PathLike)):
        source = "knowledge file %s" % os.fsdecode(knowledge)
        data = _read_regular_file(knowledge, source)
        card, problem = load_card(knowledge, data)
        if problem:
            warnings.warn(StaleCardWarning(ReportWarning("stale-card", problem)), stacklevel=3)
        return data, source, card
    array = np.asarray(knowledge)
    if array.dtype != np.float32 or array.ndim != 1:
        raise TypeError("a knowledge array holds the file's floats: a 1-D float32 array, "
                        "not %s of shape %s (read a file by its path)" % (array.dtype, array.shape))
    return array.astype("<f4").tobytes(), "knowledge array", card_of(knowledge)


class Classifier:
    """The library's network over one knowledge, in scikit-learn's shape.

    knowledge: path of a knowledge file (read as the command reads it, with
    the card beside it when its hash matches), or a float32 array of a
    knowledge file's floats (an import's floats carry their card). Raises
    KnowledgeError when the library refuses it.

    threads: the threads one call classifies on (1 to 64); None (the
    default) takes OMBREL_THREADS when it is set, else the number of cores
    this process may use, when each call starts. Any thread count, and any
    number of threads calling at once (the GIL is released while they
    classify), gives the bits of one thread. Ctrl-C stops a call within a
    few milliseconds. Both are kept as given (get_params).

    classes_ holds the model's labels in id order (the card's; 1 to 4
    without one); predict returns values of classes_, predict_proba a column
    per class of classes_. classify gives the library's own view: ids 1 to
    4 and the four probabilities.
    """

    _estimator_type = "classifier"

    def __init__(self, knowledge, threads=None):
        self.knowledge = knowledge
        self.threads = _thread_count(threads)
        self._build(*_read(knowledge))

    def _build(self, data: bytes, source: str, card: Optional[Card]) -> None:
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
        self.card_ = card
        if card is None:
            self.classes_ = np.arange(1, CLASS_COUNT + 1, dtype=np.uint8)
            self.class_names_ = tuple(engine().CLASS_NAMES[1:])
        else:
            self.classes_ = np.asarray(card.labels)
            self.class_names_ = tuple(card.class_names)

    def get_params(self, deep=True) -> dict:
        """The constructor's arguments, as given."""
        return {"knowledge": self.knowledge, "threads": self.threads}

    def set_params(self, **params) -> "Classifier":
        """Sets constructor arguments and loads the knowledge again."""
        unknown = sorted(set(params) - set(self.get_params()))
        if unknown:
            raise ValueError("invalid parameter %r for Classifier; valid parameters: %s"
                             % (unknown[0], ", ".join(sorted(self.get_params()))))
        merged = {**self.get_params(), **params}
        self.__init__(**merged)
        return self

    def score(self, X, y, sample_weight=None) -> float:
        """The share of signals X whose predicted class equals y (values of
        classes_), weighted by sample_weight when given. A value of y that
        is none of classes_ raises ValueError."""
        truth = LabelMap(list(self.classes_)).ids_of(y, "y")
        given = self.classify(X).class_ids.reshape(-1)
        if given.size != truth.size:
            raise ValueError("%d signals for %d labels: give one label per signal" % (given.size, truth.size))
        right = given == truth
        return float(np.average(right, weights=sample_weight))

    def __reduce__(self):
        # Pickles as its floats and card: a copy rebuilds its engine once,
        # where it lands, without reading the file again.
        return (_restore, (self.knowledge, self.threads, self.knowledge_, self.card_))

    def __dask_tokenize__(self):
        # Equal knowledge and card, equal key: a Dask graph holds (and ships) it once.
        card = None if self.card_ is None else self.card_.to_json("")
        return "ombrel.Classifier", hashlib.sha256(self.knowledge_.tobytes()).hexdigest(), card

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
        """Probabilities of the classes of classes_ (one column each; the
        ids 1 to 4 without a card), float32."""
        return self.classify(X).probabilities[..., :len(self.classes_)]

    def predict(self, X) -> np.ndarray:
        """The class of classes_ with the first highest probability (ids 1
        to 4, uint8, without a card)."""
        ids = self.classify(X).class_ids
        # Padded ids have probability 0 and never win; NaN signals give id 1.
        return self.classes_[np.minimum(ids, len(self.classes_)) - 1]

    def trace(self, x) -> dict:
        """Every stage of one signal's classification: "standardised" (64),
        "hidden" (N), "scores" (4, before the soft-max), "probabilities" (4)
        and "class_id"."""
        rows, one = _signals(x)
        if rows.shape[0] != 1:
            raise ValueError("trace takes one signal, shape (64,); got %d" % rows.shape[0])
        return self._engine.trace(rows[0])


def _restore(knowledge, threads, floats, card) -> Classifier:
    """An unpickled Classifier: its parameters as given, built from the
    floats and card it was pickled with."""
    self = Classifier.__new__(Classifier)
    self.knowledge, self.threads = knowledge, threads
    self._build(np.asarray(floats).astype("<f4").tobytes(), "knowledge array", card)
    return self
