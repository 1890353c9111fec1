"""Tests of the knowledge tooling (ombrel.knowledge, and tools/knowledge.py
that wraps it): file layout, reading back, inspection verdicts and the
float32 forward pass.

    python3 -m pytest tests/tools
"""

import contextlib
import io
import json
import math
import re
import struct
import subprocess
import sys

import numpy as np
import pytest

from conftest import ROOT, random_arrays as arrays
from ombrel import knowledge
from numpy_network import forward
from ombrel.knowledge.inspection import _fmt
from ombrel.commands.knowledge_command import main as knowledge_command

TOOL = ROOT / "tools" / "knowledge.py"
EXPECTED = [4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22]


def pack(n, seed=1, **overrides):
    return knowledge.pack(**arrays(n, seed), **overrides)


def f32(*values):
    return struct.pack("<%df" % len(values), *values)


@pytest.fixture
def inspect(tmp_path):
    """inspect(data) -> (exit status, report text) of the inspect command."""
    def run(data):
        path = tmp_path / "k.bin"
        path.write_bytes(data)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = knowledge_command(["inspect", str(path)])
        return status, out.getvalue()
    return run


# --- Layout and round trip -----------------------------------------------------

def test_layout_is_little_endian_float32_in_documented_order():
    a = arrays(2)
    data = knowledge.pack(**a)
    assert len(data) == 608 + 276 * 2
    v = struct.unpack("<%df" % (len(data) // 4), data)

    def as32(x):
        return float(np.float32(x))

    assert v[0] == as32(a["means"][0])
    assert v[64] == as32(a["scales"][0])
    assert v[128] == 2.0
    # input-major hidden weights: input i, unit j at 129 + i*N + j
    assert v[129 + 5 * 2 + 1] == as32(a["hidden_weights"][5][1])
    assert v[129 + 128 + 1] == as32(a["hidden_biases"][1])
    # unit-major output weights: unit j, output k at 129 + 65N + 4j + k
    assert v[129 + 130 + 4 * 1 + 3] == as32(a["output_weights"][1][3])
    assert v[129 + 138:129 + 142] == tuple(as32(x) for x in a["output_biases"])
    assert list(v[-19:]) == EXPECTED


@pytest.mark.parametrize("n", [0, 1, 10, 23])
def test_write_then_read_gives_the_arrays_back(n, tmp_path):
    a = arrays(n, seed=n)
    path = tmp_path / "k.bin"
    assert knowledge.write_bytes(path, knowledge.pack(**a)) == 608 + 276 * n
    k = knowledge.read(path)
    for name, value in a.items():
        np.testing.assert_array_equal(getattr(k, name), np.float32(value), name)
    assert k.stored_unit_count == n
    assert k.configuration.tolist() == EXPECTED


def test_write_refuses_more_units_than_the_library_holds_or_bad_shapes():
    with pytest.raises(knowledge.KnowledgeError):
        pack(24)
    a = arrays(3)
    a["hidden_weights"] = a["hidden_weights"].T          # unit-major by mistake
    with pytest.raises(knowledge.KnowledgeError):
        knowledge.pack(**a)


def test_read_truncates_the_count_and_zero_fills_a_short_file():
    k = knowledge.read_bytes(pack(10, stored_unit_count=10.7))
    assert k.hidden_biases.size == 10
    k = knowledge.read_bytes(pack(10)[:-8])
    assert k.configuration[-2:].tolist() == [0.0, 0.0]
    for data in (b"", bytes(100), pack(0, stored_unit_count=float("nan"))):
        with pytest.raises(knowledge.KnowledgeError):
            knowledge.read_bytes(data)


def test_command_line_write_from_npz_and_json_and_read_back_as_json(tmp_path):
    a = arrays(3)
    npz = tmp_path / "a.npz"
    np.savez(npz, **a)
    js = tmp_path / "a.json"
    js.write_text(json.dumps({k: np.asarray(v).tolist() for k, v in a.items()}))
    outputs = []
    for source in (npz, js):
        out = tmp_path / (source.name + ".bin")
        with contextlib.redirect_stdout(io.StringIO()):
            assert knowledge_command(["write", "--from-npz", str(source), str(out)]) == 0
        outputs.append(out.read_bytes())
    assert outputs[0] == outputs[1]
    assert outputs[0] == knowledge.pack(**a)
    dump = io.StringIO()
    with contextlib.redirect_stdout(dump):
        assert knowledge_command(["read", str(out)]) == 0
    obj = json.loads(dump.getvalue())
    np.testing.assert_array_equal(np.float32(obj["hidden_weights"]), np.float32(a["hidden_weights"]))
    assert obj["configuration"] == EXPECTED


# --- Inspection: accepted ------------------------------------------------------

@pytest.mark.parametrize("n", [0, 10, 23])
def test_good_files_are_accepted_with_their_sections(n, inspect):
    status, text = inspect(pack(n))
    assert status == 0, text
    assert "file size: %d bytes" % (608 + 276 * n) in text
    assert "unit count: %d (stored %d): accepted" % (n, n) in text
    assert "matches" in text.split("expected size:")[1].splitlines()[0]
    assert re.search(r"configuration\s+%d\s+%d\s+19\n" % (133 + 69 * n, 532 + 276 * n), text)
    assert re.search(r"hidden biases\s+%d\s+%d\s+%d\n" % (129 + 64 * n, 516 + 256 * n, n), text)
    assert "configuration: matches" in text
    assert text.endswith("verdict: accepted\n")


@pytest.mark.parametrize("stored, n", [(10.7, 10), (-0.5, 0), (23.9, 23), (-0.0, 0)])
def test_counts_that_truncate_into_range_are_accepted(stored, n, inspect):
    status, text = inspect(pack(n, stored_unit_count=stored))
    assert status == 0, text
    assert "unit count: %d (stored " % n in text


def test_extra_bytes_are_ignored(inspect):
    status, text = inspect(pack(10) + b"\x00\x00\xc0\x7f" * 3 + b"x")
    assert status == 0, text
    assert "13 extra bytes after the knowledge are ignored" in text


def test_negative_zero_in_the_configuration_matches(inspect):
    config = list(EXPECTED)
    config[3] = config[14] = -0.0
    status, text = inspect(pack(5, configuration=config))
    assert status == 0, text


def test_non_finite_values_and_zero_scales_are_counted_but_accepted(inspect):
    a = arrays(4)
    a["means"][7] = np.nan
    a["scales"][2] = np.inf
    a["scales"][9] = a["scales"][11] = 0.0
    a["hidden_weights"][0][0] = -np.inf
    status, text = inspect(knowledge.pack(**a))
    assert status == 0, text
    assert "1 NaN, 2 infinite, 2 zero scales" in text
    assert "mean not finite at input 7" in text
    assert "zero scale (the input has no effect) at input 9, 11" in text


# --- Inspection: refused -------------------------------------------------------

@pytest.fixture
def refused(inspect):
    """refused(data, *lines) checks the refusal and that its report holds
    every line; returns the report."""
    def check(data, *expected_lines):
        status, text = inspect(data)
        assert status == 1, text
        assert "verdict: refused" in text
        for line in expected_lines:
            assert line in text
        return text
    return check


@pytest.mark.parametrize("stored", [float("nan"), float("inf"), float("-inf"), -5.0, -1.0, 24.0, 1000.0,
                                    1e10, -1e9, 2.2e9])
def test_unusable_unit_counts(stored, refused):
    text = refused(pack(10, stored_unit_count=stored), "unusable unit count")
    assert "stored %s: refused" % _fmt(stored) in text


def test_unusable_unit_counts_of_a_file_without_units(refused):
    refused(pack(0, stored_unit_count=float("nan")), "stored nan: refused")
    refused(pack(0, stored_unit_count=2.2e9), "stored 2200000000: refused")


@pytest.mark.parametrize("size", [3, 100, 512, 515])
def test_files_too_short_for_a_unit_count(size, refused):
    refused(pack(0)[:size], "too short to hold the unit count", "file size: %d bytes" % size)


def test_an_empty_file_is_refused(refused):
    refused(b"", "empty file")


def test_header_only_file_lists_every_missing_configuration_value(refused):
    # 516 bytes: count 0 read, the rest of the 608 bytes are zeros
    text = refused(bytes(516), "unit count: 0 (stored 0): accepted", "92 bytes short",
                   "mismatch at 10 of 19 indices", "index 15: expected 1000000, found 0",
                   "index 18: expected 22, found 0")
    assert "index 3:" not in text


def test_all_zeros_of_a_full_size(refused):
    refused(bytes(608), "unit count: 0 (stored 0): accepted", "64 zero scales", "mismatch at 10 of 19 indices")


def test_cut_short_knowledge(refused):
    good = pack(23)
    refused(good[:-4], "4 bytes short", "mismatch at 1 of 19 indices", "index 18: expected 22, found 0")
    refused(good[:-1], "1 bytes short", "index 18: expected 22, found ")
    text = refused(good[:3000], "3956 bytes short", "index 0: expected 4, found 0")
    assert re.search(r"hidden weights .*\[cut short: 2484 of 5888 bytes", text)
    assert re.search(r"output biases .*\[missing: zeros\]", text)


def test_configuration_mismatches_show_every_differing_index(refused):
    config = list(EXPECTED)
    config[18] = float(np.nextafter(np.float32(22), np.float32(23)))
    refused(pack(10, configuration=config), "mismatch at 1 of 19 indices", "index 18: expected 22, found 22.000002")
    config = list(EXPECTED)
    config[0], config[4], config[15] = float("nan"), 1e-45, 999999.0
    refused(pack(10, configuration=config), "mismatch at 3 of 19 indices", "index 0: expected 4, found nan",
            "index 4: expected 0, found 1e-45", "index 15: expected 1000000, found 999999")


def test_configuration_of_another_unit_count_position(refused):
    # a count of 10 stored in a file laid out for 11 units puts the
    # configuration check 276 bytes too early
    data = bytearray(pack(11))
    data[512:516] = f32(10.0)
    refused(bytes(data), "276 extra bytes", "configuration: mismatch")


@pytest.mark.parametrize("name, data, status", [("good.bin", pack(3), 0), ("bad.bin", pack(3)[:-4], 1),
                                                ("none.bin", None, 1)])
def test_process_exit_status_of_the_tool(name, data, status, tmp_path):
    path = tmp_path / name
    if data is not None:
        path.write_bytes(data)
    run = subprocess.run([sys.executable, TOOL, "inspect", path], capture_output=True, text=True)
    assert run.returncode == status, run.stdout + run.stderr
    assert "verdict: " in run.stdout


# --- Forward pass --------------------------------------------------------------

def classify(biases):
    """Probabilities and class of a knowledge without hidden units, whose
    scores are its output biases."""
    k = knowledge.read_bytes(knowledge.pack(np.zeros(64), np.ones(64), np.zeros((64, 0)), [], np.zeros((0, 4)),
                                            biases))
    p, c = forward(k, np.zeros((1, 64)))
    return p[0], int(c[0])


def test_softmax_with_factor_five():
    # differences of 1 are multiplied by 5: exp(-15), exp(-10), exp(-5), 1
    p, c = classify([1, 2, 3, 4])
    np.testing.assert_allclose(p, [3.04e-7, 4.51e-5, 6.69e-3, 0.993], rtol=3e-3)
    assert c == 4
    p, c = classify([0, 0, 0, -21])     # 5 * -21 is below exp's float range
    assert p[3] == 0.0
    assert p[0] == np.float32(1) / np.float32(3)
    assert c == 1


def test_ties_go_to_the_lowest_class_and_nan_to_class_one():
    assert classify([0, 1, 1, 0])[1] == 2
    assert classify([0, 1e-9, -10, -10])[1] == 1   # rounds to a tie
    p, c = classify([1, np.nan, 2, 0])
    assert np.isnan(p).all()
    assert c == 1


def test_forward_matches_a_scalar_float32_computation():
    rng = np.random.default_rng(3)
    n = 7
    a = arrays(n, seed=5)
    a["means"] *= 10
    a["scales"] /= 100                 # standardised values of order 1
    a["hidden_weights"] /= 8           # units well inside tanh's range
    k = knowledge.read_bytes(knowledge.pack(**a))
    signals = rng.integers(-128, 128, size=(20, 64)).astype(np.float32)
    probabilities, classes = forward(k, signals)
    F = np.float32
    for x, p_row, cls in zip(signals, probabilities, classes):
        h = []
        for j in range(n):
            acc = k.hidden_biases[j]
            for i in range(64):
                acc = F(acc + F(k.hidden_weights[i][j] * F(F(x[i] - k.means[i]) * k.scales[i])))
            h.append(F(math.tanh(float(acc))))
        s = [k.output_biases[o] for o in range(4)]
        for j in range(n):
            s = [F(s[o] + F(h[j] * k.output_weights[j][o])) for o in range(4)]
        m = max(s)
        e = [F(math.exp(float(F(F(v - m) * F(5))))) for v in s]
        total = F(0)
        for v in e:
            total = F(total + v)
        r = F(F(1) / total)
        expected = [F(v * r) for v in e]
        assert p_row.tolist() == expected
        assert cls == 1 + max(range(4), key=lambda o: (expected[o], -o))
