"""The classifier over dask arrays, on any Dask scheduler (threads, processes,
or a distributed cluster).

The knowledge enters the task graph as one key that every block depends on:
a distributed scheduler sends it to each worker once, where it rebuilds its
engine once, and the blocks share it.
"""

import dask
import dask.array as da
import numpy as np

from .classifier import CLASS_COUNT, INPUT_LENGTH, Classifier
from .signals import read_signals as _read_signals


def _classifier_key(knowledge):
    classifier = knowledge if isinstance(knowledge, Classifier) else Classifier(knowledge)
    # Checked here, once, so that a refused knowledge fails before any task.
    return dask.delayed(classifier, pure=True)


def _rows(array):
    array = da.asarray(array)
    if array.ndim != 2 or array.shape[1] != INPUT_LENGTH:
        raise ValueError("signals have shape %s; give a dask array of shape (n, %d)"
                         % (array.shape, INPUT_LENGTH))
    if array.numblocks[1] != 1:
        array = array.rechunk({1: INPUT_LENGTH})
    return array


def _classify_block(block, classifier, threads):
    return classifier._classify(block, classifier.threads if threads is None else threads)


def _proba_block(block, classifier, threads):
    return _classify_block(block, classifier, threads).probabilities


def _predict_block(block, classifier, threads):
    return _classify_block(block, classifier, threads).class_ids


# Each task classifies (or reads) on one thread by default: the scheduler
# already runs a task per core, and more would oversubscribe them. threads=
# None takes the Classifier's own setting.
def predict_proba(array, knowledge, threads=1):
    """Float32 probabilities (n, 4) of a dask array of signals (n, 64),
    chunked by rows; knowledge: a path, a float32 array or a Classifier;
    threads: the threads of each task (see ombrel.Classifier)."""
    rows = _rows(array)
    return da.map_blocks(_proba_block, rows, _classifier_key(knowledge), threads, dtype=np.float32,
                         chunks=(rows.chunks[0], (CLASS_COUNT,)), meta=np.empty((0, 0), np.float32))


def predict(array, knowledge, threads=1):
    """Class ids (n,) uint8, 1 to 4, of a dask array of signals (n, 64)."""
    rows = _rows(array)
    return da.map_blocks(_predict_block, rows, _classifier_key(knowledge), threads, dtype=np.uint8,
                         chunks=(rows.chunks[0],), drop_axis=1, meta=np.empty((0,), np.uint8))


def read_signals(paths, begin=None, end=None, threads=1):
    """Signals of many files as the command reads each: (X float32 (n, 64),
    line numbers int64 (n,)), one block per file, in the order given (block
    sizes are known once computed). Each file is read by ombrel.read_signals,
    through the command's own reader on `threads` threads and without the
    GIL, and raises SignalFileError as it does."""
    parts = [dask.delayed(_read_signals, nout=2, pure=True)(path, begin, end, threads) for path in paths]
    X = da.concatenate([da.from_delayed(x, (np.nan, INPUT_LENGTH), np.float32) for x, _ in parts])
    lines = da.concatenate([da.from_delayed(n, (np.nan,), np.int64) for _, n in parts])
    return X, lines
