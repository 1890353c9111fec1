#!/usr/bin/python3
"""Writes the command-line test cases of ombrel_emulator.

Run from anywhere with python3 (standard library only):

    python3 tests/cli/make_cases.py

It (re)writes, next to this script:

    data/        knowledge files (*.bin) and signal files (*.csv, *.txt)
    expected/    the exact standard output of every case, NAME.out
    cases.json   one entry per case: name, argument words (paths relative to
                 this directory), expected exit status, expected output file,
                 and whether the output must parse as JSON

The expected outputs do not come from the emulator: this script carries its
own small model of the classifier (float32 arithmetic, every operation
rounded on its own, tanh and exp in double rounded to float) and of the
report and message texts.  Everything is deterministic, so running it again
reproduces the committed files byte for byte.

Reading numbers.  Signal files are read by the emulator with a direct
decimal-to-float32 conversion; command-line values go through a conversion
to double and then a narrowing to float32.  The model converts file values
exactly (fractions.Fraction, round to nearest, ties to even) and command-line
values with float() and then float32 rounding, so both paths are modelled
exactly.  Every ordinary value written to a signal file is a short decimal
for which the two paths agree (checked below); the only value where they
differ is the deliberate double-rounding case (TIE_TEXT).

Robustness.  tanh and exp may differ in the last bit between mathematical
libraries.  Every generated case is checked so that no printed probability
lies within 1e-6 of a rounding boundary of "%.2f" and that the winning class
is not decided by a hair; the random signal lines are drawn until they pass.
"""

import json
import math
import os
import re
import struct
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
EXPECTED = os.path.join(HERE, "expected")

INPUT_LENGTH = 64
CLASS_COUNT = 4
HIDDEN_CAPACITY = 23
SOFTMAX_FACTOR = 5
LIBRARY_ID = "4f1c09e7a2b65d38c0e94a17"
CLASS_NAMES = ("unknown", "Scissors", "Rock", "Paper", "NoSign")
CONFIGURATION = (4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22)
INT32_MIN, INT32_MAX = -2**31, 2**31 - 1

# --------------------------------------------------------------------------
# Message texts of the program.

G1 = "Valid functions for Emulator call are:\n"
G2 = "\tombr_get_info\n"
G3 = "\tombr_classification\n"
G4 = "Valid call is: ombr_get_info\n"
G5 = "Valid Ombrel AI classification function calls are:\n"
G6 = "Valid Ombrel AI classification function calls by file are:\n"
G7 = "Check path of file and/or name of file is correct.\n"
U1 = "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile --begin line --end line\n"
U2 = "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile\n"
U3 = ("\tombr_classification --knowledge_path path/knowledgefile --array value1 value2 ... valueN "
      "(where value1 to valueN are the values of the input buffer)\n")
R1 = "Refer to Ombrel AI Classification Emulator documentation for more details:\n"
R2 = "Refer to Ombrel AI Classifier Emulator documentation for more details:\n"
DOC = "https://docs.ombrel.example/classification-emulator\n"

NO_COMMAND = "Error: missing argument in Ombrel AI Classification call !\n" + G1 + G2 + G3 + R1 + DOC
TOO_MANY = "Error: too many arguments Ombrel AI library id call !\n" + G4 + R1 + DOC


def invalid_command(word):
    return "Error %s is not a valid function in Ombrel AI Classification !\n" % word + G1 + G3 + R1 + DOC


INFO = ("{\n"
        "\t\"lib_id\": \"%s\",\n" % LIBRARY_ID
        + "\t\"class_name\": ["
        + "".join("\"%s\", " % CLASS_NAMES[k] for k in range(1, CLASS_COUNT))
        + "\"%s\"]\n}\n" % CLASS_NAMES[CLASS_COUNT])

CLASSIFICATION_MISSING = ("Error: missing argument in Ombrel AI classification function call !\n"
                          + G5 + U1 + U2 + U3 + R2 + DOC)
CLASSIFICATION_NOT_VALID = ("Error: missing or not valid argument in Ombrel AI classification function call !\n"
                            + G6 + U1 + U2 + U3 + R1 + DOC)
KNOWLEDGE_NOT_OPENED = "Error: could not open knowledge file !\n" + G7
FILE_EMPTY = "Error: file is empty !\n"


def knowledge_refused(status):
    return "Error: a knowledge that do not match the library has been loaded %d !\n" % status


BAD_MODE = "Error: missing argument in Ombrel AI classification function call !\n" + U1 + U2 + U3 + R1 + DOC
BY_FILE = ("Error: missing or not valid argument in Ombrel AI classification function call by file !\n"
           + G6 + U1 + U2 + R1 + DOC)
BY_FILE_OPTION = ("Error: missing or not valid argument in Ombrel AI classification function call by file !\n"
                  + U1 + U2 + R1 + DOC)
SIGNAL_NOT_OPENED = "Error: could not open file !\n" + G7
BEGIN_BLOCK = "Error: argument --begin is not correct !\n" + "Begin line number must be > 0\n"
END_BLOCK = "Error: argument --end is not correct !\n" + "End line number must be > 0\n"
COMPATIBILITY_BLOCK = ("Error: arguments --begin and --end are not compatible !\n"
                       + "End line number must be >= to begin line number\n")
LINE_COUNT_BLOCK = "Error: argument --end is not compatible with the number of lines in file !\n"


def scan_failure(path, at_end):
    if at_end:
        first = "Error: incompatibility between required and number of data in file %s !\n" % path
    else:
        first = "Error in reading file %s !\n" % path
    return first + "Please check your file %s.\n" % path + R1 + DOC


# --------------------------------------------------------------------------
# float32 arithmetic.

def f32(x):
    """Rounds a double to the nearest float32 (ties to even), overflowing to inf."""
    try:
        return struct.unpack("<f", struct.pack("<f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def f32_exact(q):
    """Rounds an exact rational to the nearest float32, ties to even."""
    if q == 0:
        return 0.0
    sign = -1.0 if q < 0 else 1.0
    a = abs(q)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    if Fraction(2) ** e > a:
        e -= 1
    quantum = max(e - 23, -149)
    scaled = a / Fraction(2) ** quantum
    n = scaled.numerator // scaled.denominator
    rest = scaled - n
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and n % 2 == 1):
        n += 1
    value = Fraction(n) * Fraction(2) ** quantum
    if value > Fraction(2 - Fraction(1, 2**23)) * Fraction(2) ** 127:
        return sign * math.inf
    return sign * float(value)


def add(a, b):
    return f32(a + b)


def sub(a, b):
    return f32(a - b)


def mul(a, b):
    return f32(a * b)


# --------------------------------------------------------------------------
# Knowledge files.

class Knowledge:
    def __init__(self, means, scales, unit_count, hidden_weights, hidden_biases,
                 output_weights, output_biases, configuration=CONFIGURATION):
        self.means = [f32(v) for v in means]
        self.scales = [f32(v) for v in scales]
        self.n = unit_count
        self.w = [[f32(v) for v in row] for row in hidden_weights]   # w[i][j], input-major
        self.b = [f32(v) for v in hidden_biases]
        self.v = [[f32(v) for v in row] for row in output_weights]   # v[j][k], unit-major
        self.c = [f32(v) for v in output_biases]
        self.configuration = list(configuration)

    def floats(self, stored_count=None):
        out = list(self.means) + list(self.scales)
        out.append(float(self.n) if stored_count is None else stored_count)
        for row in self.w:
            out.extend(row)
        out.extend(self.b)
        for row in self.v:
            out.extend(row)
        out.extend(self.c)
        out.extend(float(v) for v in self.configuration)
        assert len(out) == 152 + 69 * self.n or stored_count is not None
        return out


def pack_floats(values):
    return struct.pack("<%df" % len(values), *values)


def classify(k, signal):
    """One classification: returns (probabilities, class id)."""
    features = [mul(sub(signal[i], k.means[i]), k.scales[i]) for i in range(INPUT_LENGTH)]
    h = list(k.b)
    for i in range(INPUT_LENGTH):
        x = features[i]
        for j in range(k.n):
            h[j] = add(h[j], mul(k.w[i][j], x))
    h = [f32(math.tanh(v)) for v in h]
    s = list(k.c)
    for j in range(k.n):
        for q in range(CLASS_COUNT):
            s[q] = add(s[q], mul(h[j], k.v[j][q]))
    m = s[0]
    for q in range(1, CLASS_COUNT):
        if s[q] > m:
            m = s[q]
    total = 0.0
    e = [0.0] * CLASS_COUNT
    for q in range(CLASS_COUNT):
        t = mul(sub(s[q], m), float(SOFTMAX_FACTOR))
        e[q] = f32(math.exp(t))
        total = add(total, e[q])
    r = f32(1.0 / total) if total != 0 else math.copysign(math.inf, total)
    p = [mul(v, r) for v in e]
    best, index = p[0], 0
    for q in range(1, CLASS_COUNT):
        if p[q] > best:
            best, index = p[q], q
    return p, index + 1


def robust(p, allow_tie=False):
    """No printed value within 1e-6 of a "%.2f" boundary; no winner by a hair."""
    for v in p:
        if math.isnan(v):
            continue
        x = v * 100.0
        if abs(x - math.floor(x) - 0.5) < 1e-4:
            return False
    finite = sorted((v for v in p if not math.isnan(v)), reverse=True)
    if len(finite) >= 2 and finite[0] != finite[1] and finite[0] - finite[1] < 1e-5:
        return False
    if len(finite) >= 2 and finite[0] == finite[1] and not allow_tie:
        return False
    return True


# --------------------------------------------------------------------------
# A deterministic generator of small dyadic values (exact in float32).

class Lcg:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state >> 8

    def between(self, low, high):
        """An integer in [low, high]."""
        return low + self.next() % (high - low + 1)


def random_knowledge(seed, n):
    g = Lcg(seed)
    means = [g.between(-16, 16) / 16.0 for _ in range(INPUT_LENGTH)]
    scales = [g.between(8, 40) / 32.0 for _ in range(INPUT_LENGTH)]
    scales[10] = -0.5           # a negative scale
    scales[63] = 0.0            # a position that never matters for a finite value
    w = [[g.between(-64, 64) / 256.0 for _ in range(n)] for _ in range(INPUT_LENGTH)]
    b = [g.between(-32, 32) / 64.0 for _ in range(n)]
    v = [[g.between(-16, 16) / 64.0 for _ in range(CLASS_COUNT)] for _ in range(n)]
    c = [g.between(-32, 32) / 64.0 for _ in range(CLASS_COUNT)]
    return Knowledge(means, scales, n, w, b, v, c)


# --------------------------------------------------------------------------
# Reading of numbers: signal files (direct to float32) and command-line words
# (to double, then narrowed).

WHITE = b" \t\n\r\v\f"
DECIMAL = re.compile(rb"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE](?:[+-]?\d+)?)?")
HEXADECIMAL = re.compile(rb"[+-]?0[xX](?:[0-9a-fA-F]+\.?[0-9a-fA-F]*|\.[0-9a-fA-F]+)(?:[pP][+-]?\d+)?")
SPECIAL = re.compile(rb"[+-]?(?:infinity|inf|nan)", re.IGNORECASE)


def file_value(text):
    """The float32 that the signal-file reading makes of one value's text."""
    t = text.decode("ascii")
    negative = t.startswith("-")
    body = t.lstrip("+-")
    low = body.lower()
    if low in ("inf", "infinity"):
        value = math.inf
    elif low == "nan":
        value = math.nan
    elif low.startswith("0x"):
        if "p" not in low:
            low += "p0"
        value = f32_exact(Fraction(float.fromhex(low)))
    else:
        if low.endswith("e"):       # an exponent letter without digits
            low = low[:-1]
        value = f32_exact(Fraction(low))
    return -value if negative else value


class SignalStream:
    """Reads a signal file as the emulator does: a value, then one separator."""

    def __init__(self, data):
        self.data = data
        self.pos = 0
        self.at_end = False
        self.starts = []        # where the text of each value taken begins

    def scan(self):
        while self.pos < len(self.data) and self.data[self.pos] in WHITE:
            self.pos += 1
        if self.pos >= len(self.data):
            self.at_end = True
            return None
        for pattern in (HEXADECIMAL, SPECIAL, DECIMAL):
            match = pattern.match(self.data, self.pos)
            if match:
                self.starts.append(self.pos)
                self.pos = match.end()
                return file_value(match.group(0))
        return None

    def read_signal(self):
        values = []
        for _ in range(INPUT_LENGTH):
            v = self.scan()
            if v is None:
                return None
            values.append(v)
            if self.pos < len(self.data):
                self.pos += 1           # the separator
            else:
                self.at_end = True
        return values


def misalignment_warning(stream, completed):
    """Standard error of a file run: the first line read whose count of
    values (those whose text begins on it) is not 64.  The lines counted are
    those whose line feed the reading took; after a complete run also the
    line of the last value, with the values after it up to its line feed."""
    data = stream.data
    starts = list(stream.starts)
    consumed = stream.pos
    if completed and starts:
        line_end = data.find(b"\n", starts[-1])
        line_end = len(data) if line_end < 0 else line_end
        rest = SignalStream(data[:line_end])
        rest.pos = stream.pos
        while rest.scan() is not None:
            starts.append(rest.starts[-1])
            rest.pos += 1
        consumed = max(consumed, line_end + 1)
    closed = data.count(b"\n", 0, consumed)
    per_line = [0] * (closed + 1)
    for start in starts:
        line = data.count(b"\n", 0, start)
        if line < closed:
            per_line[line] += 1
    off = [line for line in range(closed) if per_line[line] != INPUT_LENGTH]
    if not off:
        return ""
    line, count = off[0], per_line[off[0]]
    return ("ombrel_emulator: warning: line %d holds %d value%s%s; signals after it do not start at line starts%s\n"
            % (line + 1, count, "" if count == 1 else "s",
               " (%d lines hold other than 64)" % len(off) if len(off) > 1 else "",
               "; if the first column is a row index, write the signals with "
               "DataFrame.to_csv(path, index=False, header=False)" if line == 0 and count == 65 else ""))


def finding_warnings(signals, data, whole_file):
    """Standard error after a complete run, past the misalignment line:
    signals is [(line, values)] of the window classified."""
    out = ""
    if signals and signals[0][0] == 1 and signals[0][1] == [float(k) for k in range(INPUT_LENGTH)]:
        out += ("ombrel_emulator: warning: line 1 holds the column numbers 0 to 63 and is classified as a signal; "
                "write the signals with DataFrame.to_csv(path, index=False, header=False)\n")
    bad = [line for line, values in signals if not all(math.isfinite(v) for v in values)]
    if bad:
        one = len(bad) == 1
        out += ("ombrel_emulator: warning: %d signal%s hold%s NaN or infinity, the first on line %d; %s probabilities "
                "and class are not a classification\n" % (len(bad), "" if one else "s", "s" if one else "", bad[0],
                                                          "its" if one else "their"))
    if whole_file and data[data.rfind(b"\n") + 1:].strip(b" \t\n\r\v\f"):
        out += ("ombrel_emulator: warning: the last line (line %d) has no line feed: it is not a line and its signal "
                "is not classified; end the file with a line feed\n" % (data.count(b"\n") + 1))
    return out


ATOF = re.compile(r"\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|[+-]?(?:infinity|inf|nan))", re.IGNORECASE)


def word_value(word):
    """The float32 that the array mode makes of one command-line word."""
    match = ATOF.match(word)
    if not match:
        return 0.0
    return f32(float(match.group(1)))


def atoi(word):
    """Decimal line number of a window option; beyond 32 bits it saturates."""
    match = re.match(r"[ \t\n\r\v\f]*([+-]?)(\d*)", word)
    digits = match.group(2)
    if not digits:
        return 0
    value = int(digits) * (-1 if match.group(1) == "-" else 1)
    return max(INT32_MIN, min(INT32_MAX, value))


# --------------------------------------------------------------------------
# The report.

def probability_text(v):
    return "%.2f" % v       # NaN prints as "nan", whatever its sign


def record(signal, line, class_id, p, last):
    line_text = "\"null\"" if line is None else "%d" % line
    text = ("\t\t{\"signal\": %d, \"line\": %s, \"class_status\": %d, \"class_name\": \"%s\", \"class_proba\": ["
            % (signal, line_text, class_id, CLASS_NAMES[class_id]))
    text += "".join("%s, " % probability_text(v) for v in p[:3])
    text += probability_text(p[3]) + ("]}\n " if last else "]},\n ")
    return text


CLOSING = "\t],\n"


def summary(count, counters):
    return ("\t\"classification_summary\": {\"signals\": %d, \"classified\": [" % count
            + "".join("%d, " % counters[k] for k in (1, 2, 3))
            + "%d], \"unclassified\": %d}\n" % (counters[4], counters[0])
            + "}\n")


def file_header(path):
    return ("{\n\t\"status\": \"classification\",\n"
            "\t\"lib_id\": \"%s\",\n" % LIBRARY_ID
            + "\t\"input\": \"%s\",\n" % path
            + "\t\"results\": [\n")


ARRAY_HEADER = "{\n\t\"status\": \"classification\",\n\t\"input\": \"array\",\n\t\"results\": [\n"


class Outcome:
    def __init__(self, text, status, probabilities=(), stderr=""):
        self.text = text
        self.status = status
        self.probabilities = list(probabilities)
        self.stderr = stderr


def array_run(k, words):
    signal = [0.0] * INPUT_LENGTH
    for i, word in enumerate(words[:INPUT_LENGTH]):
        signal[i] = word_value(word)
    p, class_id = classify(k, signal)
    counters = [0] * 5
    counters[class_id] += 1
    text = ARRAY_HEADER + record(1, None, class_id, p, True) + CLOSING + summary(1, counters)
    return Outcome(text, 0, p)


def file_run(k, path, data, options):
    """The file mode from the opened signal file on; options: list of (word, value)."""
    line_count = data.count(b"\n")
    if not options:
        begin, end = 1, line_count
    else:
        begin = end = 0
        seen = set()
        for word, value in options:
            if word in seen or word not in ("--begin", "--end"):
                return Outcome(BY_FILE_OPTION, 1)
            seen.add(word)
            if word == "--begin":
                begin = atoi(value)
                if begin <= 0:
                    return Outcome(BEGIN_BLOCK, 1)
                if "--end" in seen and end < begin:
                    return Outcome(COMPATIBILITY_BLOCK, 1)
            else:
                end = atoi(value)
                if end <= 0:
                    return Outcome(END_BLOCK, 1)
                if end < begin:
                    return Outcome(COMPATIBILITY_BLOCK, 1)
                if line_count < end:
                    return Outcome(LINE_COUNT_BLOCK, 1)
    text = file_header(path)
    stream = SignalStream(data)
    counters = [0] * 5
    count = 0
    current = begin - 1
    probabilities = []
    classified = []
    for j in range(end):
        signal = stream.read_signal()
        if signal is None:
            return Outcome(text + scan_failure(path, stream.at_end), 1, probabilities,
                           misalignment_warning(stream, False))
        if j < begin - 1:
            continue
        p, class_id = classify(k, signal)
        probabilities.extend(p)
        counters[class_id] += 1
        current += 1
        classified.append((current, signal))
        count += 1
        text += record(count, current, class_id, p, current == end)
        if current == end:
            text += CLOSING
    if count == 0:
        text += CLOSING
    return Outcome(text + summary(count, counters), 0, probabilities,
                   misalignment_warning(stream, True) + finding_warnings(classified, data, not options))


# --------------------------------------------------------------------------
# Signal lines.

def value_text(g):
    """A short decimal, read the same way by both number paths."""
    text = "%.2f" % (g.between(-250, 250) / 100.0)
    assert file_value(text.encode()) == f32(float(text))
    return text


def robust_lines(k, seed, count, wanted_classes=None):
    """Lines of 64 short decimals whose classification is robust."""
    g = Lcg(seed)
    lines = []
    tries = 0
    while len(lines) < count:
        tries += 1
        assert tries < 10000
        texts = [value_text(g) for _ in range(INPUT_LENGTH)]
        p, class_id = classify(k, [file_value(t.encode()) for t in texts])
        if not robust(p):
            continue
        if wanted_classes is not None and class_id != wanted_classes[len(lines)]:
            continue
        lines.append(texts)
    return lines


# --------------------------------------------------------------------------
# Case collection.

TIE_TEXT = "1.00000005960464477539062500001"   # just above 1 + 2^-24, the midpoint
# between float32 1 and 1 + 2^-23: as a double it is exactly that midpoint,
# which then narrows (ties to even) to 1; read directly it is 1 + 2^-23.


class Cases:
    def __init__(self):
        self.entries = []
        self.names = set()
        self.files = {}

    def data_file(self, name, content):
        assert name not in self.files or self.files[name] == content, name
        self.files[name] = content
        return "data/" + name

    def add(self, name, args, outcome, deliberate=False, allow_tie=False):
        assert name not in self.names, name
        self.names.add(name)
        finite = all(not math.isnan(v) and not math.isinf(v) for v in outcome.probabilities)
        if not deliberate:
            for start in range(0, len(outcome.probabilities), CLASS_COUNT):
                p = outcome.probabilities[start:start + CLASS_COUNT]
                if all(not math.isnan(v) for v in p):
                    assert robust(p, allow_tie), (name, p)
        plain_path = all(c not in "\"\\" and ord(c) >= 32 for c in "".join(args))
        self.entries.append({
            "name": name,
            "args": args,
            "status": outcome.status,
            "expected": "expected/%s.out" % name,
            "json": outcome.status == 0 and finite and plain_path,
            "text": outcome.text,
            "stderr": outcome.stderr,
        })

    def write(self):
        os.makedirs(DATA, exist_ok=True)
        os.makedirs(EXPECTED, exist_ok=True)
        for name, content in sorted(self.files.items()):
            with open(os.path.join(DATA, name), "wb") as f:
                f.write(content)
        stale = set(os.listdir(EXPECTED)) - {e["name"] + ".out" for e in self.entries}
        for name in sorted(stale):
            os.remove(os.path.join(EXPECTED, name))
        for e in self.entries:
            with open(os.path.join(HERE, e["expected"]), "wb") as f:
                f.write(e["text"].encode("utf-8"))
        listing = [{key: e[key] for key in ("name", "args", "status", "expected", "json", "stderr")
                    if key != "stderr" or e[key]}
                   for e in self.entries]
        with open(os.path.join(HERE, "cases.json"), "w", encoding="utf-8") as f:
            json.dump(listing, f, indent=1)
            f.write("\n")


def csv(lines, separator=",", end=b"\n"):
    return b"".join(separator.join(line).encode() + end for line in lines)


def main():
    cases = Cases()
    CLS = "ombr_classification"
    KP = "--knowledge_path"

    # Knowledge files.
    k23 = random_knowledge(23, 23)
    k3 = random_knowledge(3, 3)
    k0 = Knowledge([0.0] * 64, [1.0] * 64, 0, [[]] * 64, [], [], [0.0, 0.25, -0.5, 0.25])
    # One unit that sees input 0 only, with a scale of 2^23: one float32 step
    # of input 0 above 1.0 turns the class from Rock to Scissors.
    k1_tie = Knowledge([1.0] + [0.0] * 63, [8388608.0] + [1.0] * 63, 1,
                       [[2.0]] + [[0.0]] * 63, [0.0], [[2.0, 0.0, 0.0, 0.0]], [0.0, 0.5, 0.0, 0.0])
    p23 = cases.data_file("k23.bin", pack_floats(k23.floats()))
    p3 = cases.data_file("k3.bin", pack_floats(k3.floats()))
    p0 = cases.data_file("k0.bin", pack_floats(k0.floats()))
    p1 = cases.data_file("k1_tie.bin", pack_floats(k1_tie.floats()))
    # Accepted variants: a stored count of 3.9 (truncated to 3) with -0.0
    # where the configuration holds 0; bytes after the configuration; a
    # stored count of -0.5 (truncated to 0, not rounded down to -1).
    variant = k3.floats(stored_count=3.9)
    variant[-19 + 3] = -0.0
    p3_variant = cases.data_file("k3_count_3.9_negative_zero.bin", pack_floats(variant))
    p3_trailing = cases.data_file("k3_trailing_bytes.bin", pack_floats(k3.floats()) + b"\x01\x02\x03\x04\xff\xff")
    p0_half = cases.data_file("k0_count_minus_half.bin", pack_floats(k0.floats(stored_count=-0.5)))
    # Refused knowledge files.
    mismatch = k3.floats()
    mismatch[-19 + 5] = 3.0
    refused = {
        "configuration_mismatch": pack_floats(mismatch),
        "configuration_last_22_000002": pack_floats(k3.floats()[:-1] + [f32(22.000002)]),
        "configuration_nan": pack_floats(k3.floats()[:-19] + [math.nan] + k3.floats()[-18:]),
        "four_bytes_short": pack_floats(k3.floats())[:-4],
        "unit_count_nan": pack_floats(k3.floats(stored_count=math.nan)),
        "unit_count_inf": pack_floats(k3.floats(stored_count=math.inf)),
        "unit_count_minus_5": pack_floats(k3.floats(stored_count=-5.0)),
        "short_header": pack_floats(k3.floats()[:100]),
        "header_without_unit_count": pack_floats(k3.floats()[:128]),
    }
    # 24 units with the configuration where 24 units put it: only the count is wrong.
    k24 = random_knowledge(24, 24)
    refused["unit_count_24"] = pack_floats(k24.floats())
    refused_paths = {key: cases.data_file("refused_%s.bin" % key, value) for key, value in refused.items()}
    p_empty = cases.data_file("empty.bin", b"")

    # Signal files.
    lines3 = robust_lines(k23, 7, 3, wanted_classes=[3, 1, 4])
    s3 = csv(lines3)
    p_s3 = cases.data_file("three_lines.csv", s3)
    p_crlf = cases.data_file("three_lines_crlf.csv", csv(lines3, end=b"\r\n"))
    p_spaces = cases.data_file("three lines with spaces.csv", s3)
    extra = robust_lines(k23, 99, 1)[0]
    p_nolf_last = cases.data_file("last_line_without_line_feed.csv", s3 + ",".join(extra).encode())
    p_trailing_empty = cases.data_file("trailing_empty_line.csv", s3 + b"\n")
    p_nolf = cases.data_file("no_line_feed.csv", ",".join(lines3[0]).encode())
    p_empty_signal = cases.data_file("empty.csv", b"")
    bad_first = [list(l) for l in lines3]
    bad_first[0][10] = "x"
    p_bad_first = cases.data_file("bad_value_line_1.csv", csv(bad_first))
    bad_second = [list(l) for l in lines3]
    bad_second[1][30] = ""                                  # two commas in a row
    p_bad_second = cases.data_file("empty_value_line_2.csv", csv(bad_second))
    shifted_lines = robust_lines(k23, 55, 2)
    shift_values = shifted_lines[0] + shifted_lines[1]
    p_shift = cases.data_file("shift_65_then_63.csv",
                              (",".join(shift_values[:65]) + "\n" + ",".join(shift_values[65:128]) + "\n" +
                               "").encode())
    # Value forms and separators: sign, missing integer or fraction digits,
    # exponent, an exponent letter with no digits, hexadecimal, -0, white
    # space before values, and several separator characters.
    g = Lcg(4242)
    forms = []
    for i in range(2 * INPUT_LENGTH):
        forms.append(value_text(g))
    specials = {0: "+1.5", 1: ".5", 2: "-.25", 3: "2.", 4: "1e0", 5: "1.5e", 6: "0x1.8p0",
                7: "-0", 8: "25E-2", 9: "-1.25e+0", 64: "0X.8P1", 65: "+0.75", 66: "1.e0", 70: "-2.5e"}
    for pos, text in specials.items():
        forms[pos] = text
    separators = [",", ";", " ", "\t", ", ", ",\t ", "|", ":"]
    syntax = b""
    for line in range(2):
        parts = []
        for i in range(INPUT_LENGTH):
            parts.append(forms[line * INPUT_LENGTH + i])
            if i < INPUT_LENGTH - 1:
                parts.append(separators[(line * 7 + i) % len(separators)])
        syntax += ("  " if line == 1 else "").encode() + "".join(parts).encode() + b"\n"
    p_syntax = cases.data_file("value_forms.txt", syntax)
    nan_lines = [list(l) for l in robust_lines(k23, 77, 3)]
    nan_lines[0][20] = "nan"
    nan_lines[1][5] = "-NaN"
    nan_lines[2][0] = "INF"
    nan_lines[2][1] = "-Infinity"
    p_nan = cases.data_file("nan_and_infinity.csv", csv(nan_lines))
    inf_line = [list(l) for l in robust_lines(k3, 78, 1)]
    inf_line[0][0] = "inf"
    p_inf_finite = cases.data_file("infinity_saturates.csv", csv(inf_line))
    p_tie_signal = cases.data_file("double_rounding.csv", csv([[TIE_TEXT] + ["0"] * 63]))
    data_dir = "data"

    def run_file(name, k, kpath, spath, options=(), **kw):
        options = list(options)
        words = [CLS, KP, kpath, "--file", spath]
        for word, value in options:
            words += [word, value]
        data = cases.files[os.path.basename(os.path.normpath(spath))]
        cases.add(name, words, file_run(k, spath, data, options), **kw)

    # Dispatch and information report.
    cases.add("no_command", [], Outcome(NO_COMMAND, 1))
    cases.add("info", ["ombr_get_info"], Outcome(INFO, 0))
    cases.add("info_extra_word", ["ombr_get_info", "x"], Outcome(TOO_MANY, 1))
    cases.add("info_extra_empty_word", ["ombr_get_info", ""], Outcome(TOO_MANY, 1))
    for name, word in (("case", "ombr_Get_info"), ("trailing_char", "ombr_get_infos"),
                       ("missing_char", "ombr_get_inf"), ("classification_case", "OMBR_CLASSIFICATION"),
                       ("classification_missing_char", "ombr_classificatio"),
                       ("classification_trailing_space", "ombr_classification "), ("empty", ""),
                       ("with_more_words", "ombr_info")):
        args = [word] + (["--knowledge_path", p3] if name == "with_more_words" else [])
        cases.add("invalid_command_" + name, args, Outcome(invalid_command(word), 1))

    # Classification command: words and knowledge.
    cases.add("classification_alone", [CLS], Outcome(CLASSIFICATION_MISSING, 1))
    cases.add("classification_word2_not_knowledge_path", [CLS, "--knowledge", p3, "--array", "1"],
              Outcome(CLASSIFICATION_NOT_VALID, 1))
    cases.add("classification_word2_only", [CLS, "--file"], Outcome(CLASSIFICATION_NOT_VALID, 1))
    cases.add("knowledge_path_absent", [CLS, KP], Outcome(KNOWLEDGE_NOT_OPENED, 1))
    cases.add("knowledge_path_nonexistent", [CLS, KP, "data/no_such_knowledge.bin", "--array", "1"],
              Outcome(KNOWLEDGE_NOT_OPENED, 1))
    cases.add("knowledge_path_directory", [CLS, KP, data_dir, "--array", "1"], Outcome(KNOWLEDGE_NOT_OPENED, 1))
    cases.add("knowledge_empty", [CLS, KP, p_empty, "--array", "1"], Outcome(FILE_EMPTY, 1))
    for key, path in sorted(refused_paths.items()):
        cases.add("knowledge_refused_" + key, [CLS, KP, path, "--array", "1"], Outcome(knowledge_refused(125), 1))
    cases.add("knowledge_refused_before_bad_mode", [CLS, KP, refused_paths["configuration_mismatch"], "--bogus"],
              Outcome(knowledge_refused(125), 1))
    cases.add("knowledge_refused_before_by_file", [CLS, KP, refused_paths["unit_count_24"], "--file"],
              Outcome(knowledge_refused(125), 1))
    cases.add("mode_word_missing", [CLS, KP, p3], Outcome(BAD_MODE, 1))
    cases.add("mode_word_bad", [CLS, KP, p3, "--arrays", "1"], Outcome(BAD_MODE, 1))
    cases.add("mode_word_wrong_case", [CLS, KP, p3, "--FILE", p_s3], Outcome(BAD_MODE, 1))

    # Array mode.
    g = Lcg(31)
    values64 = [value_text(g) for _ in range(INPUT_LENGTH)]
    cases.add("array_no_values", [CLS, KP, p23, "--array"], array_run(k23, []))
    cases.add("array_three_values", [CLS, KP, p23, "--array", "1.5", "-2", "0.25"],
              array_run(k23, ["1.5", "-2", "0.25"]))
    cases.add("array_64_values", [CLS, KP, p23, "--array"] + values64, array_run(k23, values64))
    seventy = values64 + ["100", "-100", "abc", "1e30", "nan", "7"]
    cases.add("array_70_values", [CLS, KP, p23, "--array"] + seventy, array_run(k23, seventy))
    words = ["abc", "2.5e1x", "-1.25", "  0.5", "+.75", "1e-1", "-", "0x"]
    assert word_value("abc") == 0.0 and word_value("2.5e1x") == 25.0
    cases.add("array_words_not_numbers", [CLS, KP, p3, "--array"] + words, array_run(k3, words))
    cases.add("array_nan_and_negative_nan", [CLS, KP, p3, "--array", "1", "nan", "-nan"],
              array_run(k3, ["1", "nan", "-nan"]))
    cases.add("array_knowledge_count_3.9_negative_zero", [CLS, KP, p3_variant, "--array"] + values64,
              array_run(k3, values64))
    cases.add("array_knowledge_trailing_bytes", [CLS, KP, p3_trailing, "--array"] + values64,
              array_run(k3, values64))
    cases.add("array_no_hidden_units_tie", [CLS, KP, p0, "--array", "5", "-7"], array_run(k0, ["5", "-7"]),
              allow_tie=True)
    cases.add("array_knowledge_count_minus_half", [CLS, KP, p0_half, "--array", "5"], array_run(k0, ["5"]),
              allow_tie=True)
    tie_array = array_run(k1_tie, [TIE_TEXT])
    cases.add("array_double_rounding", [CLS, KP, p1, "--array", TIE_TEXT], tie_array)
    assert word_value(TIE_TEXT) == 1.0 and file_value(TIE_TEXT.encode()) == 1.0 + 2.0**-23

    # Signal-file mode: whole file and windows.
    run_file("file_whole", k23, p23, p_s3)
    run_file("file_begin_2_end_3", k23, p23, p_s3, [("--begin", "2"), ("--end", "3")])
    run_file("file_end_3_begin_2", k23, p23, p_s3, [("--end", "3"), ("--begin", "2")])
    run_file("file_begin_3_end_3", k23, p23, p_s3, [("--begin", "3"), ("--end", "3")])
    run_file("file_begin_1_end_1", k23, p23, p_s3, [("--begin", "1"), ("--end", "1")])
    run_file("file_begin_2x", k23, p23, p_s3, [("--begin", "2x"), ("--end", "2")])
    run_file("file_begin_space_plus_2_end_3abc", k23, p23, p_s3, [("--begin", " +2"), ("--end", "3abc")])
    run_file("file_begin_3_end_2", k23, p23, p_s3, [("--begin", "3"), ("--end", "2")])
    run_file("file_end_2_begin_5", k23, p23, p_s3, [("--end", "2"), ("--begin", "5")])
    run_file("file_end_3_begin_0", k23, p23, p_s3, [("--end", "3"), ("--begin", "0")])
    for value in ("0", "-1", "abc"):
        run_file("file_begin_%s" % value.replace("-", "minus_"), k23, p23, p_s3, [("--begin", value), ("--end", "3")])
    run_file("file_end_0_first", k23, p23, p_s3, [("--end", "0"), ("--begin", "1")])
    run_file("file_end_0_second", k23, p23, p_s3, [("--begin", "1"), ("--end", "0")])
    run_file("file_end_4_three_lines", k23, p23, p_s3, [("--begin", "1"), ("--end", "4")])
    run_file("file_begin_twice", k23, p23, p_s3, [("--begin", "1"), ("--begin", "2")])
    run_file("file_end_twice", k23, p23, p_s3, [("--end", "3"), ("--end", "3")])
    run_file("file_option_from", k23, p23, p_s3, [("--from", "1"), ("--end", "0")])
    run_file("file_option_second_bad", k23, p23, p_s3, [("--begin", "1"), ("--to", "3")])
    run_file("file_end_beyond_32_bits", k23, p23, p_s3, [("--begin", "1"), ("--end", "99999999999")])
    run_file("file_begin_below_32_bits", k23, p23, p_s3, [("--begin", "-99999999999"), ("--end", "3")])
    run_file("file_begin_beyond_32_bits", k23, p23, p_s3, [("--begin", "99999999999"), ("--end", "3")])
    for count in (7, 8, 9):
        words = [CLS, KP, p23, "--file", p_s3, "--begin", "1", "--end", "3"][:count - 1]
        cases.add("file_%d_words" % count, words, Outcome(BY_FILE, 1))
    cases.add("file_11_words", [CLS, KP, p23, "--file", p_s3, "--begin", "1", "--end", "3", "x"], Outcome(BY_FILE, 1))
    cases.add("file_without_path", [CLS, KP, p23, "--file"], Outcome(BY_FILE, 1))
    cases.add("file_nonexistent", [CLS, KP, p23, "--file", "data/no_such_signals.csv"], Outcome(SIGNAL_NOT_OPENED, 1))
    cases.add("file_directory", [CLS, KP, p23, "--file", data_dir], Outcome(SIGNAL_NOT_OPENED, 1))
    # The word count is checked before the signal file is opened, which comes before the window's words.
    cases.add("file_9_words_nonexistent", [CLS, KP, p23, "--file", "data/no_such_signals.csv", "--begin", "1", "--end"],
              Outcome(BY_FILE, 1))
    cases.add("file_nonexistent_with_bad_window",
              [CLS, KP, p23, "--file", "data/no_such_signals.csv", "--from", "1", "--end", "0"],
              Outcome(SIGNAL_NOT_OPENED, 1))
    cases.add("file_empty", [CLS, KP, p23, "--file", p_empty_signal], Outcome(FILE_EMPTY, 1))
    cases.add("file_empty_with_window", [CLS, KP, p23, "--file", p_empty_signal, "--begin", "1", "--end", "1"],
              Outcome(FILE_EMPTY, 1))

    # Signal-file contents.
    run_file("file_crlf", k23, p23, p_crlf)
    run_file("file_path_with_spaces", k23, p23, p_spaces)
    run_file("file_path_as_typed", k23, p23, "data/../data/three_lines.csv")
    run_file("file_last_line_without_line_feed", k23, p23, p_nolf_last)
    run_file("file_last_line_without_line_feed_end_4", k23, p23, p_nolf_last, [("--begin", "1"), ("--end", "4")])
    run_file("file_trailing_empty_line", k23, p23, p_trailing_empty)
    run_file("file_trailing_empty_line_window", k23, p23, p_trailing_empty, [("--begin", "2"), ("--end", "4")])
    run_file("file_bad_value_before_window", k23, p23, p_bad_first, [("--begin", "2"), ("--end", "3")])
    run_file("file_bad_value_in_window", k23, p23, p_bad_second)
    run_file("file_bad_value_after_window", k23, p23, p_bad_second, [("--begin", "1"), ("--end", "1")])
    run_file("file_shift_65_then_63", k23, p23, p_shift)
    run_file("file_value_forms", k23, p23, p_syntax)
    run_file("file_nan_and_infinity", k23, p23, p_nan)
    run_file("file_infinity_saturates", k3, p3, p_inf_finite)
    run_file("file_no_line_feed", k23, p23, p_nolf)
    run_file("file_no_line_feed_window", k23, p23, p_nolf, [("--begin", "1"), ("--end", "1")])
    run_file("file_double_rounding", k1_tie, p1, p_tie_signal)

    # Signals off the line starts: a label column left in, as in the raw EMG
    # recordings (64 values and the label on each line); a line of 63; a
    # last line with values left after its signal.
    label_lines = robust_lines(k23, 71, 4)
    label_values = [v for line in label_lines for v in line][:3 * INPUT_LENGTH]
    p_label = cases.data_file("label_column.csv", b"".join(
        (",".join(label_values[i * 64:(i + 1) * 64]) + ",%d\n" % (i % 4)).encode() for i in range(3)))
    run_file("file_label_column", k23, p23, p_label, deliberate=True)
    run_file("file_label_column_window", k23, p23, p_label, [("--begin", "3"), ("--end", "3")], deliberate=True)
    short_values = [v for line in lines3 for v in line]
    p_short = cases.data_file("line_of_63.csv", (",".join(short_values[:64]) + "\n" + ",".join(short_values[64:127])
                                                 + "\n" + ",".join(short_values[127:]) + "\n").encode())
    run_file("file_line_of_63", k23, p23, p_short, deliberate=True)
    p_last_long = cases.data_file("last_line_of_66.csv", s3[:-1] + b",1.5,-2\n")
    run_file("file_last_line_of_66", k23, p23, p_last_long)
    # What a data frame's to_csv writes by default: the column names as a
    # first line (a signal of its own), a row index as a first column.
    p_names = cases.data_file("column_names_first.csv", ",".join(str(c) for c in range(64)).encode() + b"\n" + s3)
    run_file("file_column_names_first", k23, p23, p_names, deliberate=True)
    run_file("file_column_names_window", k23, p23, p_names, [("--begin", "2"), ("--end", "4")])
    p_index = cases.data_file("index_column.csv", b"".join(b"%d," % i + row for i, row in enumerate(s3.splitlines(True))))
    run_file("file_index_column", k23, p23, p_index, deliberate=True)

    cases.write()
    print("%d cases, %d data files" % (len(cases.entries), len(cases.files)))


if __name__ == "__main__":
    main()
