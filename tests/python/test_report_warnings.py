"""Every warning kind at every place it goes: read_signals against a
reference made from the file's text (hypothesis), and evaluate's standard
error, JSON, page data and exit status under --strict, for each kind."""
import json
import os
import re
import subprocess
import sys
import warnings

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st, HealthCheck

import ombrel
from ombrel import knowledge as ok
from ombrel.report_warnings import SignalFileWarning
from support import EMG

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")
ROWS = np.loadtxt(os.path.join(EMG, "signals.csv"), delimiter=",", dtype=np.float32, max_rows=40)[:, :64]


def text_of(rows):
    return "".join(",".join("%.6g" % v for v in row) + "\n" for row in rows)


# ---------------------------------------------------------------------------
# read_signals against a reference of the file's text.

def reference(lines, tail):
    """(kind, first line, count) of a whole file of `lines` (lists of value
    texts, each ended by a line feed) and an unterminated `tail`, when the
    values add up to 64 per line: every line is read and closed."""
    found = []
    off = [k + 1 for k, words in enumerate(lines) if len(words) != 64]
    if off:
        found.append(("value-count", off[0], len(off)))
    values = np.array([float(w) for words in lines for w in words], np.float32).reshape(-1, 64)
    if lines and lines[0] == [str(k) for k in range(64)]:
        found.append(("header-line", 1, 1))
    bad = np.flatnonzero(~np.isfinite(values).all(axis=1)) + 1
    if bad.size:
        found.append(("non-finite-signal", int(bad[0]), bad.size))
    if tail.strip():
        found.append(("no-final-line-feed", len(lines) + 1, 1))
    return found


@st.composite
def signal_files(draw):
    count = draw(st.integers(2, 12))
    words = [["%.4g" % v for v in ROWS[k % len(ROWS)]] for k in range(count)]
    for k in draw(st.lists(st.integers(0, count - 1), max_size=3)):
        words[k][draw(st.integers(0, 63))] = draw(st.sampled_from(["nan", "-inf", "Infinity"]))
    flat = [w for row in words for w in row]
    # Lines of 65 and of 63 values in pairs: the values still fill whole signals.
    sizes = [64] * count
    for _ in range(draw(st.integers(0, 2))):
        a, b = draw(st.integers(0, count - 1)), draw(st.integers(0, count - 1))
        if a != b and sizes[a] == 64 and sizes[b] == 64:
            sizes[min(a, b)], sizes[max(a, b)] = 65, 63
    lines, at = [], 0
    for size in sizes:
        lines.append(flat[at:at + size])
        at += size
    if draw(st.booleans()):
        lines = [[str(k) for k in range(64)]] + lines
    return lines, draw(st.sampled_from(["", " \t", "1,2", "3\r"]))


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(signal_files())
def test_read_signals_warns_each_kind_as_the_text_says(tmp_path, case):
    lines, tail = case
    path = tmp_path / "signals.csv"
    path.write_text("".join(",".join(words) + "\n" for words in lines) + tail)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        X, numbers = ombrel.read_signals(str(path))
    got = [(w.message.kind, w.message.line, w.message.count) for w in caught
           if isinstance(w.message, SignalFileWarning)]
    assert got == reference(lines, tail)
    assert all(str(path) in str(w.message) for w in caught)


def test_the_dask_reader_warns_as_read_signals(tmp_path):
    import dask
    import ombrel.dask as od
    path = tmp_path / "nan.csv"
    path.write_text(text_of(ROWS[:3]).replace("\n", ",7\n", 1) + text_of(ROWS[3:4]) + "1,2")
    X, _ = od.read_signals([str(path)])
    with warnings.catch_warnings(record=True) as caught, dask.config.set(scheduler="threads"):
        warnings.simplefilter("always")
        X.compute()
    kinds = {w.message.kind for w in caught if isinstance(w.message, SignalFileWarning)}
    assert {"value-count", "no-final-line-feed"} <= kinds


# ---------------------------------------------------------------------------
# evaluate: each kind on standard error, in the JSON, in the page, and --strict.

def knowledge_with(tmp_path, name, change):
    k = ok.read(KNOWLEDGE)
    arrays = {n: np.array(getattr(k, n)) for n in ok.ARRAY_NAMES}
    change(arrays)
    path = tmp_path / name
    path.write_bytes(ok.pack(*(arrays[n] for n in ok.ARRAY_NAMES)))
    return str(path)


def nan_weight(a):
    a["hidden_weights"][3, 2] = np.nan


def zero_scales(a):
    a["scales"][:] = 0


def scenario(tmp_path, kind):
    """(knowledge, signals text, label count or None for one per line, the
    entry's expected first line and count, None where not fixed)."""
    good, rows = text_of(ROWS[:30]), ROWS[:30].copy()
    rows[5, 0] = np.nan
    with_nan = text_of(rows)
    return {
        "value-count": (KNOWLEDGE, good.replace("\n", ",7\n", 1), None, 1, 1),
        "no-final-line-feed": (KNOWLEDGE, good + good.split("\n")[0], None, 31, 1),
        "header-line": (KNOWLEDGE, ",".join(map(str, range(64))) + "\n" + good, None, 1, 1),
        "non-finite-signal": (KNOWLEDGE, with_nan, None, 6, 1),
        "non-finite-probability": (KNOWLEDGE, with_nan, None, 6, 1),
        "same-class-always": (knowledge_with(tmp_path, "nan.bin", nan_weight), good, None, None, 256),
        "input-mismatch": (KNOWLEDGE, text_of(ROWS[:30] * 1000), None, None, 30),
    }[kind]


KINDS = ["value-count", "no-final-line-feed", "header-line", "non-finite-signal", "non-finite-probability",
         "same-class-always", "input-mismatch"]


@pytest.mark.parametrize("kind", KINDS)
def test_evaluate_carries_each_kind_everywhere(tmp_path, kind):
    k, text, labels, line, count = scenario(tmp_path, kind)
    signals = tmp_path / "signals.csv"
    signals.write_text(text)
    n = text.count("\n")
    labels_path = tmp_path / "labels.txt"
    labels_path.write_text("1\n" * (labels or n))
    words = [k, str(signals), str(labels_path), "--json", str(tmp_path / "r.json"),
             "--html", str(tmp_path / "r.html")]
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", *words], capture_output=True, text=True)
    strict = subprocess.run([sys.executable, "-m", "ombrel.evaluate", *words, "--strict"],
                            capture_output=True, text=True)
    assert (done.returncode, strict.returncode) == (0, 1), done.stderr
    assert strict.stderr == done.stderr + "error: --strict: the report carries %d warning%s\n" % (
        len(done.stderr.splitlines()), "" if len(done.stderr.splitlines()) == 1 else "s")
    entries = [w for w in json.loads((tmp_path / "r.json").read_text())["warnings"] if w["kind"] == kind]
    assert len(entries) == 1, done.stderr
    if line is not None:
        assert entries[0]["line"] == line
    if count is not None:
        assert entries[0]["count"] == count
    assert "warning: " + entries[0]["message"] in done.stderr.splitlines()
    page = (tmp_path / "r.html").read_text()
    data = json.loads(re.search(r'id="report-data">(.*?)</script>', page, re.S).group(1))
    assert entries[0] in data["warnings"]


def test_zero_scales_and_nan_probabilities_are_named(tmp_path):
    k = knowledge_with(tmp_path, "zero.bin", zero_scales)
    rows = ROWS[:25].copy()
    rows[0, 1] = np.nan
    signals = tmp_path / "s.csv"
    signals.write_text(text_of(rows))
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", k, str(signals)], capture_output=True,
                          text=True)
    assert done.returncode == 0
    assert "its 64 scales are all 0" in done.stderr
    assert re.search(r"1 signal gets NaN or infinite probabilities under .*zero.bin, the first on line 1;",
                     done.stderr), done.stderr


def test_the_python_routes_carry_them_to_the_page_and_the_plot(tmp_path):
    import matplotlib
    from ombrel.report import write_html_report
    from ombrel.report.plot import plot_evaluation
    rows = ROWS[:30].copy()
    rows[2, 5] = np.inf
    classifier = ombrel.Classifier(KNOWLEDGE)
    write_html_report(tmp_path / "p.html", classifier, rows)
    data = json.loads(re.search(r'id="report-data">(.*?)</script>', (tmp_path / "p.html").read_text(),
                                re.S).group(1))
    assert ("non-finite-signal", 3) in {(w["kind"], w["line"]) for w in data["warnings"]}
    ids, p = classifier.classify(rows)
    matplotlib.rcParams["svg.fonttype"] = "none"        # text stays text in the SVG
    plot_evaluation(ombrel.evaluate(ids, ids), ids, p, ids, tmp_path / "p.svg",
                    warnings="1 warning: NaN or infinity in signals")
    assert "1 warning: NaN or infinity in signals" in (tmp_path / "p.svg").read_text()


def test_the_knowledge_commands_carry_the_same_class_warning(tmp_path):
    k = knowledge_with(tmp_path, "nan.bin", nan_weight)
    inspect = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "inspect", k], capture_output=True, text=True)
    read = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "read", k, "--json", str(tmp_path / "k.json")],
                          capture_output=True, text=True)
    assert inspect.returncode == read.returncode == 0
    entries = json.loads((tmp_path / "k.json").read_text())["warnings"]
    assert [(w["kind"], w["count"]) for w in entries] == [("same-class-always", 256)]
    assert "1 of its floats is NaN" in entries[0]["message"]
    assert inspect.stderr == read.stderr == "warning: %s\n" % entries[0]["message"]


def test_a_data_frames_default_csv_is_refused_with_the_fix(tmp_path):
    # DataFrame.to_csv(path): the column names after an empty index name, then each row's index.
    signals = tmp_path / "frame.csv"
    signals.write_text("," + ",".join(map(str, range(64))) + "\n"
                       + "".join("%d,%s" % (i, row) for i, row in enumerate(text_of(ROWS[:5]).splitlines(True))))
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", KNOWLEDGE, str(signals)], capture_output=True,
                          text=True)
    assert done.returncode == 1 and len(done.stderr.splitlines()) == 1
    assert re.search(r"frame.csv, line 1: .*to_csv\(path, index=False, header=False\)$", done.stderr.strip())


def test_inspect_names_a_stale_card_and_never_waits_on_a_fifo_card(tmp_path):
    k = tmp_path / "k.bin"
    k.write_bytes(open(KNOWLEDGE, "rb").read())
    os.mkfifo(tmp_path / "k.card.json")
    done = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "inspect", str(k)], capture_output=True,
                          text=True, timeout=30)
    assert done.returncode == 0 and "k.card.json" in done.stderr and "FIFO" in done.stderr
