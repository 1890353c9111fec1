"""Writes the device test's inputs: the signals as float32 arrays in a C
source, each with its exact bits, the runs that pair them with knowledges,
and beside that source the random knowledges as knowledge files. The
knowledges reach the firmware as a user's do: tools/test_device.sh turns
each file into knowledge_NAME.c and .h with
python3 -m ombrel.knowledge export-c.

    python3 tests/device/generate_inputs.py OUTPUT.c

Beside it, special_signals.csv: the special signals as a signal file
(tests/device/test_validate.py).

Runs (knowledge x signals):
  emg            the EMG example's knowledge x its signals.csv, every line;
  emg_special    the EMG knowledge x the special signals;
  n0, n11, n23   random knowledges of N = 0, 11 and 23 x the special signals.

Special signals (fixed seed), by index mod 4: ordinary values; ordinary
values and one special value; about one value in eight special; any 32-bit
patterns. The special values: quiet and signalling NaNs of either sign with
payloads, +-inf, +-0.0, subnormals, the smallest and largest normals, and
magnitudes that overflow the sums to infinity.

signals.csv is read as the emulator reads it: its values are plain decimals
with few digits, for which the Python float rounded to float32 is exactly
the float32 nearest the decimal.
"""

import random
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
INPUT_LENGTH = 64
CLASS_COUNT = 4
EXPECTED_CONFIGURATION = (4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0,
                          1000000, 1, 1, 22)
SPECIAL_SIGNALS = 512


def bits(value):
    """The float32 bits of a Python float, rounded to nearest."""
    return struct.unpack("<I", struct.pack("<f", value))[0]


def random_knowledge(rng, units):
    """Weights sized so that hidden sums and scores stay mostly in the
    range where tanh and the soft-max are not saturated."""
    floats = [rng.uniform(-20.0, 20.0) for _ in range(INPUT_LENGTH)]
    floats += [rng.uniform(0.002, 0.03) for _ in range(INPUT_LENGTH)]
    floats.append(float(units) + rng.choice((0.0, 0.25, 0.75)))  # truncated to N
    floats += [rng.gauss(0.0, 0.3) for _ in range(INPUT_LENGTH * units)]
    floats += [rng.gauss(0.0, 0.5) for _ in range(units)]
    floats += [rng.gauss(0.0, 1.5) for _ in range(CLASS_COUNT * units)]
    floats += [rng.gauss(0.0, 0.5) for _ in range(CLASS_COUNT)]
    floats += [float(c) for c in EXPECTED_CONFIGURATION]
    return [bits(f) for f in floats]


def special_value(rng):
    kind = rng.randrange(10)
    sign = rng.choice((0, 0x80000000))
    if kind == 0:   # quiet NaN with a payload
        return sign | 0x7FC00000 | rng.randrange(1 << 22)
    if kind == 1:   # signalling NaN (payload never zero)
        return sign | 0x7F800000 | rng.randrange(1, 1 << 22)
    if kind == 2:
        return sign | 0x7F800000
    if kind == 3:
        return sign
    if kind == 4:   # subnormal
        return sign | rng.randrange(1, 1 << 23)
    if kind == 5:   # smallest normal and its neighbours
        return sign | rng.choice((0x00800000, 0x00800001, 0x007FFFFF))
    if kind == 6:   # largest finite
        return sign | 0x7F7FFFFF
    if kind == 7:   # large enough to overflow the sums
        return bits(rng.choice((-1.0, 1.0)) * rng.uniform(1e30, 3e38))
    if kind == 8:   # tiny normals
        return bits(rng.choice((-1.0, 1.0)) * rng.uniform(1e-38, 1e-30))
    return bits(rng.choice((-1.0, 1.0)) * rng.uniform(1e4, 1e9))


def special_signals(rng):
    signals = []
    for index in range(SPECIAL_SIGNALS):
        values = [bits(round(rng.gauss(0.0, 40.0))) if rng.random() < 0.5
                  else bits(rng.gauss(0.0, 40.0)) for _ in range(INPUT_LENGTH)]
        kind = index % 4
        if kind == 1:
            values[rng.randrange(INPUT_LENGTH)] = special_value(rng)
        elif kind == 2:
            values = [special_value(rng) if rng.random() < 0.125 else v for v in values]
        elif kind == 3:
            values = [rng.getrandbits(32) for _ in range(INPUT_LENGTH)]
        signals.append(values)
    return signals


def emg_signals():
    signals = []
    for line in (ROOT / "examples/emg/signals.csv").read_text().splitlines():
        if line.strip():
            values = [bits(float(text)) for text in line.split(",")]
            assert len(values) == INPUT_LENGTH, line
            signals.append(values)
    return signals


def text_value(word):
    """A float32's text as the signal reader takes it back: the same bits,
    except that a NaN keeps only its sign (the reader's NaN is quiet, with
    no payload)."""
    value = struct.unpack("<f", struct.pack("<I", word))[0]
    if value != value:
        return "-nan" if word >> 31 else "nan"
    if value in (float("inf"), float("-inf")):
        return "-inf" if value < 0 else "inf"
    return "%.9g" % value  # nine digits give back every float32


def c_array(name, words):
    lines = ["static const union { uint32_t bits[%d]; float values[%d]; } %s = {{"
             % (len(words), len(words), name)]
    for start in range(0, len(words), 8):
        lines.append("    " + ", ".join("0x%08xu" % w for w in words[start:start + 8]) + ",")
    lines.append("}};")
    return "\n".join(lines)


def main():
    rng = random.Random(20261207)
    output = Path(sys.argv[1])
    knowledges = ["emg"]
    for units in (0, 11, 23):
        name = "n%d" % units
        words = random_knowledge(rng, units)
        (output.parent / ("knowledge_%s.bin" % name)).write_bytes(
            struct.pack("<%dI" % len(words), *words))
        knowledges.append(name)
    signal_sets = {"emg": emg_signals(), "special": special_signals(rng)}
    runs = [("emg", "emg", "emg"), ("emg_special", "emg", "special"),
            ("n0", "n0", "special"), ("n11", "n11", "special"), ("n23", "n23", "special")]

    out = ["/* Written by tests/device/generate_inputs.py; do not edit. */",
           '#include "device_inputs.h"']
    out += ['#include "knowledge_%s.h"' % name for name in knowledges]
    out.append("")
    for name, signals in signal_sets.items():
        out.append(c_array("signals_" + name, [w for s in signals for w in s]))
    out.append("")
    out.append("const DeviceRun DEVICE_RUNS[] = {")
    for run, knowledge, signals in runs:
        out.append('    {"%s", knowledge_%s, signals_%s.values, %du},'
                   % (run, knowledge, signals, len(signal_sets[signals])))
    out.append("};")
    out.append("const uint32_t DEVICE_RUN_COUNT = %du;" % len(runs))
    output.write_text("\n".join(out) + "\n")
    # The special signals as a signal file, for the board validation test.
    (output.parent / "special_signals.csv").write_text(
        "".join(",".join(text_value(w) for w in s) + "\n" for s in signal_sets["special"]))


if __name__ == "__main__":
    main()
