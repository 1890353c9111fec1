"""Train the EMG gesture example knowledge with numpy alone.

    python3 tools/train_emg.py

Reads examples/emg/data/{0,1,2,3}.csv (64 EMG values and a label per row,
rows in time order), trains on the first 70% of the rows of each file and
keeps the last 30% for evaluation.  The network is the one the library runs:
standardisation, one layer of tanh units, 4 linear outputs and a soft-max
with factor 5.  Writes, into examples/emg/:

    knowledge.bin   the trained knowledge
    signals.csv     the held-out signals, 64 values per line as in the data
    labels.txt      their class ids (1..4), one per line

and prints the held-out accuracy of a float32 forward pass that computes
what the library computes.  The seed is fixed, so a rerun on the same
machine gives the same files.
"""

import argparse
import os
import sys
import time

import numpy as np

TOOLS = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(TOOLS)
sys.path.insert(0, TOOLS)
import knowledge  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "tests"))
from numpy_network import forward  # noqa: E402

DATA_DIR = os.path.join(ROOT, "examples", "emg", "data")
OUT_DIR = os.path.join(ROOT, "examples", "emg")
FILES = ("0.csv", "1.csv", "2.csv", "3.csv")
# data label -> library class id (1 Scissors, 2 Rock, 3 Paper, 4 NoSign; the
# fourth class holds the "ok" gesture here)
LABEL_TO_CLASS = {1: 1, 0: 2, 2: 3, 3: 4}


def train_row_count(rows):
    """Rows of a file used for training: the first 70%."""
    return rows * 7 // 10


def load(data_dir=DATA_DIR):
    """Training and held-out rows of every file, in file order.

    Returns (train_x, train_class, held_x, held_class, held_text), where
    held_text holds each held-out signal's 64 values exactly as written."""
    tx, tc, hx, hc, htext = [], [], [], [], []
    for name in FILES:
        with open(os.path.join(data_dir, name), newline="") as f:
            lines = f.read().split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        values, classes, texts = [], [], []
        for number, line in enumerate(lines, 1):
            signal, sep, label = line.rpartition(",")
            fields = signal.split(",")
            if not sep or len(fields) != knowledge.INPUT_LENGTH:
                raise ValueError("%s line %d: expected 64 values and a label" % (name, number))
            values.append([float(v) for v in fields])
            classes.append(LABEL_TO_CLASS[int(label)])
            texts.append(signal)
        k = train_row_count(len(lines))
        values = np.array(values, dtype=np.float32)
        tx.append(values[:k]); tc.extend(classes[:k])
        hx.append(values[k:]); hc.extend(classes[k:]); htext.extend(texts[k:])
    return (np.vstack(tx), np.array(tc), np.vstack(hx), np.array(hc), htext)


def standardisation(x):
    """Means and scales (1 / standard deviation) of the training inputs."""
    mean = x.astype(np.float64).mean(axis=0)
    std = x.astype(np.float64).std(axis=0)
    scale = np.where(std > 0, 1.0 / np.where(std > 0, std, 1.0), 0.0)
    return mean.astype(np.float32), scale.astype(np.float32)


def train(features, classes, units, epochs, seed, rate=3e-3, decay=1e-4, batch=128):
    """Soft-max network trained with Adam on mini-batches, in float64.

    Returns W [64][units], b [units], V [units][4], c [4] for raw scores
    z = tanh(f W + b) V + c whose plain soft-max gives the probabilities."""
    rng = np.random.default_rng(seed)
    n_in = features.shape[1]
    params = [rng.normal(0.0, 1.0 / np.sqrt(n_in), (n_in, units)), np.zeros(units),
              rng.normal(0.0, 1.0 / np.sqrt(max(units, 1)), (units, 4)), np.zeros(4)]
    first = [np.zeros_like(p) for p in params]
    second = [np.zeros_like(p) for p in params]
    target = np.eye(4)[classes - 1]
    step = 0
    for _ in range(epochs):
        order = rng.permutation(len(features))
        for start in range(0, len(order), batch):
            rows = order[start:start + batch]
            f, y = features[rows], target[rows]
            W, b, V, c = params
            h = np.tanh(f @ W + b)
            z = h @ V + c
            p = np.exp(z - z.max(axis=1, keepdims=True))
            p /= p.sum(axis=1, keepdims=True)
            dz = (p - y) / len(rows)
            dh = (dz @ V.T) * (1.0 - h * h)
            grads = [f.T @ dh + decay * W, dh.sum(axis=0), h.T @ dz + decay * V, dz.sum(axis=0)]
            step += 1
            for p_, g, m, v in zip(params, grads, first, second):
                m *= 0.9; m += 0.1 * g
                v *= 0.999; v += 0.001 * g * g
                p_ -= rate * (m / (1 - 0.9 ** step)) / (np.sqrt(v / (1 - 0.999 ** step)) + 1e-8)
    return params


def confusion(expected, found):
    m = np.zeros((4, 4), dtype=int)
    for e, f in zip(expected, found):
        m[e - 1, f - 1] += 1
    return m


def main(argv=None):
    p = argparse.ArgumentParser(description="Train the EMG example knowledge (numpy only).")
    p.add_argument("--units", type=int, default=23, help="hidden units, 0..23 (default 23)")
    p.add_argument("--epochs", type=int, default=60, help="training epochs (default 60)")
    p.add_argument("--seed", type=int, default=20240607, help="random seed")
    p.add_argument("--data", default=DATA_DIR, help="folder of 0.csv..3.csv")
    p.add_argument("--out", default=OUT_DIR, help="folder for knowledge.bin, signals.csv, labels.txt")
    args = p.parse_args(argv)
    if not 0 <= args.units <= knowledge.HIDDEN_CAPACITY:
        p.error("--units must be between 0 and %d" % knowledge.HIDDEN_CAPACITY)

    began = time.time()
    tx, tc, hx, hc, htext = load(args.data)
    means, scales = standardisation(tx)
    features = ((tx - means) * scales).astype(np.float64)   # as the library computes them
    W, b, V, c = train(features, tc, args.units, args.epochs, args.seed)
    trained = time.time() - began

    # The library's soft-max multiplies score differences by 5: divide the
    # output layer by 5 so that it gives the trained probabilities.
    factor = knowledge.SOFTMAX_FACTOR
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, "knowledge.bin")
    size = knowledge.write(path, means, scales, W, b, V / factor, c / factor)
    with open(os.path.join(args.out, "signals.csv"), "w", newline="\n") as f:
        f.writelines(t + "\n" for t in htext)
    with open(os.path.join(args.out, "labels.txt"), "w", newline="\n") as f:
        f.writelines("%d\n" % k for k in hc)

    k = knowledge.read(path)
    _, train_found = forward(k, tx)
    _, found = forward(k, hx)
    hits = int((found == hc).sum())
    print("knowledge: %s (%d bytes, %d hidden units, %d epochs, seed %d)"
          % (path, size, args.units, args.epochs, args.seed))
    print("training rows: %d, accuracy %.2f%%" % (len(tc), 100.0 * (train_found == tc).mean()))
    print("held-out rows: %d, accuracy %.2f%% (%d of %d)"
          % (len(hc), 100.0 * hits / len(hc), hits, len(hc)))
    print("confusion (rows: expected class 1..4, columns: found class 1..4):")
    m = confusion(hc, found)
    for cls in range(4):
        print("  %-8s %s  %.1f%%" % (knowledge.CLASS_NAMES[cls + 1],
                                     " ".join("%4d" % v for v in m[cls]),
                                     100.0 * m[cls, cls] / m[cls].sum()))
    print("training time: %.1f s" % trained)
    return 0


if __name__ == "__main__":
    sys.exit(main())
