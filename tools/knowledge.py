"""Write, read and inspect knowledge files of the Ombrel AI classifier.

A knowledge is a flat run of little-endian float32 values, with no header:

    means[64]  scales[64]  unit count N (as a float)
    hidden weights[64][N] (input-major)  hidden biases[N]
    output weights[N][4] (unit-major)    output biases[4]
    configuration[19]

608 + 276*N bytes in all.  The library accepts a knowledge only when its
stored unit count is a finite float s with -1 < s < 24 (N = s truncated
toward zero, 0..23) and its last 19 floats equal the compiled configuration
(float32 equality).  A file shorter than its unit count implies loads with
the missing tail as zeros; bytes after the knowledge are never read.

Needs numpy; run it with an interpreter that has it, for example

    /usr/bin/python3 tools/knowledge.py inspect examples/emg/knowledge.bin
    /usr/bin/python3 tools/knowledge.py write --from-npz net.npz out.bin
    /usr/bin/python3 tools/knowledge.py read out.bin --json out.json

Also usable as a module (``import knowledge``): pack, write, read, examine,
format_report, forward.
"""

import argparse
import json
import math
import sys
from collections import namedtuple

import numpy as np

INPUT_LENGTH = 64
CLASS_COUNT = 4
HIDDEN_CAPACITY = 23
SOFTMAX_FACTOR = 5
CLASS_NAMES = ("unknown", "Scissors", "Rock", "Paper", "NoSign")
EXPECTED_CONFIGURATION = (4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0,
                          1000000, 1, 1, 22)
CONFIGURATION_LENGTH = len(EXPECTED_CONFIGURATION)
HEADER_FLOATS = 2 * INPUT_LENGTH + 1   # means, scales, unit count
FLOAT = np.dtype("<f4")

ARRAY_NAMES = ("means", "scales", "hidden_weights", "hidden_biases",
               "output_weights", "output_biases")

Knowledge = namedtuple("Knowledge", ARRAY_NAMES + ("configuration", "stored_unit_count"))


class KnowledgeError(Exception):
    """A knowledge that cannot be built or that the library would not load."""


def float_count(units):
    """Number of floats of a knowledge with `units` hidden units."""
    return 69 * units + 2 * INPUT_LENGTH + 24


def byte_size(units):
    return 4 * float_count(units)


def sections(units):
    """(name, first float index, float count) of every section, in file order."""
    n = units
    return [
        ("means", 0, INPUT_LENGTH),
        ("scales", 64, INPUT_LENGTH),
        ("unit count", 128, 1),
        ("hidden weights", 129, 64 * n),
        ("hidden biases", 129 + 64 * n, n),
        ("output weights", 129 + 65 * n, 4 * n),
        ("output biases", 129 + 69 * n, CLASS_COUNT),
        ("configuration", 133 + 69 * n, CONFIGURATION_LENGTH),
    ]


def unit_count_from(stored):
    """N for a stored unit count, or None when the library refuses it."""
    stored = float(np.float32(stored))
    if not math.isfinite(stored) or not -1.0 < stored < HIDDEN_CAPACITY + 1:
        return None
    return int(stored)          # truncation toward zero


def _array(value, shape, name):
    a = np.asarray(value, dtype=np.float64)
    if a.shape != shape:
        raise KnowledgeError("%s: shape %s, expected %s" % (name, a.shape, shape))
    return a.astype(np.float32)


def pack(means, scales, hidden_weights, hidden_biases, output_weights,
         output_biases, configuration=EXPECTED_CONFIGURATION,
         stored_unit_count=None):
    """Bytes of a knowledge.  hidden_weights is [64][N], output_weights [N][4].

    `configuration` and `stored_unit_count` default to the accepted values;
    they can be overridden to build knowledges the library refuses.
    """
    hb = np.asarray(hidden_biases, dtype=np.float64).reshape(-1)
    n = hb.size
    if n > HIDDEN_CAPACITY:
        raise KnowledgeError("%d hidden units: the library holds at most %d"
                             % (n, HIDDEN_CAPACITY))
    parts = [
        _array(means, (INPUT_LENGTH,), "means"),
        _array(scales, (INPUT_LENGTH,), "scales"),
        np.array([n if stored_unit_count is None else stored_unit_count], np.float32),
        _array(hidden_weights, (INPUT_LENGTH, n), "hidden_weights"),
        _array(hb, (n,), "hidden_biases"),
        _array(output_weights, (n, CLASS_COUNT), "output_weights"),
        _array(output_biases, (CLASS_COUNT,), "output_biases"),
        _array(configuration, (CONFIGURATION_LENGTH,), "configuration"),
    ]
    return b"".join(p.astype(FLOAT).tobytes() for p in parts)


def write(path, means, scales, hidden_weights, hidden_biases, output_weights,
          output_biases, **overrides):
    data = pack(means, scales, hidden_weights, hidden_biases, output_weights,
                output_biases, **overrides)
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def _floats(data, count):
    """`count` floats from the start of `data`, as the loader fills its
    zeroed buffer: missing bytes stay zero (a partial last float keeps the
    bytes that were there)."""
    raw = bytearray(4 * count)
    chunk = data[:4 * count]
    raw[:len(chunk)] = chunk
    return np.frombuffer(bytes(raw), dtype=FLOAT)


def _split(values, units):
    n = units
    parts = {}
    for name, start, count in sections(n):
        parts[name] = values[start:start + count]
    return Knowledge(
        means=parts["means"].copy(),
        scales=parts["scales"].copy(),
        hidden_weights=parts["hidden weights"].reshape(INPUT_LENGTH, n).copy(),
        hidden_biases=parts["hidden biases"].copy(),
        output_weights=parts["output weights"].reshape(n, CLASS_COUNT).copy(),
        output_biases=parts["output biases"].copy(),
        configuration=parts["configuration"].copy(),
        stored_unit_count=float(parts["unit count"][0]),
    )


def read_bytes(data):
    """Knowledge from file contents, as the library would load it."""
    if len(data) < 4 * HEADER_FLOATS:
        raise KnowledgeError("%d bytes: too short to hold the unit count" % len(data))
    stored = _floats(data, HEADER_FLOATS)[128]
    n = unit_count_from(stored)
    if n is None:
        raise KnowledgeError("unusable unit count %r" % float(stored))
    return _split(_floats(data, float_count(n)), n)


def read(path):
    with open(path, "rb") as f:
        return read_bytes(f.read())


# --------------------------------------------------------------- inspection

def _same_float32(found, expected):
    return bool(np.float32(found) == np.float32(expected))      # NaN never equal


def _fmt(value):
    v = float(value)
    if math.isnan(v):
        return "nan"
    if math.isinf(v):
        return "inf" if v > 0 else "-inf"
    if v == int(v) and abs(v) < 1e16:
        return "-0" if (v == 0 and math.copysign(1, v) < 0) else "%d" % v
    return str(np.float32(v))          # shortest text that reads back as this float32


Examination = namedtuple("Examination", "accepted reasons lines")


def examine(data):
    """Check file contents the way the library loads them.

    Returns (accepted, reasons, report lines)."""
    lines = []
    reasons = []
    size = len(data)
    lines.append("file size: %d bytes (%d floats%s)"
                 % (size, size // 4, " + %d bytes" % (size % 4) if size % 4 else ""))
    if size == 0:
        reasons.append("empty file")
        lines.append("unit count: none: the file is empty")
        return _verdict(lines, reasons)
    if size < 4 * HEADER_FLOATS:
        reasons.append("too short to hold the unit count")
        lines.append("unit count: none: the file ends before the unit count at byte 512 "
                     "(%d bytes, at least %d needed)" % (size, 4 * HEADER_FLOATS))
        return _verdict(lines, reasons)

    stored = _floats(data, HEADER_FLOATS)[128]
    n = unit_count_from(stored)
    if n is None:
        reasons.append("unusable unit count")
        lines.append("unit count: stored %s: refused (the library accepts a finite "
                     "count from 0 to %d, truncated toward zero)" % (_fmt(stored), HIDDEN_CAPACITY))
        header = _floats(data, HEADER_FLOATS)
        lines.append("sections (float index, byte offset, floats):")
        for name, start, count in sections(0)[:3]:
            lines.append("  %-15s %6d %7d %6d" % (name, start, 4 * start, count))
        lines.append("  (the other sections cannot be placed without a unit count)")
        _value_counts(lines, header[:64], header[64:128], [])
        return _verdict(lines, reasons)

    lines.append("unit count: %d (stored %s): accepted" % (n, _fmt(stored)))
    expected = byte_size(n)
    if size == expected:
        lines.append("expected size: %d bytes for %d units: matches" % (expected, n))
    elif size < expected:
        lines.append("expected size: %d bytes for %d units: file is %d bytes short; "
                     "the missing tail loads as zeros" % (expected, n, expected - size))
    else:
        lines.append("expected size: %d bytes for %d units: %d extra bytes after the "
                     "knowledge are ignored" % (expected, n, size - expected))

    values = _floats(data, float_count(n))
    k = _split(values, n)
    lines.append("sections (float index, byte offset, floats):")
    for name, start, count in sections(n):
        end_byte = 4 * (start + count)
        note = ""
        if count and 4 * start >= size:
            note = "  [missing: zeros]"
        elif end_byte > size:
            note = "  [cut short: %d of %d bytes in the file]" % (size - 4 * start, 4 * count)
        lines.append("  %-15s %6d %7d %6d%s" % (name, start, 4 * start, count, note))

    body = np.concatenate([k.hidden_weights.ravel(), k.hidden_biases,
                           k.output_weights.ravel(), k.output_biases])
    _value_counts(lines, k.means, k.scales, body)

    differing = [(i, e, float(k.configuration[i]))
                 for i, e in enumerate(EXPECTED_CONFIGURATION)
                 if not _same_float32(k.configuration[i], e)]
    if differing:
        reasons.append("configuration mismatch")
        lines.append("configuration: mismatch at %d of %d indices"
                     % (len(differing), CONFIGURATION_LENGTH))
        for i, e, found in differing:
            lines.append("  index %d: expected %s, found %s" % (i, _fmt(e), _fmt(found)))
    else:
        lines.append("configuration: matches")
    return _verdict(lines, reasons)


def _value_counts(lines, means, scales, body):
    allv = np.concatenate([means, scales, np.asarray(body, np.float32)])
    lines.append("values (means to output biases): %d NaN, %d infinite, %d zero scales"
                 % (int(np.isnan(allv).sum()), int(np.isinf(allv).sum()),
                    int((scales == 0).sum())))
    for what, where in (("mean not finite", ~np.isfinite(means)),
                        ("scale not finite", ~np.isfinite(scales)),
                        ("zero scale (the input has no effect)", scales == 0)):
        at = np.flatnonzero(where)
        if at.size:
            shown = ", ".join(str(i) for i in at[:16]) + (", ..." if at.size > 16 else "")
            lines.append("  %s at input %s" % (what, shown))


def _verdict(lines, reasons):
    if reasons:
        lines.append("verdict: refused: " + "; ".join(reasons))
    else:
        lines.append("verdict: accepted")
    return Examination(not reasons, reasons, lines)


def format_report(path, data):
    ex = examine(data)
    return ex, "\n".join(["knowledge: %s" % path] + ex.lines) + "\n"


# --------------------------------------------------------------- classification

def forward(k, signals):
    """Classify signals [M][64] as the library does, in float32.

    Returns (probabilities [M][4] float32, class ids [M], 1..4)."""
    x = np.asarray(signals, dtype=np.float32).reshape(-1, INPUT_LENGTH)
    n = k.hidden_biases.size
    f = (x - k.means) * k.scales                      # two float32 roundings
    h = np.repeat(k.hidden_biases[None, :], len(x), axis=0)
    for i in range(INPUT_LENGTH):                     # bias, then feature 0, 1, ...
        h = h + k.hidden_weights[i][None, :] * f[:, i:i + 1]
    h = np.tanh(h.astype(np.float64)).astype(np.float32)
    s = np.repeat(k.output_biases[None, :], len(x), axis=0)
    for j in range(n):
        s = s + h[:, j:j + 1] * k.output_weights[j][None, :]
    return softmax_decision(s, SOFTMAX_FACTOR)


def softmax_decision(scores, factor):
    s = np.asarray(scores, dtype=np.float32)
    m = s[:, 0].copy()
    for i in range(1, s.shape[1]):
        m = np.where(s[:, i] > m, s[:, i], m)          # ordered: NaN never wins
    t = (s - m[:, None]) * np.float32(factor)
    with np.errstate(over="ignore", invalid="ignore"):
        e = np.exp(t.astype(np.float64)).astype(np.float32)
    total = np.zeros(len(s), np.float32)
    for i in range(s.shape[1]):
        total = total + e[:, i]
    with np.errstate(divide="ignore", invalid="ignore"):
        p = e * (np.float32(1.0) / total)[:, None]
    best = p[:, 0].copy()
    index = np.zeros(len(s), np.int64)
    for i in range(1, s.shape[1]):
        better = p[:, i] > best
        best = np.where(better, p[:, i], best)
        index = np.where(better, i, index)
    return p, index + 1


# --------------------------------------------------------------- command line

def _load_arrays(path):
    if path.endswith(".json"):
        with open(path) as f:
            obj = json.load(f)
    else:
        with np.load(path) as z:
            obj = {name: z[name] for name in z.files}
    missing = [name for name in ARRAY_NAMES if name not in obj]
    if missing:
        raise KnowledgeError("%s lacks %s" % (path, ", ".join(missing)))
    return obj


def _cmd_write(args):
    obj = _load_arrays(args.source)
    extra = {}
    if "configuration" in obj:
        extra["configuration"] = obj["configuration"]
    size = write(args.output, *(obj[name] for name in ARRAY_NAMES), **extra)
    print("wrote %s: %d bytes, %d hidden units"
          % (args.output, size, np.asarray(obj["hidden_biases"]).size))
    return 0


def _cmd_read(args):
    k = read(args.file)
    arrays = {name: getattr(k, name) for name in ARRAY_NAMES + ("configuration",)}
    if args.npz:
        np.savez(args.npz, **arrays)
    else:
        obj = {name: a.astype(np.float64).tolist() for name, a in arrays.items()}
        obj["stored_unit_count"] = k.stored_unit_count
        text = json.dumps(obj, indent=1, allow_nan=True) + "\n"
        if args.json and args.json != "-":
            with open(args.json, "w") as f:
                f.write(text)
        else:
            sys.stdout.write(text)
    return 0


def _cmd_inspect(args):
    try:
        with open(args.file, "rb") as f:
            data = f.read()
    except OSError as e:
        print("knowledge: %s\ncannot read: %s\nverdict: refused: unreadable" % (args.file, e.strerror))
        return 1
    ex, text = format_report(args.file, data)
    sys.stdout.write(text)
    return 0 if ex.accepted else 1


def main(argv=None):
    p = argparse.ArgumentParser(
        prog="knowledge.py",
        description="Write, read and inspect knowledge files of the Ombrel AI classifier "
                    "(little-endian float32; 608 + 276*N bytes for N hidden units).",
        epilog="Array names (npz keys or JSON members): means[64], scales[64], "
               "hidden_weights[64][N] (input-major), hidden_biases[N], "
               "output_weights[N][4] (unit-major), output_biases[4], and optionally "
               "configuration[19] (default: the library's expected values). "
               "inspect exits with 1 when the library would refuse the file.")
    sub = p.add_subparsers(dest="command", required=True)
    w = sub.add_parser("write", help="write a knowledge from arrays in an .npz or .json file")
    w.add_argument("--from-npz", "--from-json", dest="source", required=True, metavar="ARRAYS",
                   help="arrays to write; a name ending in .json is read as JSON, anything else as npz")
    w.add_argument("output", help="knowledge file to create")
    r = sub.add_parser("read", help="dump a knowledge's arrays as JSON (default, to stdout) or npz")
    r.add_argument("file")
    g = r.add_mutually_exclusive_group()
    g.add_argument("--json", metavar="OUT", help="write JSON to OUT ('-' for stdout)")
    g.add_argument("--npz", metavar="OUT", help="write the arrays to an .npz file")
    i = sub.add_parser("inspect", help="summarise a knowledge and say whether the library accepts it")
    i.add_argument("file")
    args = p.parse_args(argv)
    try:
        return {"write": _cmd_write, "read": _cmd_read, "inspect": _cmd_inspect}[args.command](args)
    except (KnowledgeError, OSError, ValueError, KeyError) as e:
        print("error: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
