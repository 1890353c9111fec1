#!/usr/bin/env python3
"""Writes the signal files of the format benchmark, deterministically: the
number formats that users' tools write, each file 64 values a line and about
133 MB, so that each reads as long as the benchmark file.

  make_formats.py OUT_DIR [BYTES]

OUT_DIR/formats/NAME for each NAME of FORMATS below, written only when
missing. The values come from numpy's PCG64 with a fixed seed: float32
signals in [-100, 100) for the formats of single-precision recorders,
float64 in the same range for what numpy, pandas and Python print, and
16-bit converter counts for the integers. The C-style formats go through
numpy's savetxt, pandas' through its to_csv, Python's through print, so each
file holds the bytes that its tool writes.
"""
import io
import os
import sys

import numpy as np

VALUES = 64
CHUNK_LINES = 2000
SEED = 20261207


def float32_values(rng, lines):
    return rng.uniform(-100.0, 100.0, (lines, VALUES)).astype(np.float32)


def float64_values(rng, lines):
    return rng.uniform(-100.0, 100.0, (lines, VALUES))


def counts(rng, lines):
    return rng.integers(-32768, 32768, (lines, VALUES))


def savetxt(fmt, delimiter, values):
    def write(rng, lines):
        out = io.StringIO()
        np.savetxt(out, values(rng, lines), fmt=fmt, delimiter=delimiter)
        return out.getvalue()
    return write


def pandas_csv(rng, lines):
    import pandas
    return pandas.DataFrame(float64_values(rng, lines)).to_csv(index=False, header=False, lineterminator="\n")


def python_print(rng, lines):
    # print(*row): each value's repr, one space apart.
    return "".join(" ".join(map(repr, row)) + "\n" for row in float64_values(rng, lines).tolist())


# name: (what writes it, the text's writer). The "%.6f" file is the
# benchmark file itself (make_signals.py).
FORMATS = {
    "g9.csv": ("`%.9g` (enough digits for any float)", savetxt("%.9g", ",", float32_values)),
    "g.csv": ("`%g`", savetxt("%g", ",", float32_values)),
    "integers.csv": ("integers", savetxt("%d", ",", counts)),
    "savetxt-comma.csv": ("numpy `savetxt(..., delimiter=',')` (`%.18e`)", savetxt("%.18e", ",", float64_values)),
    "savetxt.txt": ("numpy `savetxt` default (`%.18e`, spaces)", savetxt("%.18e", " ", float64_values)),
    "repr.txt": ("Python `repr` of float64 (`print(*row)`)", python_print),
    "pandas.csv": ("pandas `to_csv(index=False, header=False)` of float64", pandas_csv),
}


def write_format(path, writer, size):
    rng = np.random.Generator(np.random.PCG64(SEED))
    written = 0
    with open(path + ".part", "w", newline="\n") as f:
        while written < size:
            text = writer(rng, CHUNK_LINES)
            f.write(text)
            written += len(text)
    os.replace(path + ".part", path)


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    folder = os.path.join(sys.argv[1], "formats")
    size = int(sys.argv[2]) if len(sys.argv) == 3 else 133_000_000
    os.makedirs(folder, exist_ok=True)
    for name, (_, writer) in FORMATS.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            write_format(path, writer, size)


if __name__ == "__main__":
    main()
