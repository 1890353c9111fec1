"""Tests of the knowledge tooling (ombrel.knowledge, and tools/knowledge.py
that wraps it): file layout, reading back, inspection verdicts and the
float32 forward pass.

    python3 -m pytest tests/tools
"""

import contextlib
import io
import json
import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "knowledge.py")
from ombrel import knowledge
from ombrel.knowledge.inspection import _fmt

EXPECTED = [4, 1, 64, 0, 0, 2, 0, 0, 100, 0, 0, 4, 0, 0, 0, 1000000, 1, 1, 22]


def arrays(n, seed=1):
    rng = np.random.default_rng(seed)
    return dict(means=rng.normal(size=64), scales=rng.uniform(0.5, 2, 64),
                hidden_weights=rng.normal(size=(64, n)), hidden_biases=rng.normal(size=n),
                output_weights=rng.normal(size=(n, 4)), output_biases=rng.normal(size=4))


def pack(n, seed=1, **overrides):
    return knowledge.pack(**arrays(n, seed), **overrides)


def f32(*values):
    return struct.pack("<%df" % len(values), *values)


class TemporaryFiles(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def file(self, data, name="k.bin"):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def inspect(self, data):
        """(exit status, report text) of the inspect command on `data`."""
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = knowledge.main(["inspect", self.file(data)])
        return status, out.getvalue()


class LayoutAndRoundTrip(TemporaryFiles):
    def test_layout_is_little_endian_float32_in_documented_order(self):
        a = arrays(2)
        data = knowledge.pack(**a)
        self.assertEqual(len(data), 608 + 276 * 2)
        v = struct.unpack("<%df" % (len(data) // 4), data)
        as32 = lambda x: float(np.float32(x))
        self.assertEqual(v[0], as32(a["means"][0]))
        self.assertEqual(v[64], as32(a["scales"][0]))
        self.assertEqual(v[128], 2.0)
        # input-major hidden weights: input i, unit j at 129 + i*N + j
        self.assertEqual(v[129 + 5 * 2 + 1], as32(a["hidden_weights"][5][1]))
        self.assertEqual(v[129 + 128 + 1], as32(a["hidden_biases"][1]))
        # unit-major output weights: unit j, output k at 129 + 65N + 4j + k
        self.assertEqual(v[129 + 130 + 4 * 1 + 3], as32(a["output_weights"][1][3]))
        self.assertEqual(v[129 + 138:129 + 142], tuple(as32(x) for x in a["output_biases"]))
        self.assertEqual(list(v[-19:]), EXPECTED)

    def test_write_then_read_gives_the_arrays_back(self):
        for n in (0, 1, 10, 23):
            with self.subTest(n=n):
                a = arrays(n, seed=n)
                path = os.path.join(self.dir, "k%d.bin" % n)
                self.assertEqual(knowledge.write_bytes(path, knowledge.pack(**a)), 608 + 276 * n)
                k = knowledge.read(path)
                for name, value in a.items():
                    np.testing.assert_array_equal(getattr(k, name), np.float32(value), name)
                self.assertEqual(k.stored_unit_count, n)
                self.assertEqual(k.configuration.tolist(), EXPECTED)

    def test_write_refuses_more_units_than_the_library_holds_or_bad_shapes(self):
        with self.assertRaises(knowledge.KnowledgeError):
            pack(24)
        a = arrays(3)
        a["hidden_weights"] = a["hidden_weights"].T          # unit-major by mistake
        with self.assertRaises(knowledge.KnowledgeError):
            knowledge.pack(**a)

    def test_read_truncates_the_count_and_zero_fills_a_short_file(self):
        k = knowledge.read_bytes(pack(10, stored_unit_count=10.7))
        self.assertEqual(k.hidden_biases.size, 10)
        k = knowledge.read_bytes(pack(10)[:-8])
        self.assertEqual(k.configuration[-2:].tolist(), [0.0, 0.0])
        for data in (b"", bytes(100), pack(0, stored_unit_count=float("nan"))):
            with self.assertRaises(knowledge.KnowledgeError):
                knowledge.read_bytes(data)

    def test_command_line_write_from_npz_and_json_and_read_back_as_json(self):
        a = arrays(3)
        npz = os.path.join(self.dir, "a.npz")
        np.savez(npz, **a)
        js = os.path.join(self.dir, "a.json")
        with open(js, "w") as f:
            json.dump({k: np.asarray(v).tolist() for k, v in a.items()}, f)
        outputs = []
        for source in (npz, js):
            out = os.path.join(self.dir, os.path.basename(source) + ".bin")
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(knowledge.main(["write", "--from-npz", source, out]), 0)
            with open(out, "rb") as f:
                outputs.append(f.read())
        self.assertEqual(outputs[0], outputs[1])
        self.assertEqual(outputs[0], knowledge.pack(**a))
        dump = io.StringIO()
        with contextlib.redirect_stdout(dump):
            self.assertEqual(knowledge.main(["read", out]), 0)
        obj = json.loads(dump.getvalue())
        np.testing.assert_array_equal(np.float32(obj["hidden_weights"]), np.float32(a["hidden_weights"]))
        self.assertEqual(obj["configuration"], EXPECTED)


class InspectAccepted(TemporaryFiles):
    def test_good_files_are_accepted_with_their_sections(self):
        for n in (0, 10, 23):
            with self.subTest(n=n):
                status, text = self.inspect(pack(n))
                self.assertEqual(status, 0, text)
                self.assertIn("file size: %d bytes" % (608 + 276 * n), text)
                self.assertIn("unit count: %d (stored %d): accepted" % (n, n), text)
                self.assertIn("matches", text.split("expected size:")[1].splitlines()[0])
                self.assertRegex(text, r"configuration\s+%d\s+%d\s+19\n" % (133 + 69 * n, 532 + 276 * n))
                self.assertRegex(text, r"hidden biases\s+%d\s+%d\s+%d\n" % (129 + 64 * n, 516 + 256 * n, n))
                self.assertIn("configuration: matches", text)
                self.assertTrue(text.endswith("verdict: accepted\n"))

    def test_counts_that_truncate_into_range_are_accepted(self):
        for stored, n in ((10.7, 10), (-0.5, 0), (23.9, 23), (-0.0, 0)):
            with self.subTest(stored=stored):
                status, text = self.inspect(pack(n, stored_unit_count=stored))
                self.assertEqual(status, 0, text)
                self.assertIn("unit count: %d (stored " % n, text)

    def test_extra_bytes_are_ignored(self):
        status, text = self.inspect(pack(10) + b"\x00\x00\xc0\x7f" * 3 + b"x")
        self.assertEqual(status, 0, text)
        self.assertIn("13 extra bytes after the knowledge are ignored", text)

    def test_negative_zero_in_the_configuration_matches(self):
        config = list(EXPECTED)
        config[3] = config[14] = -0.0
        status, text = self.inspect(pack(5, configuration=config))
        self.assertEqual(status, 0, text)

    def test_non_finite_values_and_zero_scales_are_counted_but_accepted(self):
        a = arrays(4)
        a["means"][7] = np.nan
        a["scales"][2] = np.inf
        a["scales"][9] = a["scales"][11] = 0.0
        a["hidden_weights"][0][0] = -np.inf
        status, text = self.inspect(knowledge.pack(**a))
        self.assertEqual(status, 0, text)
        self.assertIn("1 NaN, 2 infinite, 2 zero scales", text)
        self.assertIn("mean not finite at input 7", text)
        self.assertIn("zero scale (the input has no effect) at input 9, 11", text)


class InspectRefused(TemporaryFiles):
    def assertRefused(self, data, *expected_lines):
        status, text = self.inspect(data)
        self.assertEqual(status, 1, text)
        self.assertIn("verdict: refused", text)
        for line in expected_lines:
            self.assertIn(line, text)
        return text

    def test_unusable_unit_counts(self):
        for stored in (float("nan"), float("inf"), float("-inf"), -5.0, -1.0, 24.0, 1000.0,
                       1e10, -1e9, 2.2e9):
            with self.subTest(stored=stored):
                text = self.assertRefused(pack(10, stored_unit_count=stored), "unusable unit count")
                self.assertIn("stored %s: refused" % _fmt(stored), text)
        self.assertRefused(pack(0, stored_unit_count=float("nan")), "stored nan: refused")
        self.assertRefused(pack(0, stored_unit_count=2.2e9), "stored 2200000000: refused")

    def test_files_too_short_for_a_unit_count(self):
        self.assertRefused(b"", "empty file")
        for size in (3, 100, 512, 515):
            with self.subTest(size=size):
                self.assertRefused(pack(0)[:size], "too short to hold the unit count",
                                   "file size: %d bytes" % size)

    def test_header_only_file_lists_every_missing_configuration_value(self):
        # 516 bytes: count 0 read, the rest of the 608 bytes are zeros
        text = self.assertRefused(bytes(516), "unit count: 0 (stored 0): accepted",
                                  "92 bytes short", "mismatch at 10 of 19 indices",
                                  "index 15: expected 1000000, found 0",
                                  "index 18: expected 22, found 0")
        self.assertNotIn("index 3:", text)

    def test_all_zeros_of_a_full_size(self):
        self.assertRefused(bytes(608), "unit count: 0 (stored 0): accepted",
                           "64 zero scales", "mismatch at 10 of 19 indices")

    def test_cut_short_knowledge(self):
        good = pack(23)
        self.assertRefused(good[:-4], "4 bytes short", "mismatch at 1 of 19 indices",
                           "index 18: expected 22, found 0")
        self.assertRefused(good[:-1], "1 bytes short", "index 18: expected 22, found ")
        text = self.assertRefused(good[:3000], "3956 bytes short", "index 0: expected 4, found 0")
        self.assertRegex(text, r"hidden weights .*\[cut short: 2484 of 5888 bytes")
        self.assertRegex(text, r"output biases .*\[missing: zeros\]")

    def test_configuration_mismatches_show_every_differing_index(self):
        config = list(EXPECTED)
        config[18] = float(np.nextafter(np.float32(22), np.float32(23)))
        self.assertRefused(pack(10, configuration=config), "mismatch at 1 of 19 indices",
                           "index 18: expected 22, found 22.000002")
        config = list(EXPECTED)
        config[0], config[4], config[15] = float("nan"), 1e-45, 999999.0
        self.assertRefused(pack(10, configuration=config), "mismatch at 3 of 19 indices",
                           "index 0: expected 4, found nan", "index 4: expected 0, found 1e-45",
                           "index 15: expected 1000000, found 999999")

    def test_configuration_of_another_unit_count_position(self):
        # a count of 10 stored in a file laid out for 11 units puts the
        # configuration check 276 bytes too early
        data = bytearray(pack(11))
        data[512:516] = f32(10.0)
        self.assertRefused(bytes(data), "276 extra bytes", "configuration: mismatch")

    def test_process_exit_status(self):
        good = self.file(pack(3), "good.bin")
        bad = self.file(pack(3)[:-4], "bad.bin")
        missing = os.path.join(self.dir, "none.bin")
        for path, status in ((good, 0), (bad, 1), (missing, 1)):
            with self.subTest(path=os.path.basename(path)):
                run = subprocess.run([sys.executable, TOOL, "inspect", path],
                                     capture_output=True, text=True)
                self.assertEqual(run.returncode, status, run.stdout + run.stderr)
                self.assertIn("verdict: ", run.stdout)


class ForwardPass(unittest.TestCase):
    def knowledge_with_scores(self, biases):
        """A knowledge without hidden units: its scores are its output biases."""
        return knowledge.read_bytes(knowledge.pack(np.zeros(64), np.ones(64), np.zeros((64, 0)),
                                                   [], np.zeros((0, 4)), biases))

    def classify(self, biases):
        p, c = knowledge.forward(self.knowledge_with_scores(biases), np.zeros((1, 64)))
        return p[0], int(c[0])

    def test_softmax_with_factor_five(self):
        # differences of 1 are multiplied by 5: exp(-15), exp(-10), exp(-5), 1
        p, c = self.classify([1, 2, 3, 4])
        np.testing.assert_allclose(p, [3.04e-7, 4.51e-5, 6.69e-3, 0.993], rtol=3e-3)
        self.assertEqual(c, 4)
        p, c = self.classify([0, 0, 0, -21])     # 5 * -21 is below exp's float range
        self.assertEqual(p[3], 0.0)
        self.assertEqual(p[0], np.float32(1) / np.float32(3))
        self.assertEqual(c, 1)

    def test_ties_go_to_the_lowest_class_and_nan_to_class_one(self):
        self.assertEqual(self.classify([0, 1, 1, 0])[1], 2)
        self.assertEqual(self.classify([0, 1e-9, -10, -10])[1], 1)   # rounds to a tie
        p, c = self.classify([1, np.nan, 2, 0])
        self.assertTrue(np.isnan(p).all())
        self.assertEqual(c, 1)

    def test_matches_a_scalar_float32_computation(self):
        rng = np.random.default_rng(3)
        n = 7
        a = arrays(n, seed=5)
        a["means"] *= 10
        a["scales"] /= 100                 # standardised values of order 1
        a["hidden_weights"] /= 8           # units well inside tanh's range
        k = knowledge.read_bytes(knowledge.pack(**a))
        signals = rng.integers(-128, 128, size=(20, 64)).astype(np.float32)
        probabilities, classes = knowledge.forward(k, signals)
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
            self.assertEqual(p_row.tolist(), expected)
            self.assertEqual(cls, 1 + max(range(4), key=lambda o: (expected[o], -o)))


if __name__ == "__main__":
    unittest.main()
