#!/usr/bin/python3
"""Hostile inputs against the built emulator.

    run_hostile_tests.py EMULATOR

Every input is generated here, into a temporary directory, from fixed seeds.
Each run must end in one of two ways:
  - exit status 1, output ending in an error block (a line that begins with
    "Error", alone or after the record terminator's space, and nothing of
    the report after it);
  - exit status 0 and a complete report (output ending with "}\n");
never a signal, a hang, any other status, or anything on standard error
(where a sanitizer would report) but the one-line warning of a signal file
off the line starts. Only a report that cannot be written may
say so on standard error, in one short line.
The last line printed is "N passed, M failed"; the status is 1 on failure.
"""
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

CONFIGURATION = [4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22]
MISMATCH = b"Error: a knowledge that do not match the library has been loaded 125 !\n"
TIMEOUT = 180  # seconds; generous for sanitized builds
SANITIZER_EXIT = "86"


def floats(values):
    return struct.pack("<%df" % len(values), *values)


def knowledge(units, seed=1, stored=None):
    """Means 0, scales 1, small weights from `seed`, the expected configuration."""
    rng = random.Random(seed)
    body = [round(rng.uniform(-0.5, 0.5), 3) for _ in range(69 * units + 4)]
    return floats([0.0] * 64 + [1.0] * 64 + [units if stored is None else stored] + body + CONFIGURATION)


def header_with_unit_count(stored):
    """A knowledge of no unit whose stored unit count is `stored`."""
    return floats([0.0] * 128) + struct.pack("<f", stored) + floats([0.0] * 4 + CONFIGURATION)


def line(values, separator=","):
    return (separator.join(values) + "\n").encode()


class Runner:
    def __init__(self, emulator, directory):
        self.emulator = emulator
        self.directory = directory
        self.passed = 0
        self.failed = 0
        self.env = dict(os.environ)
        # A sanitizer report must never pass for the program's own status 1.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            old = self.env.get(name, "")
            self.env[name] = (old + ":" if old else "") + "exitcode=" + SANITIZER_EXIT

    def path(self, name):
        return os.path.join(self.directory, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def run(self, args, stdout=subprocess.PIPE):
        try:
            p = subprocess.run([self.emulator] + args, stdout=stdout, stderr=subprocess.PIPE,
                               timeout=TIMEOUT, env=self.env)
        except subprocess.TimeoutExpired:
            return None, b"", b"timed out"
        return p.returncode, p.stdout or b"", p.stderr

    def record(self, name, problem):
        if problem:
            self.failed += 1
            print("FAIL %s: %s" % (name, problem))
        else:
            self.passed += 1

    def check(self, name, args, status=None, first_error=None, exact=None, contains=None):
        """Runs and checks the general rules, then what the case adds:
        `status`, the first line of the error block, the whole output, or a
        text the output must hold. Returns the output."""
        rc, out, err = self.run(args)
        problem = general_problem(rc, out, err)
        if not problem and status is not None and rc != status:
            problem = "exit status %d, expected %d; output ends %r" % (rc, status, out[-200:])
        if not problem and first_error is not None and error_block(out).split(b"\n")[0] != first_error:
            problem = "error block starts %r, expected %r" % (error_block(out)[:120], first_error)
        if not problem and exact is not None and out != exact:
            problem = "output %r, expected %r" % (out[:300], exact)
        if not problem and contains is not None and contains not in out:
            problem = "output lacks %r" % contains
        self.record(name, problem)
        return out


# The one line a signal file off the line starts adds on standard error.
MISALIGNED = re.compile(rb"ombrel_emulator: warning: line [1-9][0-9]* holds [0-9]+ values?; "
                        rb"signals after it do not start at line starts\n")


def general_problem(rc, out, err):
    if rc is None:
        return "no end within %d s" % TIMEOUT
    if rc < 0:
        return "killed by signal %d" % -rc
    if err and not MISALIGNED.fullmatch(err):
        return "standard error: %r" % err[:400]
    if rc == 0:
        return None if out.endswith(b"}\n") else "status 0 without a complete report: ends %r" % out[-80:]
    if rc == 1:
        block = error_block(out)
        if block is None:
            return "status 1 without an error block: ends %r" % out[-200:]
        if not block.endswith(b"\n") or b'"signal"' in block or b"}" in block:
            return "report text after the error block: %r" % block[:300]
        return None
    return "exit status %d" % rc


def error_block(out):
    """The output from the last line that begins with "Error" (or " Error"
    after a record), or None."""
    at = out.rfind(b"Error")
    while at >= 0:
        if at == 0 or out[at - 1:at] == b"\n" or out[at - 2:at] == b"\n ":
            return out[at:]
        at = out.rfind(b"Error", 0, at)
    return None


def knowledge_cases(r):
    """Unusable and broken knowledge files: all refused with status 125."""
    signals = r.write("signals-ok", line(["0.5"] * 64))

    def refused(name, data):
        path = r.write("knowledge-" + name, data)
        r.check("knowledge " + name + " (array)", ["ombr_classification", "--knowledge_path", path, "--array", "1"],
                status=1, exact=MISMATCH)
        r.check("knowledge " + name + " (file)", ["ombr_classification", "--knowledge_path", path, "--file", signals],
                status=1, exact=MISMATCH)

    # The builder's knowledge is accepted: the refusals below are not its fault.
    for units in (0, 3, 23):
        path = r.write("knowledge-valid-%d" % units, knowledge(units))
        r.check("valid knowledge of %d units" % units,
                ["ombr_classification", "--knowledge_path", path, "--file", signals], status=0)

    for stored in (float("nan"), float("inf"), float("-inf"), -5.0, -1.0, 24.0, 1000.0, 1e10, -1e9, 2.2e9, -2.2e9):
        refused("unit-count-%r" % stored, header_with_unit_count(stored))
    # A unit count whose knowledge would be large, with the file that large.
    refused("unit-count-1000-full", header_with_unit_count(1000.0) + bytes(4 * 69 * 1000))

    rng = random.Random(5)
    refused("3-bytes", bytes(rng.randrange(256) for _ in range(3)))
    refused("100-bytes", bytes(rng.randrange(256) for _ in range(100)))
    refused("512-bytes", floats([0.0] * 64 + [1.0] * 64))
    for length in (1, 4, 127, 511, 512, 513, 515, 516, 517, 607, 608, 609, 1000, 4096):
        refused("%d-zero-bytes" % length, bytes(length))
    for length in list(range(1, 40, 7)) + [508, 515, 516, 520, 607, 608, 700, 1436, 5000, 70000]:
        refused("%d-random-bytes" % length, bytes(rng.randrange(256) for _ in range(length)))
    full = knowledge(23)
    for cut in (1, 4, 75, len(full) // 2, len(full) - 520):
        refused("23-units-short-by-%d" % cut, full[:-cut])
    # A configuration block that would match after the stored count's true
    # integer part but not after the one the count is taken as.
    refused("unit-count-3-stored-as-2.999", knowledge(3, stored=2.999))


def signal_cases(r, knowledge_path):
    """Signal files of extreme shapes, with a knowledge that is accepted."""
    def classify(name, data, extra=(), **expect):
        path = r.write("signals", data)
        return r.check("signals " + name,
                       ["ombr_classification", "--knowledge_path", knowledge_path, "--file", path] + list(extra),
                       **expect)

    def same_as(name, data, plain):
        """Reads like the plainly written `plain`: the same report."""
        out = classify(name, data, status=0)
        expected = classify(name + " (plain form)", plain, status=0)
        r.record(name + " equals plain form", None if out == expected else "reports differ")

    rest = ",".join(["0.25"] * 63)
    digits = 1_000_000
    # Tokens longer than any reasonable buffer, the stream's own included.
    same_as("million-digit integer", ("1" + "0" * digits + "," + rest + "\n").encode(),
            ("inf," + rest + "\n").encode())
    same_as("million-digit fraction times its exponent",
            ("0." + "0" * (digits - 1) + "1e%d," % digits + rest + "\n").encode(), ("1," + rest + "\n").encode())
    same_as("two-million-digit fraction", ("0." + "0" * (2 * digits) + "1," + rest + "\n").encode(),
            ("0," + rest + "\n").encode())
    same_as("million leading zeros", ("0" * digits + "3.5," + rest + "\n").encode(), ("3.5," + rest + "\n").encode())
    same_as("twenty-digit exponents",
            line(["1e99999999999999999999", "1e-99999999999999999999", "0e99999999999999999999",
                  "1e+00000000000000000001", "-2E-00000000000000000000", "0x1p99999999999999999999",
                  "0x1p-99999999999999999999"] + ["0.25"] * 57),
            line(["inf", "0", "0", "10", "-2", "inf", "0"] + ["0.25"] * 57))

    classify("two-million values on a line", ("0.5," * 2_000_000).encode() + b"\n", status=0,
             contains=b'"line": 1,')
    classify("ten thousand values on a line", ("-1.25 " * 10_000).encode() + b"\n", status=0)
    classify("ten thousand values, window on the line", ("-1.25 " * 10_000).encode() + b"\n",
             extra=["--begin", "1", "--end", "1"], status=0)
    values = line(["1.5"] * 64)
    classify("NUL as a separator", ("\0".join(["1.5"] * 64) + "\n").encode(), status=0)
    classify("NUL where a value begins", values + b"\0" + values, status=1,
             first_error=b"Error in reading file %s !" % r.path("signals").encode())
    classify("NUL bytes only", bytes(1000) + b"\n", status=1, first_error=b"Error in reading file %s !" % r.path("signals").encode())
    classify("byte-order mark at the start", b"\xef\xbb\xbf" + values, status=1,
             first_error=b"Error in reading file %s !" % r.path("signals").encode())
    classify("separators only", b",;,;" * 1000 + b"\n", status=1,
             first_error=b"Error in reading file %s !" % r.path("signals").encode())
    classify("line feeds only", b"\n" * 10_000, status=1,
             first_error=b"Error: incompatibility between required and number of data in file %s !"
             % r.path("signals").encode())
    classify("white space only, no line feed", b" \t\r\v\f" * 100, status=0)
    classify("many short lines", b"1\n" * 64 * 200, status=1)
    rng = random.Random(11)
    for n in range(12):
        length = rng.choice([1, 10, 100, 1000, 10_000, 100_000])
        data = bytes(rng.randrange(256) for _ in range(length))
        classify("random bytes #%d (%d bytes)" % (n, length), data)
        # Random text from the characters numbers are made of.
        alphabet = b"0123456789+-.eExXpPaAnNiIfFtTyY,;\t \r\n"
        classify("random number text #%d" % n, bytes(rng.choice(alphabet) for _ in range(length)))


def command_line_cases(r, knowledge_path):
    signals = r.write("three-lines", line(["0.5"] * 64) * 3)
    base = ["ombr_classification", "--knowledge_path", knowledge_path, "--file", signals]
    line_count_error = b"Error: argument --end is not compatible with the number of lines in file !"
    compatibility = b"Error: arguments --begin and --end are not compatible !"
    begin_error = b"Error: argument --begin is not correct !"
    cases = [
        (["--begin", "1", "--end", "4294967298"], line_count_error),
        (["--begin", "1", "--end", "99999999999999999999999"], line_count_error),
        (["--begin", "4294967298", "--end", "3"], compatibility),
        (["--begin", "-4294967298", "--end", "3"], begin_error),
        (["--begin", "4294967297", "--end", "4294967297"], line_count_error),
        (["--end", "3", "--begin", "4294967296"], compatibility),
        (["--end", "2", "--begin", "3"], compatibility),
        (["--end", "-2147483648", "--begin", "1"], b"Error: argument --end is not correct !"),
    ]
    for extra, first in cases:
        r.check("window " + " ".join(extra), base + extra, status=1, first_error=first)
    for option in ("--begin", "--end"):
        r.check("%s given twice" % option, base + [option, "1", option, "2"], status=1)
    r.check("window 2 to 3 still works", base + ["--begin", "2", "--end", "3"], status=0,
            contains=b'"signal": 2, "line": 3,')

    directory = r.path("a-directory")
    os.mkdir(directory)
    r.check("knowledge path is a directory",
            ["ombr_classification", "--knowledge_path", directory, "--file", signals], status=1,
            first_error=b"Error: could not open knowledge file !")
    r.check("signal path is a directory", base[:4] + [directory], status=1,
            first_error=b"Error: could not open file !")
    r.check("signal path is a directory, with a window", base[:4] + [directory, "--begin", "1", "--end", "1"],
            status=1, first_error=b"Error: could not open file !")
    if os.geteuid() == 0:
        print("note: running as root, unreadable files are readable: those checks skipped")
    else:
        locked = r.write("locked", line(["0.5"] * 64))
        os.chmod(locked, 0)
        r.check("unreadable signal file", base[:4] + [locked], status=1, first_error=b"Error: could not open file !")
        r.check("unreadable knowledge file",
                ["ombr_classification", "--knowledge_path", locked, "--file", signals], status=1,
                first_error=b"Error: could not open knowledge file !")


def output_cases(r, knowledge_path):
    """A report that cannot be written ends with status 1 and one line on
    standard error, never with status 0."""
    big = r.write("big", line(["0.5"] * 64) * 20_000)
    runs = {
        "information report": ["ombr_get_info"],
        "big report": ["ombr_classification", "--knowledge_path", knowledge_path, "--file", big],
        "error block": ["ombrel_unknown"],
    }
    for name, args in runs.items():
        with open("/dev/full", "wb") as full:
            rc, _, err = r.run(args, stdout=full)
        problem = None
        if rc != 1:
            problem = "exit status %r, expected 1" % rc
        elif err.count(b"\n") != 1 or not err.endswith(b"\n") or len(err) > 200:
            problem = "standard error should be one short line: %r" % err[:400]
        r.record("/dev/full: " + name, problem)

    # A reader that closes the pipe after the first bytes.
    p = subprocess.Popen([r.emulator] + runs["big report"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         env=r.env)
    first = p.stdout.read(100)
    p.stdout.close()
    try:
        err = p.stderr.read()
        rc = p.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        p.kill()
        rc = None
        err = b""
    problem = None
    if not first.startswith(b"{\n"):
        problem = "report does not begin with a brace: %r" % first[:40]
    elif rc != 1:
        problem = "exit status %r after the reader left, expected 1" % rc
    elif err.count(b"\n") > 1 or len(err) > 200:
        problem = "standard error should be at most one short line: %r" % err[:400]
    r.record("pipe closed early: big report", problem)


def main():
    if len(sys.argv) != 2:
        print("usage: run_hostile_tests.py EMULATOR")
        return 2
    emulator = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="ombrel-hostile-") as directory:
        r = Runner(emulator, directory)
        knowledge_path = r.write("knowledge-3", knowledge(3))
        knowledge_cases(r)
        signal_cases(r, knowledge_path)
        command_line_cases(r, knowledge_path)
        output_cases(r, knowledge_path)
    print("%d passed, %d failed" % (r.passed, r.failed))
    return 1 if r.failed else 0


if __name__ == "__main__":
    sys.exit(main())
