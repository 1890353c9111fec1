"""One call on several threads: the bits of one thread whatever the split,
the threads setting checked as the command checks it, and Ctrl-C that stops
a long call from inside it with no thread left running."""
import os
import pickle
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import ombrel
from support import EMG, random_signals

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")
BLOCK = 8192  # rows a thread takes at a time (python/src/parallel_rows.h)


def bits(a):
    return np.ascontiguousarray(a).view(np.uint32)


@pytest.fixture(scope="module")
def one_thread():
    return ombrel.Classifier(KNOWLEDGE, threads=1)


@pytest.fixture(scope="module")
def rows():
    return random_signals(np.random.default_rng(31), 3 * BLOCK + 100)


@settings(max_examples=25, deadline=None)
@given(threads=st.integers(1, 9), start=st.integers(0, 2 * BLOCK), length=st.integers(0, 3 * BLOCK))
def test_any_split_gives_the_bits_of_one_thread(one_thread, rows, threads, start, length):
    X = rows[start:start + length]
    expected = one_thread.classify(X)
    got = ombrel.Classifier(KNOWLEDGE, threads=threads).classify(X)
    np.testing.assert_array_equal(bits(got.probabilities), bits(expected.probabilities))
    np.testing.assert_array_equal(got.class_ids, expected.class_ids)


@pytest.fixture(scope="module")
def wide_rows(rows):
    """float64 rows that round to float32 in every way: off a float by a
    fraction of its spacing, exactly on a midpoint (ties to even), beyond
    the largest float, below the smallest subnormal."""
    rng = np.random.default_rng(5)
    x = rows.astype(np.float64)
    with np.errstate(invalid="ignore"):
        x += rng.choice([-0.5, 0.5, -0.3, 0.7, 0.0], x.shape) * np.spacing(rows).astype(np.float64)
    mask = rng.random(x.shape) < 0.01
    x[mask] = rng.choice([1e39, -1e39, 1e-50, -1e-50, 3.4028235677973366e38], mask.sum())
    return x


@settings(max_examples=10, deadline=None)
@given(threads=st.integers(1, 4), start=st.integers(0, BLOCK), length=st.integers(0, 2 * BLOCK + 300))
def test_float64_rows_round_as_astype_on_any_thread_count(one_thread, wide_rows, threads, start, length):
    X = wide_rows[start:start + length]
    with np.errstate(over="ignore"):
        expected = one_thread.classify(X.astype(np.float32))
    got = ombrel.Classifier(KNOWLEDGE, threads=threads).classify(X)
    np.testing.assert_array_equal(bits(got.probabilities), bits(expected.probabilities))
    np.testing.assert_array_equal(got.class_ids, expected.class_ids)


def test_threads_setting_is_checked_and_kept(monkeypatch, rows):
    for bad, error in ((0, ValueError), (65, ValueError), ("2", TypeError), (2.0, TypeError)):
        with pytest.raises(error, match="threads must be a whole number from 1 to 64"):
            ombrel.Classifier(KNOWLEDGE, threads=bad)
    clf = ombrel.Classifier(KNOWLEDGE)
    monkeypatch.setenv("OMBREL_THREADS", "0")
    with pytest.raises(ValueError, match='OMBREL_THREADS must be a whole number from 1 to 64, not "0"'):
        clf.predict(rows[:10])
    with pytest.raises(ValueError, match="OMBREL_THREADS"):
        ombrel.read_signals(os.path.join(EMG, "signals.csv"))
    # An explicit count does not read the environment.
    assert ombrel.Classifier(KNOWLEDGE, threads=3).predict(rows[:10]).shape == (10,)
    monkeypatch.setenv("OMBREL_THREADS", "2")
    assert pickle.loads(pickle.dumps(ombrel.Classifier(KNOWLEDGE, threads=5))).threads == 5
    assert clf.threads is None


def test_read_signals_on_any_thread_count_reads_the_same():
    path = os.path.join(EMG, "signals.csv")
    X, lines = ombrel.read_signals(path, threads=1)
    for threads in (2, 7):
        Y, other = ombrel.read_signals(path, threads=threads)
        np.testing.assert_array_equal(bits(Y), bits(X))
        np.testing.assert_array_equal(other, lines)


# The child loops over the call; a timer thread sends SIGINT. A profile
# hook marks when the engine's function (classify or read_signals) is
# running; the signal's handler notes the mark when it runs. It runs with
# the mark set only when the engine asked for it mid-call: a signal that
# only the interpreter saw is handled once the function has returned, as
# the hook (its frame then the handler's) begins to note the return.
# The child then counts its threads (Linux: /proc/self/task).
CHILD = textwrap.dedent("""
    import os, signal, sys, threading, time
    import numpy as np
    import ombrel
    knowledge, signals, threads, end = sys.argv[1:]
    if signals == "-":
        clf = ombrel.Classifier(knowledge, threads=2)
        X = np.random.default_rng(1).normal(0, 3, (1_000_000, 64)).astype(np.float32)
        call, name = (lambda: clf.predict_proba(X)), "classify"
    else:
        end = int(end) if end != "-" else None
        call, name = (lambda: ombrel.read_signals(signals, end=end, threads=int(threads))), "read_signals"
    running = [False]
    def hook(frame, event, function):
        if event.startswith("c_") and getattr(function, "__name__", None) == name:
            running[0] = event == "c_call"
    def handler(number, frame):
        raise KeyboardInterrupt(running[0] and frame.f_code is not hook.__code__)
    signal.signal(signal.SIGINT, handler)
    before = len(os.listdir("/proc/self/task"))
    threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
    sys.setprofile(hook)
    try:
        while True:
            call()
    except KeyboardInterrupt as interrupt:
        sys.setprofile(None)
        time.sleep(0.1)
        print(interrupt.args[0], len(os.listdir("/proc/self/task")) - before)
""")


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="counts threads in /proc")
@pytest.mark.parametrize("what, threads, end", [("classify", 2, "-"), ("read", 2, "-"), ("read", 1, "299000")])
def test_ctrl_c_stops_the_call_from_inside_and_leaves_no_thread(what, threads, end, tmp_path):
    signals = "-"
    if what == "read":
        signals = str(tmp_path / "signals.txt")
        line = " ".join(["1.5"] * 64) + "\n"
        with open(signals, "w") as f:
            f.write(line * 300_000)
    for attempt in range(5):
        done = subprocess.run([sys.executable, "-c", CHILD, KNOWLEDGE, signals, str(threads), end],
                              capture_output=True, text=True, timeout=30)
        assert done.returncode == 0, done.stderr
        inside, threads_left = done.stdout.split()
        assert threads_left == "0"
        if inside == "True":
            return
    pytest.fail("the interrupt never came out of the call")


def test_dask_tasks_take_one_thread_unless_told(monkeypatch, rows):
    import dask.array as da
    import ombrel.dask

    seen = []
    classify = ombrel.Classifier._classify
    monkeypatch.setattr(ombrel.Classifier, "_classify",
                        lambda self, X, threads: seen.append(threads) or classify(self, X, threads))
    X = da.from_array(rows[:1000], chunks=(250, 64))
    ombrel.dask.predict(X, KNOWLEDGE).compute(scheduler="synchronous")
    ombrel.dask.predict_proba(X, ombrel.Classifier(KNOWLEDGE, threads=3), threads=None).compute(
        scheduler="synchronous")
    assert seen == [1] * 4 + [3] * 4
