#!/usr/bin/env python3
"""Prints the constants of library/engine/exp_lanes.h, exp_accurate.cpp,
float_single.cpp and exp_float_table.h, computed with 200-digit decimals and
rounded once to double or to float:
- for the double evaluation (step ln 2/64): 64/ln 2; ln 2/64 split into a
  40-bit head (so that k * head is exact for |k| < 2^13) and its remainder;
  the Taylor coefficients 1/n!; 2^(j/64) for j = 0..63;
- for the double-double evaluation (step ln 2/32): 32/ln 2 and ln 2/32 in
  three parts, two of 40 bits;
- for the single-precision evaluation: 32/ln 2 and ln 2/32 in three floats,
  each the float nearest to what the ones before leave, the Taylor
  coefficients as floats, and 2^(j/32) for j = 0..31 in three floats the same
  way (hi + lo within 2^-49, hi + lo + lowest within 2^-73)."""
from decimal import Decimal, getcontext
import math
import struct

getcontext().prec = 200


def to_float(value):
    """The float32 nearest to a Decimal (checked against both neighbours of
    the double's rounding, so no double rounding)."""
    candidate = struct.unpack("<f", struct.pack("<f", float(value)))[0]
    bits = struct.unpack("<I", struct.pack("<f", candidate))[0]
    neighbours = [struct.unpack("<f", struct.pack("<I", b))[0]
                  for b in (bits - 1, bits + 1) if 0 <= b < 0x7F800000 or 0x80000000 <= b < 0xFF800000]
    return min([candidate] + neighbours, key=lambda c: abs(Decimal(c) - value))


def float_hex(value):
    if value == 0:
        return "0x0p+0f"
    mantissa, exponent = float(value).hex().split("p")
    return "%sp%sf" % (mantissa.rstrip("0").rstrip("."), exponent)


def parts40(step):
    exponent = math.frexp(float(step))[1]
    scale = Decimal(2) ** (40 - exponent)
    head = (step * scale).to_integral_value() / scale
    assert Decimal(float(head)) == head
    return head


def float_parts(value, count):
    parts = []
    for _ in range(count):
        parts.append(to_float(value - sum(Decimal(p) for p in parts)))
    return parts


step = Decimal(2).ln() / 64
head = parts40(step)
print("inverse step", float(1 / step).hex())
print("step head   ", float(head).hex())
print("step tail   ", float(step - head).hex())
for n in range(2, 9):
    print(f"1/{n}!        ", float(Decimal(1) / math.factorial(n)).hex())
for j in range(64):
    value = Decimal(2) ** (Decimal(j) / 64)
    print(f"2^({j}/64)    ", float(value).hex())

step32 = Decimal(2).ln() / 32
head = parts40(step32)
head2 = parts40(step32 - head)
print("double-double: inverse step", float(1 / step32).hex(), "step parts", float(head).hex(),
      float(head2).hex(), float(step32 - head - head2).hex())
print("single: inverse step", float_hex(to_float(1 / step32)), "step parts",
      " ".join(float_hex(p) for p in float_parts(step32, 3)))
print("single: 1/n! for n = 3..6", " ".join(float_hex(to_float(Decimal(1) / math.factorial(n)))
                                            for n in range(3, 7)))
for j in range(32):
    parts = float_parts(Decimal(2) ** (Decimal(j) / 32), 3)
    print(f"2^({j}/32)    ", " ".join(float_hex(p) for p in parts))
