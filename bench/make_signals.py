#!/usr/bin/env python3
"""Writes the throughput benchmark's inputs, deterministically.

  make_signals.py OUT_DIR [LINES]

OUT_DIR/signals.csv: LINES lines (default 200,000) of 64 comma-separated
values with six decimals, each line ended by a line feed (about 135 MB).
OUT_DIR/knowledge.bin: a knowledge with 23 hidden units that the library
accepts. Values come from a fixed linear congruential generator, so every
run writes the same bytes.
"""
import os
import struct
import sys

CONFIGURATION = [4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22]


class Lcg:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        return self.state >> 33


def knowledge(units, rng):
    def uniform(scale):
        return scale * (rng.next() / float(1 << 31) * 2.0 - 1.0)
    floats = [uniform(20.0) for _ in range(64)]            # means
    floats += [0.02 + abs(uniform(0.05)) for _ in range(64)]  # scales
    floats.append(float(units))
    floats += [uniform(0.5) for _ in range(65 * units)]     # hidden weights and biases
    floats += [uniform(1.0) for _ in range(4 * units + 4)]  # output weights and biases
    floats += [float(v) for v in CONFIGURATION]
    return struct.pack("<%df" % len(floats), *floats)


def main():
    out = sys.argv[1]
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 200_000
    os.makedirs(out, exist_ok=True)
    rng = Lcg(20261207)
    with open(os.path.join(out, "knowledge.bin"), "wb") as f:
        f.write(knowledge(23, rng))
    with open(os.path.join(out, "signals.csv"), "w", newline="\n") as f:
        for _ in range(lines):
            # Whole micro-units in [-99.999999, 99.999999], written with six decimals.
            row = []
            for _ in range(64):
                v = rng.next() % 199999999 - 99999999
                sign = "-" if v < 0 else ""
                v = abs(v)
                row.append("%s%d.%06d" % (sign, v // 1000000, v % 1000000))
            f.write(",".join(row))
            f.write("\n")


if __name__ == "__main__":
    main()
