"""The HTML report's file: self-contained, its data inert inside the page,
the signals it keeps traces for; the command's forms around --html."""
import base64
import json
import re
import subprocess
import sys

import numpy as np
import pytest

import ombrel
from ombrel import report
from conftest import EMG


def page_data(html_text):
    found = re.search(r'<script type="application/json" id="report-data">(.*?)</script>', html_text, re.S)
    return json.loads(found.group(1))


def test_page_is_self_contained_and_its_data_inert(tmp_path):
    classifier = ombrel.Classifier(str(EMG / "knowledge.bin"))
    X, lines = ombrel.read_signals(str(EMG / "signals.csv"))
    X, lines = X[:50], lines[:50]
    names = ["</script><script>alert(1)</script>", "<!--", "a&amp;b", "\u00e9\u2028"]
    path = tmp_path / "r.html"
    report.write_html_report(path, classifier, X, labels=np.full(50, 2), lines=lines, compare=classifier,
                                  class_names=names, signals_path=str(EMG / "signals.csv"), command="<cmd>")
    text = path.read_text(encoding="utf-8")
    # Two scripts (the data, the page's); nothing fetched; the one address
    # is the SVG namespace.
    assert text.count("<script") == 2 and text.count("</script>") == 2
    assert not re.search(r"<(link|img|iframe)|\bsrc=|https?://(?!www\.w3\.org/2000/svg\b)|<!--", text)
    data = page_data(text)
    assert data["class_names"] == names and data["command"] == "<cmd>"
    assert data["signals"]["line_count"] == 3489 and data["signals"]["window"] == [1, 50]
    assert data["runs"][0]["summary"]["confusion_matrix"][1] == \
        np.bincount(classifier.predict(X), minlength=5)[1:].tolist()
    floats = np.frombuffer(base64.b64decode(data["runs"][1]["traces"]["hidden"]), "<f4")
    assert np.array_equal(floats[:classifier.unit_count_], classifier.trace(X[0])["hidden"])


def test_traces_beyond_the_limit_are_the_notable_ones_and_a_sample():
    notable = np.zeros(1000, bool)
    notable[::7] = True                                      # 143 notable signals
    everything, rule = report.traced_signals(100, None, limit=100)
    assert np.array_equal(everything, np.arange(100)) and "all 100" in rule
    traced, rule = report.traced_signals(1000, notable, "wrong", limit=100, most=500, sample=20)
    assert np.isin(np.flatnonzero(notable), traced).all() and traced.size == 143 + 20
    assert np.all(np.diff(traced) > 0) and "143 of the 143 wrong ones" in rule
    capped, rule = report.traced_signals(1000, notable, "wrong", limit=100, most=50, sample=20)
    assert np.isin(capped, np.flatnonzero(notable)).sum() >= 50 and capped.size == 70
    assert "50 of the 143 wrong ones" in rule


def run_evaluate(*words):
    return subprocess.run([sys.executable, "-m", "ombrel.evaluate", *map(str, words)], cwd=EMG,
                          capture_output=True, text=True)


def test_command_forms(tmp_path):
    done = run_evaluate("knowledge.bin", "signals.csv", "--html", tmp_path / "r.html")
    assert done.returncode == 0 and done.stderr == ""
    assert done.stdout.startswith("signals: 3489 (no labels") and "Scissors" in done.stdout
    assert page_data((tmp_path / "r.html").read_text())["labels"] is None
    for words, message in ((("labels.txt", "--compare", "knowledge.bin"), "--compare goes with --html"),
                           (("--json", tmp_path / "e.json"), "give LABELS")):
        done = run_evaluate("knowledge.bin", "signals.csv", *words)
        assert done.returncode == 2 and message in done.stderr
    done = run_evaluate("knowledge.bin", "signals.csv", "labels.txt", "--html", tmp_path / "no" / "r.html")
    assert done.returncode == 1 and done.stderr.startswith("error: cannot write")


def test_evaluation_writes_its_report(tmp_path):
    classifier = ombrel.Classifier(str(EMG / "knowledge.bin"))
    X, _ = ombrel.read_signals(str(EMG / "signals.csv"))
    labels = np.loadtxt(EMG / "labels.txt", dtype=np.int64)
    evaluation = ombrel.evaluate(classifier.predict(X), labels, ["a", "b", "c", "d"])
    evaluation.to_html(tmp_path / "r.html", classifier, X, labels)
    data = page_data((tmp_path / "r.html").read_text())
    assert data["class_names"] == ["a", "b", "c", "d"]
    assert data["runs"][0]["summary"]["accuracy"] == evaluation.accuracy
    with pytest.raises(ValueError, match="another confusion matrix"):
        evaluation.to_html(tmp_path / "r.html", classifier, X, labels[::-1])
