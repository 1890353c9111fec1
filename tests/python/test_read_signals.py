"""read_signals against the command: the same lines, the same classes and
printed probabilities, the same failures; the values against a float64 parse."""
import os
import re
import threading
import warnings

import numpy as np
import pytest

import ombrel
from ombrel.report_warnings import SignalFileWarning
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


@pytest.fixture(scope="module")
def clf():
    return ombrel.Classifier(KNOWLEDGE)


@pytest.fixture
def write(tmp_path):
    def write_file(name, text):
        path = tmp_path / name
        path.write_bytes(text.encode("ascii"))
        return str(path)
    return write_file


@pytest.fixture
def same_as_command(clf):
    """same_as_command(path, begin, end): read_signals gives the command's
    lines, classes, printed probabilities and warning, or its failure; returns
    (X, lines), or (None, the SignalFileError)."""
    def compare(path, begin=None, end=None):
        status, out, records, err = emulator_file(KNOWLEDGE, path, begin, end)
        # The command's misalignment warning, as a Python warning naming the file.
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                X, lines = ombrel.read_signals(path, begin, end)
            except ombrel.SignalFileError as error:
                X, lines = None, error
        assert "".join("ombrel_emulator: warning: %s\n" % str(w.message).split(": ", 1)[1] for w in caught
                       if issubclass(w.category, SignalFileWarning)) == (err or "")
        if X is None:
            error = lines
            assert status == 1
            assert error.message in out
            if error.line is not None:        # the command printed the lines before it
                assert all(r[0] < error.line for r in records)
            return None, error
        assert status == 0, out
        assert lines.tolist() == [r[0] for r in records]
        ids, p = clf.classify(X)
        assert ids.tolist() == [r[1] for r in records]
        assert [", ".join("%.2f" % v for v in row) for row in p] == [r[2] for r in records]
        return X, lines
    return compare


def test_value_forms_separators_and_line_ends(write, same_as_command):
    rng = np.random.default_rng(3)
    text = (line(rng, seps=",; \t", forms=True) + "\r\n" + line(rng, seps=";") + "\n"
            + line(rng, 65, " ") + "\n" + line(rng, 63, "\t") + "\r\n" + line(rng, forms=True)
            + "\n" + line(rng) + "\n" + line(rng))      # the last line has no line feed
    path = write("tricky.csv", text)
    X, lines = same_as_command(path)
    assert lines.tolist() == [1, 2, 3, 4, 5, 6]
    expected = reference_values(text)[:6 * 64].reshape(6, 64)
    np.testing.assert_array_equal(X.view(np.uint32), expected.view(np.uint32))
    X2, lines2 = same_as_command(path, 2, 5)
    assert lines2.tolist() == [2, 3, 4, 5]
    np.testing.assert_array_equal(X2.view(np.uint32), X[1:5].view(np.uint32))


GOOD = line(np.random.default_rng(4)) + "\n"
OTHER = line(np.random.default_rng(6))


@pytest.mark.parametrize("name, text, begin, end, failing, message", [
    ("trailing_empty.csv", GOOD * 3 + "\n", None, None, 4, "incompatibility"),
    ("letter.csv", GOOD + OTHER.replace(",", ",abc,", 1) + "\n" + GOOD, None, None, 2, "Error in reading file"),
    ("before_window.csv", GOOD + GOOD.replace(",", ",,", 1) + GOOD * 2, 3, 4, 2, "Error in reading file"),
    ("short.csv", GOOD * 2, 1, 3, None, "not compatible with the number of lines"),
    ("short.csv", GOOD * 2, 0, 1, None, "--begin is not correct"),
    ("short.csv", GOOD * 2, 2, 1, None, "not compatible !"),
    ("empty.csv", "", None, None, None, "file is empty"),
], ids=["trailing_empty", "letter", "before_window", "end_past_the_lines", "begin_zero", "end_before_begin",
        "empty"])
def test_failures_carry_the_command_message_and_line(write, same_as_command, name, text, begin, end, failing,
                                                      message):
    X, error = same_as_command(write(name, text), begin, end)
    assert X is None
    assert error.line == failing
    assert message in error.message


def test_a_missing_file_could_not_be_opened(tmp_path):
    with pytest.raises(ombrel.SignalFileError, match="could not open file"):
        ombrel.read_signals(str(tmp_path / "missing.csv"))


def test_windows_threads_and_paths(write, monkeypatch):
    rng = np.random.default_rng(5)
    text = "".join(line(rng) + "\n" for _ in range(6)) + line(rng, 65) + "\n" + line(rng) + "\n"
    path = write("eight.csv", text)
    for k in (1, 5, 8):
        X, lines = ombrel.read_signals(path, begin=k, end=k)
        assert (X.shape, lines.tolist()) == ((1, 64), [k])
    # The threaded pass hands over to the sequential one at line 7: the
    # same values and warning whatever the threads and blocks.
    results = []
    for threads, block in (("1", "65536"), ("3", "5"), ("2", "300")):
        monkeypatch.setenv("OMBREL_THREADS", threads)
        monkeypatch.setenv("OMBREL_TEST_BLOCK_BYTES", block)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            X, lines = ombrel.read_signals(path)
        results.append((X.tobytes(), lines.tolist(), [str(w.message) for w in caught]))
    assert results[1:] == results[:1] * 2
    for setting in ("65", "0", "abc"):
        monkeypatch.setenv("OMBREL_THREADS", setting)
        with pytest.raises(ValueError, match="OMBREL_THREADS"):
            ombrel.read_signals(path)
    monkeypatch.delenv("OMBREL_THREADS")
    with pytest.raises(ValueError, match="null"):
        ombrel.read_signals(path + "\0junk")


def test_a_fifo_is_refused_at_once(tmp_path):
    fifo = str(tmp_path / "fifo")
    os.mkfifo(fifo)
    # Should an open wait for a writer, one comes after 30 s: the refusals
    # must come before it, however loaded the machine.
    came = threading.Event()

    def writer():
        came.set()
        os.close(os.open(fifo, os.O_RDWR))

    unblock = threading.Timer(30, writer)
    unblock.start()
    try:
        with pytest.raises(ombrel.SignalFileError, match="could not open file"):
            ombrel.read_signals(fifo)
        with pytest.raises(ombrel.KnowledgeError, match="not a regular file"):
            ombrel.Classifier(fifo)
    finally:
        unblock.cancel()
    assert not came.is_set()


@pytest.mark.skipif(not os.path.isdir("/proc/self/fd"), reason="needs /proc/self/fd")
def test_reading_lets_other_threads_run(write):
    """While one thread is inside read_signals, with its file open, this one
    runs Python and sees the file among the process's open ones. A read that
    held the GIL would never let it look then; a loaded machine only delays
    the look, so the read is repeated until it comes."""
    path = write("large.csv", (",".join(["1.25"] * 64) + "\n") * 60000)
    target = os.path.realpath(path)

    def file_open():
        for fd in os.listdir("/proc/self/fd"):
            try:
                if os.readlink("/proc/self/fd/" + fd) == target:
                    return True
            except OSError:          # closed since listed
                pass
        return False

    for _ in range(100):
        reader = threading.Thread(target=ombrel.read_signals, args=(path,))
        reader.start()
        seen = False
        while reader.is_alive() and not seen:
            seen = file_open()
        reader.join()
        if seen:
            return
    pytest.fail("no other thread ran while read_signals read, in 100 reads")
