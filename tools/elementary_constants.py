#!/usr/bin/env python3
"""Prints the constants of library/engine/exp_lanes.h and
library/engine/exp_accurate.cpp, computed with 200-digit decimals and rounded
once to double: 64/ln 2; ln 2/64 split into a 40-bit head (so that k * head
is exact for |k| < 2^13) and its remainder, and into three parts (two of 40
bits); the Taylor coefficients 1/n!; 2^(j/64) for j = 0..63, and the
remainders 2^(j/64) - double(2^(j/64))."""
from decimal import Decimal, getcontext
import math

getcontext().prec = 200
step = Decimal(2).ln() / 64
exponent = math.frexp(float(step))[1]
scale = Decimal(2) ** (40 - exponent)
head = (step * scale).to_integral_value() / scale
assert Decimal(float(head)) == head

print("inverse step", float(1 / step).hex())
print("step head   ", float(head).hex())
print("step tail   ", float(step - head).hex())
scale2 = Decimal(2) ** (40 - math.frexp(float(step - head))[1])
head2 = ((step - head) * scale2).to_integral_value() / scale2
assert Decimal(float(head2)) == head2
print("step parts  ", float(head).hex(), float(head2).hex(), float(step - head - head2).hex())
for n in range(2, 8):
    print(f"1/{n}!        ", float(Decimal(1) / math.factorial(n)).hex())
for j in range(64):
    value = Decimal(2) ** (Decimal(j) / 64)
    print(f"2^({j}/64)    ", float(value).hex(), float(value - Decimal(float(value))).hex())
