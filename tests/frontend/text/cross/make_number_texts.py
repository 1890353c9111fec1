#!/usr/bin/env python3
"""Writes a signal file of number texts of every shape the reader takes, for
comparing two builds' readings bit for bit (signal_bits.cpp):
    make_number_texts.py OUT [LINES]
64 values a line, each followed by one separator of a few kinds. The
values: decimals of 1 to 20 digits with and without a point and an
exponent; float midpoints and their neighbours at every binade, subnormal
ones included, written with 9 to 26 digits; hexadecimal texts with up to 20
significand digits; the words. Deterministic (numpy's PCG64, fixed seed)."""
import sys

import numpy as np

VALUES = 64
SEPARATORS = [",", " ", "\t", ";"]


def decimal_text(rng):
    digits = "".join(str(d) for d in rng.integers(0, 10, int(rng.integers(1, 21))))
    point = int(rng.integers(0, len(digits) + 1))
    text = digits[:point] + ("." + digits[point:] if point < len(digits) or rng.random() < 0.3 else "")
    if rng.random() < 0.5:
        text += "eE"[int(rng.integers(0, 2))] + ["", "+", "-"][int(rng.integers(0, 3))] + str(rng.integers(0, 50))
    return text or "0"


def midpoint_text(rng):
    bits = np.uint32(rng.integers(0, 0x7F800000))
    low = bits.view(np.float32)
    high = np.nextafter(low, np.float32(np.inf))
    middle = (float(low) + float(high)) / 2  # exact in a double
    near = middle * (1 + float(rng.choice([-1, 0, 0, 1])) * 2.0 ** -52)
    return "%.*e" % (int(rng.integers(8, 26)), near)


def hex_text(rng):
    digits = "".join("0123456789abcdefABCDEF"[d] for d in rng.integers(0, 22, int(rng.integers(1, 21))))
    return "0x%s.%sp%d" % (digits[:1], digits[1:], int(rng.integers(-160, 130)))


def value_text(rng):
    kind = rng.random()
    if kind < 0.4:
        text = decimal_text(rng)
    elif kind < 0.85:
        text = midpoint_text(rng)
    elif kind < 0.97:
        text = hex_text(rng)
    else:
        text = ["nan", "inf", "Infinity", "NAN", "-0", "0.0"][int(rng.integers(0, 6))]
    return ("-" if text[0] != "-" and rng.random() < 0.5 else "") + text


def main():
    out, lines = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    rng = np.random.default_rng(20261207)
    with open(out, "w") as f:
        for _ in range(lines):
            separators = rng.integers(0, len(SEPARATORS), VALUES - 1)
            f.write("".join(value_text(rng) + SEPARATORS[s] for s in separators) + value_text(rng) + "\n")


if __name__ == "__main__":
    main()
