#!/usr/bin/env python3
"""Writes library/engine/elementary_constants.h, every constant of the
library's own tanh and exp, computed with 200-digit decimals and rounded once
to double or to float, with the range limits checked against the exact
functions and the error summary of both evaluations.

  /usr/bin/python3 tools/elementary_constants.py [--check] [HEADER]

HEADER defaults to library/engine/elementary_constants.h; with --check
nothing is written and the exit status is 1 when HEADER differs from what
would be written (tests/tools/test_elementary_constants.py runs that)."""
from decimal import Decimal, getcontext
import math
from pathlib import Path
import struct
import sys

getcontext().prec = 200
HEADER = Path(__file__).resolve().parent.parent / "library" / "engine" / "elementary_constants.h"
LN2 = Decimal(2).ln()
STEP = LN2 / 32


def to_float(value):
    """The float32 nearest to a Decimal (the double's rounding and both its
    float neighbours compared, so no double rounding)."""
    candidate = struct.unpack("<f", struct.pack("<f", float(value)))[0]
    bits = struct.unpack("<I", struct.pack("<f", candidate))[0]
    neighbours = [struct.unpack("<f", struct.pack("<I", b))[0] for b in (bits - 1, bits + 1)
                  if 0 <= b < 0x7F800000 or 0x80000000 <= b < 0xFF800000]
    return min([candidate] + neighbours, key=lambda c: abs(Decimal(c) - value))


def float_hex(value):
    if value == 0:
        return "0x0p+0f"
    mantissa, exponent = float(value).hex().split("p")
    return "%sp%sf" % (mantissa.rstrip("0").rstrip("."), exponent)


def double_hex(value):
    return float(value).hex()


def float_parts(value, count):
    """value as a sum of floats, each the float nearest to what the ones
    before leave."""
    parts = []
    for _ in range(count):
        parts.append(to_float(value - sum(Decimal(p) for p in parts)))
    return parts


def multiple_of(value, power):
    """True when value is an integer multiple of 2^power."""
    return (Decimal(value) / Decimal(2) ** power) % 1 == 0


def step_parts():
    parts = float_parts(STEP, 3)
    # k*L1 in the float evaluation: y - k*L1 is a multiple of min(ulp(y),
    # 2^-26) below 2^-6, a float. In double, y - k*L1 - k*L2 is a multiple of
    # 2^-54 below 2^-6: 48 bits, exact.
    assert multiple_of(parts[0], -26) and multiple_of(parts[1], -54)
    # The double lanes add the lower two in double: exactly.
    assert Decimal(float(Decimal(parts[1]) + Decimal(parts[2]))) == Decimal(parts[1]) + Decimal(parts[2])
    remainder = abs(STEP - sum(Decimal(p) for p in parts))
    assert remainder < Decimal(2) ** -83
    return parts


def exp2_table():
    """2^(j/32) in three floats: hi + lo within 2^-49, all three within 2^-73,
    lo + lowest exact in double (under 49 bits between them)."""
    rows = []
    for j in range(32):
        value = Decimal(2) ** (Decimal(j) / 32)
        parts = float_parts(value, 3)
        assert abs(value - Decimal(parts[0]) - Decimal(parts[1])) < value * Decimal(2) ** -49
        assert abs(value - sum(Decimal(p) for p in parts)) < value * Decimal(2) ** -73
        rows.append(parts)
    return rows


def exp(x):
    return Decimal(x).exp()


def lanes_polynomial():
    """e^r = 1 + r + r^2 (c2 + r/6 + r^2 c4 + r^3/120) over |r| <= ln2/64
    (1 + 2^-10): the Taylor polynomial of degree 6 with its r^6/720 folded
    into c2 and c4 by Chebyshev economisation, r^6 = a^6 (T6(r/a) + 48 (r/a)^4
    - 18 (r/a)^2 + 1) / 32, dropping T6 and the constant."""
    bound = STEP / 2 * (1 + Decimal(2) ** -10)
    c6 = Decimal(1) / 720
    c2 = float(Decimal(1) / 2 - c6 * 18 / 32 * bound ** 4)
    c4 = float(Decimal(1) / 24 + c6 * 48 / 32 * bound ** 2)
    worst = Decimal(0)
    for i in range(-400, 401):
        r = bound * i / 400
        value = 1 + r + r * r * (Decimal(c2) + r * Decimal(float(Decimal(1) / 6)) + r * r * Decimal(c4)
                                 + r ** 3 * Decimal(float(Decimal(1) / 120)))
        worst = max(worst, abs(exp(r) - value) / exp(r))
    assert worst < Decimal(2) ** -52 / Decimal(2).sqrt(), worst
    return c2, c4


def check_range_limits():
    """The limits beyond which each function's float result needs no
    evaluation, against the exact functions."""
    half_float_gap_below_one = Decimal(2) ** -25
    # 1 - tanh(9.1) = 2 / (e^18.2 + 1): under half the spacing below 1, by far
    # more than any double-precision tanh's error.
    assert 2 / (exp(Decimal("18.2")) + 1) < half_float_gap_below_one * Decimal("0.9")
    # Below 2^-13, x - tanh x < x^3/3 is under half the float spacing below x
    # (2^-25 x at a power of two).
    small = Decimal(2) ** -13
    assert small ** 3 / 3 < small * Decimal(2) ** -25 / 4
    assert exp(-87) > Decimal(2) ** -126 and exp(Decimal("88.5")) < Decimal(2) ** 128
    largest_float = (2 - Decimal(2) ** -23) * Decimal(2) ** 127
    assert exp(89) > largest_float + Decimal(2) ** 103  # rounds to infinity
    assert exp(Decimal("-104.5")) < Decimal(2) ** -150  # rounds to +0


def inverse_factorials(count, rounding):
    return [rounding(Decimal(1) / math.factorial(n)) for n in range(count)]


TEMPLATE = """\
// Generated by tools/elementary_constants.py, which computes every constant
// with 200-digit decimals and checks the range limits against the exact
// functions: do not edit, run
//   /usr/bin/python3 tools/elementary_constants.py
// (tests/tools/test_elementary_constants.py fails when this file is stale).
//
// The library's float tanh and exp have two evaluations and one exact
// fallback, all reducing the argument the same way:
//   y = k ln2/32 + r,  k = nearest integer to y 32/ln2,  |r| <= ln2/64 + 2^-20,
//   e^y = 2^(k>>5) 2^((k&31)/32) e^r,
// with ln2/32 = STEP_PARTS[0] + [1] + [2] (floats, each the nearest to what
// the ones before leave; the sum within 2^-83) and one table of 2^(j/32).
// - Double lanes (engine/exp_lanes.h, x86-64): y - k*P0 exact, minus
//   k*(P1 + P2) rounded once: r within 2^-60; e^r by an economised
//   polynomial of degree 5 (within 2^-52.5), the table entry as the double
//   nearest to hi + lo + lowest: e^y within 2^-50 relative.
//   tanh|x| = (E-1)/(E+1) with E = e^(2|x|) magnifies that by at most 4097:
//   within 2^-38.
// - Float-only (engine/float_single.cpp, every other processor): float-float
//   values with exact products by fused multiply-add, the polynomial of
//   degree 6, the table's hi + lo: e^y within 2^-43.5, tanh within 2^-37.4
//   (measured over every float, against the double-precision functions).
// - Exact fallback (engine/exp_accurate.cpp): double-doubles, r exact as a
//   double-double of y - k(P0 + P1 + P2), the polynomial of degree 8, the
//   table's three floats: e^y within 2^-69, e^y - 1 within 2^-62.
// Each evaluation rounds to float where its result lies farther than its
// window from a float rounding midpoint and hands the rest to the fallback.
#ifndef OMBREL_ELEMENTARY_CONSTANTS_H
#define OMBREL_ELEMENTARY_CONSTANTS_H

#include "engine/float_float.h"

#include <cstdint>

// 32/ln 2, and ln 2/32 in three floats (the first two have their last bit at
// 2^-26 and 2^-54).
inline constexpr double INVERSE_STEP = {inverse_step};
inline constexpr float INVERSE_STEP_FLOAT = {inverse_step_float};
inline constexpr float STEP_PARTS[3] = {{{step_parts}}};

// 1/n! for n = 0..8, in double and in float.
inline constexpr double INVERSE_FACTORIAL[9] = {{
{factorials}
}};
inline constexpr float INVERSE_FACTORIAL_FLOAT[9] = {{
{factorials_float}
}};

// The double lanes' polynomial: 1/2 and 1/24 with the Taylor term r^6/720
// folded in (Chebyshev economisation over |r| <= ln2/64 (1 + 2^-10)), so
// that with 1/6 and 1/120 degree 5 gives e^r within 2^-52.5.
inline constexpr double LANES_HALF = {lanes_half};
inline constexpr double LANES_TWENTY_FOURTH = {lanes_twenty_fourth};

// 2^(j/32) for j = 0..31 in three floats, each the float nearest to what the
// ones before leave: hi + lo within 2^-49 (the float-only evaluation),
// hi + lo + lowest within 2^-73 (the others; lo + lowest is exact in double).
inline constexpr FloatFloat EXP2_TABLE[32] = {{
{table}
}};

inline constexpr float EXP2_TABLE_LOWEST[32] = {{
{lowest}
}};

// Range limits, each checked by the generator against the exact function.
// From |x| = 9.1 on, 1 - tanh|x| < 2.5e-8 lies below half the float spacing
// under 1 (2.98e-8): the result is +-1. Below 2^-13, |x - tanh x| < |x|^3/3
// lies below half the float spacing under |x|: the result is x (zeros and
// subnormals included). NaN fails both comparisons.
inline constexpr float TANH_SATURATION = 9.1f;
inline constexpr float TANH_IDENTITY_LIMIT = 0x1p-13f;
// Over [-87, 88.5] e^x is a normal float, which both evaluations decide;
// beyond 89 it rounds to infinity, below -104.5 (e^x < 2^-150) to +0; in
// between (subnormal, or near overflow) the fallback rounds it.
inline constexpr float EXP_LOWEST_NORMAL = -87.0f;
inline constexpr float EXP_HIGHEST_COVERED = 88.5f;
inline constexpr float EXP_OVERFLOW_LIMIT = 89.0f;
inline constexpr float EXP_UNDERFLOW_LIMIT = -104.5f;

// Windows around a float rounding midpoint inside which an evaluation hands
// its argument to the fallback: its error bound plus the double-precision
// function's own (a few double ulps), with a margin.
// Double lanes, in ulps of the double result: exp within 2^-50 (4 ulps);
// tanh within 2^-38 (2^15 ulps).
inline constexpr std::int64_t LANES_EXP_WINDOW = std::int64_t{{1}} << 8;
inline constexpr std::int64_t LANES_TANH_WINDOW = std::int64_t{{1}} << 17;
// Float-only, relative to the result: exp 2^-43.5, tanh 2^-37.4.
inline constexpr float FLOAT_EXP_WINDOW = 0x1p-42f;
inline constexpr float FLOAT_TANH_WINDOW = 0x1p-36f;

#endif
"""


def header_text():
    check_range_limits()
    table = exp2_table()
    half, twenty_fourth = lanes_polynomial()
    rows = ["    {%s, %s}," % (float_hex(t[0]), float_hex(t[1])) for t in table]
    lowest = [float_hex(t[2]) for t in table]
    return TEMPLATE.format(
        inverse_step=double_hex(1 / STEP),
        inverse_step_float=float_hex(to_float(1 / STEP)),
        step_parts=", ".join(float_hex(p) for p in step_parts()),
        factorials=wrapped(inverse_factorials(9, double_hex), 3),
        factorials_float=wrapped(inverse_factorials(9, lambda v: float_hex(to_float(v))), 5),
        lanes_half=double_hex(half),
        lanes_twenty_fourth=double_hex(twenty_fourth),
        table="\n".join(rows),
        lowest=wrapped(lowest, 4))


def wrapped(items, per_line):
    return "\n".join("    " + ", ".join(items[i:i + per_line]) + "," for i in range(0, len(items), per_line))


def main(arguments):
    check = "--check" in arguments
    paths = [a for a in arguments if a != "--check"]
    path = Path(paths[0]) if paths else HEADER
    text = header_text()
    if check:
        current = path.read_text() if path.exists() else ""
        if current != text:
            print("%s is not what tools/elementary_constants.py writes: run it again" % path)
            return 1
        return 0
    path.write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
