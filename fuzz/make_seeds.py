#!/usr/bin/python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/<harness>/.

The seeds are small and deterministic: running this again gives the same
files. run.sh fuzzes copies of them, never the directories themselves.
"""
import os
import random
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CONFIGURATION = [4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22]
# Splits the sections of a fuzz_command_line input.
SEPARATOR = b"\x00\xfe\xfd\x00"


def floats(values):
    return struct.pack("<%df" % len(values), *values)


def knowledge(units, rng, stored=None, means=None, scales=None):
    """A knowledge of `units` hidden units that the library accepts."""
    means = means if means is not None else [round(rng.uniform(-1, 1), 3) for _ in range(64)]
    scales = scales if scales is not None else [round(rng.uniform(0.5, 2), 3) for _ in range(64)]
    body = [round(rng.uniform(-0.5, 0.5), 4) for _ in range(69 * units + 4)]
    return floats(means + scales + [units if stored is None else stored] + body + CONFIGURATION)


def signal_lines(rng, count, separator=",", end="\n"):
    lines = []
    for _ in range(count):
        lines.append(separator.join("%.4f" % rng.uniform(-2, 2) for _ in range(64)) + end)
    return "".join(lines).encode()


def knowledge_seeds(rng):
    nan, inf = float("nan"), float("inf")
    valid3 = knowledge(3, rng)
    return {
        "units-0": knowledge(0, rng),
        "units-3": valid3,
        "units-23": knowledge(23, rng),
        "units-10.7": knowledge(10, rng, stored=10.7),
        "short-by-4": valid3[:-4],
        "longer": valid3 + b"\x01\x02\x03\x04\x05",
        "non-finite-standardisation": knowledge(2, rng, means=[nan] + [0.0] * 63, scales=[inf, -inf] + [1.0] * 62),
        "unit-count-nan": knowledge(0, rng, stored=nan),
        "header-only": valid3[:516],
        "three-bytes": b"\x00\x00\x80",
    }


def signal_seeds(rng):
    special = ["1.5", "-0", "+7", "1e-45", "3.4028235e38", "3.5e38", "-1e-50", "0x1.8p3", "0X.8P-1",
               "0x1p-149", "nan", "-NaN", "inf", "-Infinity", "16777217", "0.1", "1.5e", "2E+",
               "1.00000005960464477539062500000000001", ".5", "5.", "1e0039"]
    mixed = ",".join(special[i % len(special)] for i in range(64)) + "\n"
    return {
        "commas": signal_lines(rng, 2),
        "crlf-tabs": signal_lines(rng, 2, "\t", "\r\n"),
        "special-values": (mixed * 2).encode(),
        "bad-value": signal_lines(rng, 1) + b"1,2,,3\n",
        "short-last-line": signal_lines(rng, 1) + b"1;2;3\n",
        "long-number": ("0." + "3" * 3000 + "e-2," * 1 + ",".join(["1"] * 63) + "\n").encode(),
        "words": b"infinit,nan(1),-inf,0x,0xp1,+-1,e5\n",
        "blank": b" \t\r\n\v\f\n",
    }


def command_line_input(shape, kind, words, knowledge_section, signals):
    control = bytes([shape, kind]) + b"\x01".join(w.encode() for w in words)
    return control + SEPARATOR + knowledge_section + SEPARATOR + signals


def command_line_seeds(rng):
    lines = signal_lines(rng, 3)
    nan_patch = struct.pack("<H", 0) + floats([float("nan")])
    raw = knowledge(2, rng)
    return {
        "file": command_line_input(1, 3, [], b"", lines),
        "begin-end": command_line_input(2, 3, ["2", "3"], b"", lines),
        "end-begin": command_line_input(3, 5, ["3", "2"], b"", lines),
        "same-option-twice": command_line_input(4 | 0 << 3 | 1 << 5, 1, ["1", "2"], b"", lines),
        "window-beyond": command_line_input(2, 0, ["2147483648", "99999999999"], b"", lines),
        "array": command_line_input(0, 23, ["1.5", "abc", "2.5e1x", "-inf", "0x1p3"], b"", b""),
        "array-nan-mean": command_line_input(0, 4, ["1"], nan_patch, b""),
        "raw-knowledge": command_line_input(1, 24, [], raw, lines),
        "raw-knowledge-short": command_line_input(1, 24, [], raw[:600], lines),
        "scan-failure": command_line_input(1, 2, [], b"", lines + b"1,x\n"),
        "info": command_line_input(6, 0, [], b"", b""),
        "words": command_line_input(7 | 0x08, 0, ["ombr_classification", "--knowledge_path"], b"", lines),
    }


def main():
    rng = random.Random(20240611)
    sets = {
        "fuzz_knowledge": knowledge_seeds(rng),
        "fuzz_signal_reader": signal_seeds(rng),
        "fuzz_command_line": command_line_seeds(rng),
    }
    for harness, seeds in sets.items():
        directory = os.path.join(HERE, "corpus", harness)
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
        for name, data in seeds.items():
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
