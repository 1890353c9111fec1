"""Hostile knowledge files, signal files and command lines against the
emulator, every input generated here from fixed seeds.

Each run ends in one of two ways:
  - exit status 1, output ending in an error block (a line that begins with
    "Error", alone or after the record terminator's space, and nothing of
    the report after it);
  - exit status 0 and a complete report (output ending with "}\\n");
never a signal, a hang, any other status, or anything on standard error
(where a sanitizer would report) but the one-line warning of a signal file
off the line starts. Only a report that cannot be written may say so on
standard error, in one short line. Under the asan preset this runs the
sanitized emulator.
"""
import os
import random
import re
import subprocess

import numpy as np
import pytest

from ombrel import knowledge as ombrel_knowledge

pytestmark = pytest.mark.native

MISMATCH = b"Error: a knowledge that do not match the library has been loaded 125 !\n"
TIMEOUT = 180  # seconds; generous for sanitized builds
# A sanitizer report must never pass for the program's own status 1.
SANITIZER_ENV = {name: (os.environ.get(name, "") + ":" if os.environ.get(name) else "") + "exitcode=86"
                 for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS")}
# The lines a signal file may add on standard error: off the line starts,
# NaN or infinity in signals, a last line without a line feed, column names.
WARNINGS = re.compile(rb"(?:ombrel_emulator: warning: (?:"
                      rb"line [1-9][0-9]* holds [0-9]+ values?(?: \([0-9]+ lines hold other than 64\))?; "
                      rb"signals after it do not start at line starts(?:; if the first column [^\n]*)?"
                      rb"|[1-9][0-9]* signals? holds? NaN or infinity, the first on line [1-9][0-9]*; [^\n]*"
                      rb"|the last line \(line [1-9][0-9]*\) has no line feed: [^\n]*"
                      rb"|line 1 holds the column numbers 0 to 63 [^\n]*)\n)+")


def knowledge(units, seed=1, **overrides):
    """Means 0, scales 1, small weights from `seed`; `overrides` go to pack."""
    rng = np.random.default_rng(seed)

    def small(*shape):
        return np.round(rng.uniform(-0.5, 0.5, shape), 3)
    return ombrel_knowledge.pack(np.zeros(64), np.ones(64), small(64, units), small(units), small(units, 4),
                                 small(4), **overrides)


def line(values, separator=","):
    return (separator.join(values) + "\n").encode()


def error_block(out):
    """The output from the last line that begins with "Error" (or " Error"
    after a record), or None."""
    at = out.rfind(b"Error")
    while at >= 0:
        if at == 0 or out[at - 1:at] == b"\n" or out[at - 2:at] == b"\n ":
            return out[at:]
        at = out.rfind(b"Error", 0, at)
    return None


def general_problem(done):
    out, err = done.stdout, done.stderr
    if done.returncode < 0:
        return "killed by signal %d" % -done.returncode
    if err and not WARNINGS.fullmatch(err):
        return "standard error: %r" % err[:400]
    if done.returncode == 0:
        return None if out.endswith(b"}\n") else "status 0 without a complete report: ends %r" % out[-80:]
    if done.returncode == 1:
        block = error_block(out)
        if block is None:
            return "status 1 without an error block: ends %r" % out[-200:]
        if not block.endswith(b"\n") or b'"signal"' in block or b"}" in block:
            return "report text after the error block: %r" % block[:300]
        return None
    return "exit status %d" % done.returncode


@pytest.fixture
def run(emulator):
    """run(*words, status=, first_error=, exact=, contains=): runs, checks the
    general rules, then what the case adds; returns the output."""
    def check(*words, status=None, first_error=None, exact=None, contains=None):
        done = emulator.run(*words, env=SANITIZER_ENV, timeout=TIMEOUT)
        assert general_problem(done) is None, general_problem(done)
        out = done.stdout
        if status is not None:
            assert done.returncode == status, out[-200:]
        if first_error is not None:
            assert error_block(out).split(b"\n")[0] == first_error
        if exact is not None:
            assert out == exact
        if contains is not None:
            assert contains in out
        return out
    return check


@pytest.fixture(scope="module")
def knowledge_3(tmp_path_factory):
    path = tmp_path_factory.mktemp("hostile") / "knowledge-3"
    path.write_bytes(knowledge(3))
    return path


# --- Knowledge files ---------------------------------------------------------
def refused_knowledges():
    """(name, bytes) of unusable and broken knowledge files."""
    cases = [("unit-count-%r" % s, knowledge(0, stored_unit_count=s))
             for s in (float("nan"), float("inf"), float("-inf"), -5.0, -1.0, 24.0, 1000.0, 1e10, -1e9, 2.2e9,
                       -2.2e9)]
    # A unit count whose knowledge would be large, with the file that large.
    cases.append(("unit-count-1000-full", knowledge(0, stored_unit_count=1000.0) + bytes(4 * 69 * 1000)))
    rng = random.Random(5)
    cases += [("3-bytes", bytes(rng.randrange(256) for _ in range(3))),
              ("100-bytes", bytes(rng.randrange(256) for _ in range(100))),
              ("512-bytes", np.array([0.0] * 64 + [1.0] * 64, "<f4").tobytes())]
    cases += [("%d-zero-bytes" % n, bytes(n)) for n in (1, 4, 127, 511, 512, 513, 515, 516, 517, 607, 608, 609,
                                                         1000, 4096)]
    cases += [("%d-random-bytes" % n, bytes(rng.randrange(256) for _ in range(n)))
              for n in list(range(1, 40, 7)) + [508, 515, 516, 520, 607, 608, 700, 1436, 5000, 70000]]
    full = knowledge(23)
    cases += [("23-units-short-by-%d" % cut, full[:-cut]) for cut in (1, 4, 75, len(full) // 2, len(full) - 520)]
    # A configuration block that would match after the stored count's true
    # integer part but not after the one the count is taken as.
    cases.append(("unit-count-3-stored-as-2.999", knowledge(3, stored_unit_count=2.999)))
    return cases


REFUSED = refused_knowledges()


@pytest.mark.parametrize("name, data", REFUSED, ids=[c[0] for c in REFUSED])
def test_knowledge_refused(run, tmp_path, name, data):
    path, signals = tmp_path / name, tmp_path / "signals"
    path.write_bytes(data)
    signals.write_bytes(line(["0.5"] * 64))
    run("ombr_classification", "--knowledge_path", path, "--array", "1", status=1, exact=MISMATCH)
    run("ombr_classification", "--knowledge_path", path, "--file", signals, status=1, exact=MISMATCH)


@pytest.mark.parametrize("units", [0, 3, 23])
def test_built_knowledge_accepted(run, tmp_path, units):
    """The refusals above are not the builder's fault."""
    path, signals = tmp_path / "k", tmp_path / "signals"
    path.write_bytes(knowledge(units))
    signals.write_bytes(line(["0.5"] * 64))
    run("ombr_classification", "--knowledge_path", path, "--file", signals, status=0)


# --- Signal files --------------------------------------------------------------
REST = ",".join(["0.25"] * 63)
DIGITS = 1_000_000
# (name, first value, the same value plainly written: the reports must agree)
SAME_AS = [
    # Tokens longer than any reasonable buffer, the stream's own included.
    ("million-digit integer", "1" + "0" * DIGITS, "inf"),
    ("million-digit fraction times its exponent", "0." + "0" * (DIGITS - 1) + "1e%d" % DIGITS, "1"),
    ("two-million-digit fraction", "0." + "0" * (2 * DIGITS) + "1", "0"),
    ("million leading zeros", "0" * DIGITS + "3.5", "3.5"),
    ("twenty-digit exponents",
     "1e99999999999999999999,1e-99999999999999999999,0e99999999999999999999,1e+00000000000000000001,"
     "-2E-00000000000000000000,0x1p99999999999999999999,0x1p-99999999999999999999," + ",".join(["0.25"] * 56),
     "inf,0,0,10,-2,inf,0," + ",".join(["0.25"] * 56)),
]


@pytest.mark.parametrize("name, first, plain", SAME_AS, ids=[c[0] for c in SAME_AS])
def test_extreme_text_reads_like_plain(run, knowledge_3, tmp_path, name, first, plain):
    reports = []
    for text in (first, plain):
        path = tmp_path / "signals"
        path.write_bytes((text + "," + REST + "\n").encode())
        reports.append(run("ombr_classification", "--knowledge_path", knowledge_3, "--file", path, status=0))
    assert reports[0] == reports[1]


VALUES = line(["1.5"] * 64)
READ_ERROR = b"Error in reading file %s !"
# (name, bytes, extra words, expectations; %s in first_error is the path)
SHAPES = [
    ("two-million values on a line", b"0.5," * 2_000_000 + b"\n", [], dict(status=0, contains=b'"line": 1,')),
    ("ten thousand values on a line", b"-1.25 " * 10_000 + b"\n", [], dict(status=0)),
    ("ten thousand values, window on the line", b"-1.25 " * 10_000 + b"\n", ["--begin", "1", "--end", "1"],
     dict(status=0)),
    ("NUL as a separator", b"\0".join([b"1.5"] * 64) + b"\n", [], dict(status=0)),
    ("NUL where a value begins", VALUES + b"\0" + VALUES, [], dict(status=1, first_error=READ_ERROR)),
    ("NUL bytes only", bytes(1000) + b"\n", [], dict(status=1, first_error=READ_ERROR)),
    ("byte-order mark at the start", b"\xef\xbb\xbf" + VALUES, [], dict(status=1, first_error=READ_ERROR)),
    ("separators only", b",;,;" * 1000 + b"\n", [], dict(status=1, first_error=READ_ERROR)),
    ("line feeds only", b"\n" * 10_000, [], dict(status=1, first_error=b"Error: incompatibility between required "
                                                 b"and number of data in file %s !")),
    ("white space only, no line feed", b" \t\r\v\f" * 100, [], dict(status=0)),
    ("many short lines", b"1\n" * 64 * 200, [], dict(status=1)),
]


def random_shapes():
    rng = random.Random(11)
    # Random text also from the characters numbers are made of.
    alphabet = b"0123456789+-.eExXpPaAnNiIfFtTyY,;\t \r\n"
    for n in range(12):
        length = rng.choice([1, 10, 100, 1000, 10_000, 100_000])
        yield "random bytes #%d (%d bytes)" % (n, length), bytes(rng.randrange(256) for _ in range(length)), [], {}
        yield "random number text #%d" % n, bytes(rng.choice(alphabet) for _ in range(length)), [], {}


SHAPES += list(random_shapes())


@pytest.mark.parametrize("name, data, extra, expect", SHAPES, ids=[c[0] for c in SHAPES])
def test_signal_file_shapes(run, knowledge_3, tmp_path, name, data, extra, expect):
    path = tmp_path / "signals"
    path.write_bytes(data)
    if "first_error" in expect:
        expect = dict(expect, first_error=expect["first_error"] % bytes(path))
    run("ombr_classification", "--knowledge_path", knowledge_3, "--file", path, *extra, **expect)


# --- Command lines ---------------------------------------------------------------
LINE_COUNT = b"Error: argument --end is not compatible with the number of lines in file !"
COMPATIBILITY = b"Error: arguments --begin and --end are not compatible !"
WINDOWS = [
    (["--begin", "1", "--end", "4294967298"], LINE_COUNT),
    (["--begin", "1", "--end", "99999999999999999999999"], LINE_COUNT),
    (["--begin", "4294967298", "--end", "3"], COMPATIBILITY),
    (["--begin", "-4294967298", "--end", "3"], b"Error: argument --begin is not correct !"),
    (["--begin", "4294967297", "--end", "4294967297"], LINE_COUNT),
    (["--end", "3", "--begin", "4294967296"], COMPATIBILITY),
    (["--end", "2", "--begin", "3"], COMPATIBILITY),
    (["--end", "-2147483648", "--begin", "1"], b"Error: argument --end is not correct !"),
    (["--begin", "1", "--begin", "2"], None),
    (["--end", "1", "--end", "2"], None),
]


@pytest.fixture
def three_lines(tmp_path):
    path = tmp_path / "three-lines"
    path.write_bytes(line(["0.5"] * 64) * 3)
    return path


@pytest.mark.parametrize("extra, first_error", WINDOWS, ids=[" ".join(w) for w, _ in WINDOWS])
def test_window_refused(run, knowledge_3, three_lines, extra, first_error):
    run("ombr_classification", "--knowledge_path", knowledge_3, "--file", three_lines, *extra, status=1,
        first_error=first_error)


def test_window_accepted(run, knowledge_3, three_lines):
    run("ombr_classification", "--knowledge_path", knowledge_3, "--file", three_lines, "--begin", "2", "--end", "3",
        status=0, contains=b'"signal": 2, "line": 3,')


@pytest.mark.parametrize("unreadable", ["directory", "locked"])
def test_path_that_cannot_be_read(run, knowledge_3, three_lines, tmp_path, unreadable):
    path = tmp_path / unreadable
    if unreadable == "directory":
        path.mkdir()
    else:
        if os.geteuid() == 0:
            pytest.skip("running as root, unreadable files are readable")
        path.write_bytes(line(["0.5"] * 64))
        path.chmod(0)
    run("ombr_classification", "--knowledge_path", path, "--file", three_lines, status=1,
        first_error=b"Error: could not open knowledge file !")
    for window in ([], ["--begin", "1", "--end", "1"]):
        run("ombr_classification", "--knowledge_path", knowledge_3, "--file", path, *window, status=1,
            first_error=b"Error: could not open file !")


# --- Reports that cannot be written ------------------------------------------------
@pytest.fixture
def big_report(knowledge_3, tmp_path):
    path = tmp_path / "big"
    path.write_bytes(line(["0.5"] * 64) * 20_000)
    return ["ombr_classification", "--knowledge_path", str(knowledge_3), "--file", str(path)]


@pytest.mark.parametrize("what", ["information report", "big report", "error block"])
def test_report_to_full_device(emulator, big_report, what):
    """Status 1 and one short line on standard error, never status 0."""
    words = {"information report": ["ombr_get_info"], "big report": big_report, "error block": ["ombrel_unknown"]}
    with open("/dev/full", "wb") as full:
        done = subprocess.run(emulator.command + words[what], stdout=full, stderr=subprocess.PIPE,
                              env={**os.environ, **SANITIZER_ENV}, timeout=TIMEOUT)
    assert done.returncode == 1
    assert done.stderr.count(b"\n") == 1 and done.stderr.endswith(b"\n") and len(done.stderr) <= 200, done.stderr


def test_reader_closes_pipe_early(emulator, big_report):
    p = subprocess.Popen(emulator.command + big_report, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         env={**os.environ, **SANITIZER_ENV})
    first = p.stdout.read(100)
    p.stdout.close()
    try:
        err, status = p.stderr.read(), p.wait(timeout=TIMEOUT)
    finally:
        p.kill()
    assert first.startswith(b"{\n")
    assert status == 1
    assert err.count(b"\n") <= 1 and len(err) <= 200, err
