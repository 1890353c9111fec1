"""read_signals against the command: the same lines, the same classes and
printed probabilities, the same failures; the values against a float64 parse."""
import os
import re
import tempfile
import threading
import time
import unittest
import warnings

import numpy as np

import ombrel
from support import EMG, emulator_file

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")


def reference_values(text):
    """Every value of a file whose values Python can parse: decimal, hex, nan,
    inf and an exponent letter without digits; rounded once to float32."""
    words = re.findall(r"[^,;\t |\r\n]+", text)
    out = []
    for w in words:
        w = re.sub(r"[eE]$", "", w)
        hexa = re.fullmatch(r"([+-]?)(0[xX].*)", w)
        out.append(np.float32(float.fromhex(hexa[1] + hexa[2]) if hexa else float(w)))
    return np.array(out, np.float32)


def line(rng, values=64, seps=",", forms=False):
    words = ["%.6f" % v for v in rng.normal(0, 2, values)]
    if forms:
        words[:12] = ["0x1.8p1", "-0X.8P-3", "nan", "-NaN", "inf", "-Infinity", "-0", "1e-40",
                      "0x1p-149", "+2.5E+1", "3.4e38", "1.5e"]
    return "".join(w + seps[i % len(seps)] for i, w in enumerate(words[:-1])) + words[-1]


class ReadSignalsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.clf = ombrel.Classifier(KNOWLEDGE)

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text):
        path = os.path.join(self.tmp.name, name)
        with open(path, "wb") as f:
            f.write(text.encode("ascii"))
        return path

    def same_as_command(self, path, begin=None, end=None):
        status, out, records, err = emulator_file(KNOWLEDGE, path, begin, end)
        # The command's misalignment warning, as a Python warning naming the file.
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                X, lines = ombrel.read_signals(path, begin, end)
            except ombrel.SignalFileError as error:
                X, lines = None, error
        self.assertEqual(["ombrel_emulator: warning: %s\n" % str(w.message).split(": ", 1)[1] for w in caught
                          if issubclass(w.category, ombrel.SignalAlignmentWarning)],
                         [err] if err else [])
        if X is None:
            error = lines
            self.assertEqual(status, 1)
            self.assertIn(error.message, out)
            if error.line is not None:        # the command printed the lines before it
                self.assertTrue(all(r[0] < error.line for r in records))
            return None, error
        self.assertEqual(status, 0, out)
        self.assertEqual(lines.tolist(), [r[0] for r in records])
        ids, p = self.clf.classify(X)
        self.assertEqual(ids.tolist(), [r[1] for r in records])
        self.assertEqual([", ".join("%.2f" % v for v in row) for row in p], [r[2] for r in records])
        return X, lines

    def test_value_forms_separators_and_line_ends(self):
        rng = np.random.default_rng(3)
        text = (line(rng, seps=",; \t", forms=True) + "\r\n" + line(rng, seps=";") + "\n"
                + line(rng, 65, " ") + "\n" + line(rng, 63, "\t") + "\r\n" + line(rng, forms=True)
                + "\n" + line(rng) + "\n" + line(rng))      # the last line has no line feed
        path = self.write("tricky.csv", text)
        X, lines = self.same_as_command(path)
        self.assertEqual(lines.tolist(), [1, 2, 3, 4, 5, 6])
        expected = reference_values(text)[:6 * 64].reshape(6, 64)
        np.testing.assert_array_equal(X.view(np.uint32), expected.view(np.uint32))
        X2, lines2 = self.same_as_command(path, 2, 5)
        self.assertEqual(lines2.tolist(), [2, 3, 4, 5])
        np.testing.assert_array_equal(X2.view(np.uint32), X[1:5].view(np.uint32))

    def test_failures_carry_the_command_message_and_line(self):
        rng = np.random.default_rng(4)
        good = line(rng) + "\n"
        cases = [
            ("trailing_empty.csv", good * 3 + "\n", None, None, 4, "incompatibility"),
            ("letter.csv", good + line(rng).replace(",", ",abc,", 1) + "\n" + good, None, None, 2,
             "Error in reading file"),
            ("before_window.csv", good + good.replace(",", ",,", 1) + good * 2, 3, 4, 2,
             "Error in reading file"),
            ("short.csv", good * 2, 1, 3, None, "not compatible with the number of lines"),
            ("short.csv", good * 2, 0, 1, None, "--begin is not correct"),
            ("short.csv", good * 2, 2, 1, None, "not compatible !"),
            ("empty.csv", "", None, None, None, "file is empty"),
        ]
        for name, text, begin, end, failing, message in cases:
            with self.subTest(name=name, begin=begin, end=end):
                X, error = self.same_as_command(self.write(name, text), begin, end)
                self.assertIsNone(X)
                self.assertEqual(error.line, failing)
                self.assertIn(message, error.message)
        with self.assertRaisesRegex(ombrel.SignalFileError, "could not open file"):
            ombrel.read_signals(os.path.join(self.tmp.name, "missing.csv"))

    def test_windows_threads_and_paths(self):
        rng = np.random.default_rng(5)
        text = "".join(line(rng) + "\n" for _ in range(6)) + line(rng, 65) + "\n" + line(rng) + "\n"
        path = self.write("eight.csv", text)
        for k in (1, 5, 8):
            X, lines = ombrel.read_signals(path, begin=k, end=k)
            self.assertEqual((X.shape, lines.tolist()), ((1, 64), [k]))
        # The threaded pass hands over to the sequential one at line 7: the
        # same values and warning whatever the threads and blocks.
        results = []
        for threads, block in (("1", "65536"), ("3", "5"), ("2", "300")):
            with self.environment(OMBREL_THREADS=threads, OMBREL_TEST_BLOCK_BYTES=block), \
                    warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                X, lines = ombrel.read_signals(path)
            results.append((X.tobytes(), lines.tolist(), [str(w.message) for w in caught]))
        self.assertEqual(results[1:], results[:1] * 2)
        for setting in ("65", "0", "abc"):
            with self.environment(OMBREL_THREADS=setting), self.assertRaisesRegex(ValueError, "OMBREL_THREADS"):
                ombrel.read_signals(path)
        with self.assertRaisesRegex(ValueError, "null"):
            ombrel.read_signals(path + "\0junk")

    def test_a_fifo_is_refused_at_once(self):
        fifo = os.path.join(self.tmp.name, "fifo")
        os.mkfifo(fifo)
        # Should the open wait for a writer, a writer comes after 5 s.
        unblock = threading.Timer(5, lambda: os.close(os.open(fifo, os.O_RDWR)))
        unblock.start()
        start = time.monotonic()
        try:
            with self.assertRaisesRegex(ombrel.SignalFileError, "could not open file"):
                ombrel.read_signals(fifo)
            with self.assertRaisesRegex(ombrel.KnowledgeError, "not a regular file"):
                ombrel.Classifier(fifo)
        finally:
            unblock.cancel()
        self.assertLess(time.monotonic() - start, 3)

    def test_reading_lets_other_threads_run(self):
        path = self.write("large.csv", (",".join(["1.25"] * 64) + "\n") * 60000)
        ticks = 0
        reader = threading.Thread(target=ombrel.read_signals, args=(path,))
        reader.start()
        while reader.is_alive():
            ticks += 1
            time.sleep(0.0005)
        # Held all along, the GIL would let this loop turn once or twice.
        self.assertGreater(ticks, 10)

    @staticmethod
    def environment(**values):
        class Environment:
            def __enter__(self):
                self.saved = {name: os.environ.get(name) for name in values}
                os.environ.update(values)

            def __exit__(self, *exc):
                for name, value in self.saved.items():
                    if value is None:
                        os.environ.pop(name, None)
                    else:
                        os.environ[name] = value
        return Environment()


if __name__ == "__main__":
    unittest.main()
