"""The new user's trial: scikit-learn's digits 6 to 9, models from
scikit-learn pipelines and from torch.onnx.export, labels as the user has
them (6 to 9, or words). Each route imports with its check, and evaluate and
its page, given the user's label file, report the source model's own
accuracy under the user's names; what cannot be right is refused with its fix."""

import json
import re
import subprocess
import sys
import warnings

import numpy as np
import pytest
from sklearn.datasets import load_digits
from sklearn.exceptions import ConvergenceWarning
from sklearn.neural_network import MLPClassifier
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import StandardScaler

import ombrel
from ombrel import knowledge

WORDS = np.array(["six", "seven", "eight", "nine"])


@pytest.fixture(scope="module")
def digits(tmp_path_factory):
    x, y = load_digits(return_X_y=True)
    keep = y >= 6
    x, y = x[keep], y[keep]
    where = tmp_path_factory.mktemp("digits")
    np.savetxt(where / "held.csv", x[1::2], fmt="%d", delimiter=",")
    return x[::2], y[::2], x[1::2], y[1::2], where


def fitted(x, y, *steps):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ConvergenceWarning)
        return make_pipeline(*steps, MLPClassifier((12,), activation="tanh", max_iter=300,
                                                   random_state=0)).fit(x, y)


def evaluate(where, *words):
    done = subprocess.run([sys.executable, "-m", "ombrel.evaluate", *map(str, words)], cwd=where,
                          capture_output=True, text=True)
    assert "Traceback" not in done.stderr
    return done


def report(where, knowledge_path, labels, *options):
    """(evaluate's JSON, the page's data, standard error) on the held-out digits."""
    done = evaluate(where, knowledge_path, "held.csv", labels, "--json", "e.json", "--html", "e.html", *options)
    assert done.returncode == 0, done.stderr
    page = re.search(r'id="report-data">(.*?)</script>', (where / "e.html").read_text(), re.S)
    return json.loads((where / "e.json").read_text()), json.loads(page.group(1)), done.stderr


@pytest.mark.parametrize("labels", ["digits", "words"])
@pytest.mark.parametrize("scaler", [True, False])
def test_scikit_learn_route_reports_the_pipelines_accuracy(digits, labels, scaler):
    x, y, held_x, held_y, where = digits
    words = labels == "words"
    y, held_y = (WORDS[y - 6], WORDS[held_y - 6]) if words else (y, held_y)
    pipe = fitted(x, y, *[StandardScaler()] * scaler)
    floats = ombrel.import_sklearn(pipe, check=x)
    assert floats.card.check["largest_difference"] <= 1e-5
    knowledge.write(where / "k.bin", floats)
    np.savetxt(where / "labels.txt", held_y, fmt="%s")
    figures, page, stderr = report(where, "k.bin", "labels.txt")
    assert figures["accuracy"] == pytest.approx(pipe.score(held_x, held_y), abs=1.5 / len(held_y))
    assert figures["class_names"] == page["class_names"] == [str(c) for c in pipe.classes_]
    assert figures["class_names"] == (sorted(WORDS) if words else ["6", "7", "8", "9"])
    assert stderr == ""          # a pipeline without a scaler takes raw digits: no warning
    if words:   # the user's order is not scikit-learn's sorted one: refused, not mislabelled
        done = evaluate(where, "k.bin", "held.csv", "labels.txt", "--class-names", *WORDS)
        assert done.returncode == 1 and "in another order than their ids (1 = 'eight'" in done.stderr
    else:
        again, _, _ = report(where, "k.bin", "labels.txt", "--class-names", *WORDS)
        assert again["class_names"] == list(WORDS) and again["accuracy"] == figures["accuracy"]


def test_stale_card_is_named_and_its_labels_refused_with_the_fix(digits):
    x, y, _, held_y, where = digits
    knowledge.write(where / "k.bin", ombrel.import_sklearn(fitted(x, y, StandardScaler())))
    np.savetxt(where / "labels.txt", held_y, fmt="%d")
    other = knowledge.read(where / "k.bin")._replace(output_biases=np.ones(4, np.float32))
    (where / "k.bin").write_bytes(knowledge.pack(*other[:6]))
    done = evaluate(where, "k.bin", "held.csv", "labels.txt")
    assert done.returncode == 1
    assert "warning: k.card.json is a stale card: it describes another knowledge than k.bin" in done.stderr
    assert "line 1: '%d' is not a class id 1 to 4; labels in the model's own values" % held_y[0] in done.stderr
    assert "import the model again" in done.stderr


def test_torch_route_reports_the_modules_accuracy(digits):
    torch = pytest.importorskip("torch")
    x, y, held_x, held_y, where = digits
    torch.manual_seed(0)
    torch.set_num_threads(1)
    mean, std = x.mean(axis=0), np.maximum(x.std(axis=0), 1)
    net = torch.nn.Sequential(torch.nn.Linear(64, 12), torch.nn.Tanh(), torch.nn.Linear(12, 4))
    step = torch.optim.Adam(net.parameters(), lr=0.02)
    inputs, targets = torch.tensor((x - mean) / std, dtype=torch.float32), torch.tensor(y - 6)
    for _ in range(150):
        step.zero_grad()
        torch.nn.functional.cross_entropy(net(inputs), targets).backward()
        step.step()
    with torch.no_grad():
        expected = net.double()(torch.tensor((held_x - mean) / std)).numpy().argmax(axis=1) + 6
    torch.onnx.export(net.float().eval(), torch.zeros(1, 64), str(where / "m.onnx"), input_names=["x"],
                      dynamic_axes={"x": {0: "batch"}})
    np.save(where / "mean.npy", mean)
    np.save(where / "std.npy", std)
    done = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "import", "m.onnx", "t.bin", "--labels",
                           "6,7,8,9", "--means", "mean.npy", "--stds", "std.npy", "--check", "held.csv"],
                          cwd=where, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    np.savetxt(where / "labels.txt", held_y, fmt="%d")
    figures, page, stderr = report(where, "t.bin", "labels.txt")
    assert figures["accuracy"] == pytest.approx((expected == held_y).mean(), abs=1.5 / len(held_y))
    assert page["class_names"] == ["6", "7", "8", "9"] and stderr == ""
