import json
import re
import subprocess
import sys

import numpy as np
import pytest

import ombrel
from conftest import EMG


def test_hand_checked_case():
    # true:  1 1 1 2 2 3 ; given: 1 1 2 2 3 3 ; class 4 neither given nor true
    e = ombrel.evaluate(np.array([1, 1, 2, 2, 3, 3]), [1, 1, 1, 2, 2, 3])
    assert e.confusion_matrix.tolist() == [[2, 1, 0, 0], [0, 1, 1, 0], [0, 0, 1, 0], [0, 0, 0, 0]]
    assert e.accuracy == pytest.approx(4 / 6)
    np.testing.assert_allclose(e.precision, [1, 1 / 2, 1 / 2, 0])
    np.testing.assert_allclose(e.recall, [2 / 3, 1 / 2, 1, 0])
    np.testing.assert_allclose(e.f1, [0.8, 0.5, 2 / 3, 0])
    assert e.support.tolist() == [3, 2, 1, 0]
    with pytest.raises(ValueError, match="not a class id"):
        ombrel.evaluate([1, 5], [1, 1])
    with pytest.raises(ValueError, match="one label per signal"):
        ombrel.evaluate([1, 2], [1])


def evaluate(labels, *options):
    """The evaluate command on the example with these labels (a path)."""
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", "knowledge.bin", "signals.csv", str(labels),
                           *map(str, options)], cwd=EMG, capture_output=True, text=True)
    assert "Traceback" not in done.stderr
    return done


def test_command_on_the_example_reports_the_published_accuracy(tmp_path):
    out_json, out_png = tmp_path / "e.json", tmp_path / "e.png"
    done = evaluate("labels.txt", "--json", out_json, "--plot", out_png)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""
    assert "accuracy: 86.21% (3008 of 3489)" in done.stdout
    figures = json.loads(out_json.read_text())
    assert figures["signals"] == 3489
    assert sum(map(sum, figures["confusion_matrix"])) == 3489
    assert list(figures["per_class"]) == figures["class_names"]
    assert out_png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def label_ids():
    return [int(w) for w in (EMG / "labels.txt").read_text().split()]


def test_label_forms_and_class_names(tmp_path, label_ids):
    # 0-based ids as numpy.savetxt writes them, and names for the table and the JSON.
    labels, out = tmp_path / "labels.txt", tmp_path / "e.json"
    labels.write_text("".join("%.18e\n" % (i - 1) for i in label_ids))
    done = evaluate(labels, "--first-label", "0", "--class-names", "a,b,c,dee", "--json", out)
    assert done.returncode == 0, done.stderr
    assert "accuracy: 86.21% (3008 of 3489)" in done.stdout
    assert "columns: classified as" in done.stdout
    assert re.search(r"\ndee +0\.8229", done.stdout)
    assert json.loads(out.read_text())["class_names"] == ["a", "b", "c", "dee"]


def test_an_output_that_cannot_be_written_is_one_line_after_the_table(tmp_path, label_ids):
    labels, out = tmp_path / "labels.txt", tmp_path / "no" / "e.json"
    labels.write_text("".join("%d.0\n" % i for i in label_ids))
    done = evaluate(labels, "--json", out)
    assert (done.returncode, done.stderr) == (1, "error: cannot write %s: No such file or directory\n" % out)
    assert "accuracy: 86.21%" in done.stdout


@pytest.mark.parametrize("text, options, status, message", [
    ("1\n0\n", (), 1, "line 2: '0' is not a class id 1 to 4 (0-based ids: give --first-label 0)"),
    ("1\n2.5\n", (), 1, "line 2: '2.5' is not a class id 1 to 4"),
    ("0\n4\n", ("--first-label", "0"), 1, "line 2: '4' is not a class id 0 to 3"),
    ("1\nnan\n", (), 1, "line 2: 'nan' is not a class id"),
    ("1\n3.0\n4\n", (), 1, "has 3 labels for the 3489 signals of signals.csv"),
    ("1\n", ("--class-names", "a,b,c"), 2, "give 4 non-empty class names"),
])
def test_refusals(tmp_path, text, options, status, message):
    labels = tmp_path / "labels.txt"
    labels.write_text(text)
    done = evaluate(labels, *options)
    assert done.returncode == status, text
    assert message in done.stderr


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="watches the command's open files in /proc")
# As `python3 -m` runs it, and as an installed command's script does.
@pytest.mark.parametrize("command", [["-m", "ombrel.evaluate"],
                                     ["-c", "from ombrel.evaluate.__main__ import run; run()"]])
def test_ctrl_c_ends_the_command_as_interrupted_leaving_no_traceback_and_no_file(tmp_path, command):
    import os
    import signal
    import time
    signals = tmp_path / "signals.txt"
    signals.write_text((" ".join(["1.5"] * 64) + "\n") * 200_000)
    child = subprocess.Popen([sys.executable, *command, str(EMG / "knowledge.bin"), str(signals),
                              "--html", "report.html"], cwd=tmp_path, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)

    def reading():
        for fd in os.listdir("/proc/%d/fd" % child.pid):
            try:
                if os.readlink("/proc/%d/fd/%s" % (child.pid, fd)) == str(signals):
                    return True
            except OSError:
                pass
        return False
    # Ctrl-C once the command has its main under way: it reads the signals.
    deadline = time.monotonic() + 30
    while child.poll() is None and time.monotonic() < deadline and not reading():
        time.sleep(0.002)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=30)
    assert child.returncode == -signal.SIGINT, err
    assert out == "" and "Traceback" not in err
    assert sorted(os.listdir(tmp_path)) == ["signals.txt"]
