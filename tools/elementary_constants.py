#!/usr/bin/env python3
"""Prints the constants of library/engine/exp_lanes.h, computed with 60-digit
decimals and rounded once to double: 64/ln 2; ln 2/64 split into a 40-bit
head (so that k * head is exact for |k| < 2^13) and its remainder; the Taylor
coefficients 1/n!; and 2^(j/64) for j = 0..63."""
from decimal import Decimal, getcontext
import math

getcontext().prec = 60
step = Decimal(2).ln() / 64
exponent = math.frexp(float(step))[1]
scale = Decimal(2) ** (40 - exponent)
head = (step * scale).to_integral_value() / scale
assert Decimal(float(head)) == head

print("inverse step", float(1 / step).hex())
print("step head   ", float(head).hex())
print("step tail   ", float(step - head).hex())
for n in range(2, 6):
    print(f"1/{n}!        ", float(Decimal(1) / math.factorial(n)).hex())
for j in range(64):
    print(f"2^({j}/64)    ", float(Decimal(2) ** (Decimal(j) / 64)).hex())
