"""The threaded signal pass against the sequential one, byte for byte.

Every signal file is generated here from fixed seeds. Each is classified
with OMBREL_THREADS=1 (the sequential pass), then with several thread counts
and block sizes down to one byte (OMBREL_TEST_BLOCK_BYTES), so that block
boundaries fall on every line and inside long ones; standard output, standard
error and the exit status must be identical. The whole file and windows whose
ends fall anywhere are tried.
"""
import random

import pytest

from conftest import CLI_DATA

pytestmark = pytest.mark.native

SETTINGS = [("2", "1"), ("3", "7"), ("2", "130"), ("4", "700"), ("2", "4096"), ("3", None)]
TIMEOUT = 120
KNOWLEDGE = CLI_DATA / "k23.bin"


def value_text(rng):
    kind = rng.randrange(20)
    if kind == 0:
        return rng.choice(["nan", "-inf", "INFINITY", "+Inf", "NaN"])
    if kind == 1:
        return float.hex(rng.uniform(-4, 4))
    if kind == 2:
        return "%.3e" % rng.uniform(-1e6, 1e6)
    if kind == 3:
        return "%.1fe" % rng.uniform(-9, 9)  # an exponent letter without digits
    if kind == 4:
        return "%d" % rng.randrange(-100, 100)
    return "%.6f" % rng.uniform(-3, 3)


def signal_line(rng, values=64, separator=",", end="\n"):
    return separator.join(value_text(rng) for _ in range(values)) + end


def aligned(rng, lines, separator=",", end="\n"):
    return "".join(signal_line(rng, separator=separator, end=end) for _ in range(lines))


def files():
    """(name, bytes) of every signal file tried."""
    rng = random.Random(13)
    out = []
    for lines in (1, 2, 5, 40):
        out.append(("aligned-%d" % lines, aligned(rng, lines).encode()))
    out.append(("crlf", aligned(rng, 30, end="\r\n").encode()))
    out.append(("spaces-and-tabs", aligned(rng, 20, separator=" ").replace("\n", " \t\n").encode()))
    out.append(("leading-blanks", "".join("  " + signal_line(rng, separator="\t") for _ in range(12)).encode()))
    out.append(("last-separator-not-blank", aligned(rng, 12, end=";\n").encode()))
    base = aligned(rng, 30).splitlines(keepends=True)
    for where in (0, 7, 29):
        for values in (63, 65):
            lines = list(base)
            lines[where] = signal_line(rng, values)
            out.append(("%d-values-on-line-%d" % (values, where + 1), "".join(lines).encode()))
    for where in (0, 11, 29):
        lines = list(base)
        lines[where] = lines[where].replace(",", ",x", 1) if where != 11 else lines[where][:-1] + "z\n"
        out.append(("bad-value-on-line-%d" % (where + 1), "".join(lines).encode()))
        lines = list(base)
        lines.insert(where, "\n")
        out.append(("blank-line-before-%d" % (where + 1), "".join(lines).encode()))
    out.append(("blank-last-line", ("".join(base) + "\n").encode()))
    out.append(("no-final-line-feed", "".join(base)[:-1].encode()))
    out.append(("partial-last-line", ("".join(base) + "1,2,3").encode()))
    out.append(("nul-separator", "".join(base).replace(",", "\0", 5).encode()))
    out.append(("nul-in-value", "".join(base).replace(",", ",\0", 1).encode()))
    long_token = "0." + "0" * 9000 + "1"
    lines = list(base)
    lines[10] = long_token + "," + lines[10]
    out.append(("long-token-shifts", "".join(lines).encode()))
    lines = list(base)
    lines[10] = long_token + lines[10][lines[10].index(","):]
    out.append(("long-token-in-place", "".join(lines).encode()))
    lines = list(base)
    lines[4] = "1" * 70000 + lines[4][lines[4].index(","):]  # longer than a block buffer of small blocks
    out.append(("line-longer-than-buffer", "".join(lines).encode()))
    # Past the 32 signals one thread classifies at a time: a bad value or a
    # line of 65 values inside a batch and on each side of its boundaries.
    many = aligned(rng, 100).splitlines(keepends=True)
    for where in (31, 32, 33, 64, 99):
        lines = list(many)
        lines[where] = lines[where].replace(",", ",x", 1) if where % 2 else signal_line(rng, 65)
        out.append(("line-%d-of-100" % (where + 1), "".join(lines).encode()))
    out.append(("crlf-100-no-final-line-feed", aligned(rng, 100, end="\r\n")[:-1].encode()))
    out.append(("only-line-feeds", b"\n" * 50))
    out.append(("carriage-returns-only", aligned(rng, 5, end="\r").encode()))
    for seed in range(12):
        mix = random.Random(seed)
        lines = []
        for _ in range(mix.randrange(1, 60)):
            pick = mix.randrange(30)
            if pick == 0:
                lines.append(signal_line(mix, mix.choice([62, 63, 65, 128])))
            elif pick == 1:
                lines.append(mix.choice(["\n", "\r\n", " \n", "\0\n"]))
            elif pick == 2:
                lines.append(signal_line(mix, separator=mix.choice([";", " ", "\t", ",,"])))
            else:
                lines.append(signal_line(mix, end=mix.choice(["\n", "\n", "\r\n", " \n"])))
        text = "".join(lines)
        if mix.randrange(3) == 0:
            text = text[:-1]
        out.append(("mixed-%d" % seed, text.encode()))
    return out


def windows(data, rng):
    lines = data.count(b"\n")
    if lines == 0:
        return [[]]
    chosen = [[], ["--begin", "1", "--end", str(lines)], ["--end", str(lines), "--begin", str(lines)]]
    for _ in range(3):
        begin = rng.randrange(1, lines + 1)
        chosen.append(["--begin", str(begin), "--end", str(rng.randrange(begin, lines + 1))])
    return chosen


def cases():
    """(name, bytes, windows) of every file, its windows drawn in turn from one seed."""
    rng = random.Random(7)
    return [(name, data, windows(data, rng)) for name, data in files()]


CASES = cases()


@pytest.mark.parametrize("name, data, chosen", CASES, ids=[c[0] for c in CASES])
def test_threads_give_sequential_output(emulator, tmp_path, monkeypatch, name, data, chosen):
    path = tmp_path / (name + ".csv")
    path.write_bytes(data)
    monkeypatch.delenv("OMBREL_TEST_BLOCK_BYTES", raising=False)
    differences = []
    for window in chosen:
        def run(threads, block):
            env = {"OMBREL_THREADS": threads}
            if block is not None:
                env["OMBREL_TEST_BLOCK_BYTES"] = block
            done = emulator.classify_file(KNOWLEDGE, path, *window, env=env, timeout=TIMEOUT)
            return done.returncode, done.stdout, done.stderr

        expected = run("1", None)
        for threads, block in SETTINGS:
            got = run(threads, block)
            if got != expected:
                differences.append("%s threads=%s block=%s: status %d/%d, stdout %d/%d bytes, first difference at %d"
                                   % (" ".join(window), threads, block, got[0], expected[0], len(got[1]),
                                      len(expected[1]),
                                      next((k for k, (a, b) in enumerate(zip(got[1], expected[1])) if a != b),
                                           min(len(got[1]), len(expected[1])))))
    assert not differences, "\n".join(differences)
