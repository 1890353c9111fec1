"""The forms PyTorch users give the library's network, exported with
torch.onnx.export itself (opset 13, dynamic batch axis) after a short
training on the digits 0-3 of sklearn's load_digits (64 features): each
accepted form imports, and the compiled engine gives the module's classes
and probabilities on every digit; each refused form names the fix."""

import numpy as np
import pytest
from sklearn.datasets import load_digits

import ombrel
from ombrel import knowledge

torch = pytest.importorskip("torch")
nn = torch.nn

DIGITS = load_digits(n_class=4)
X = DIGITS.data.astype(np.float32)
MEAN = X.mean(axis=0)
STD = np.maximum(X.std(axis=0), 1).astype(np.float32)  # constant pixels: std 1


class Standardise(nn.Module):
    """(x - mean) / std, or (x - mean) * (1 / std), with the statistics as buffers."""

    def __init__(self, reciprocal=False):
        super().__init__()
        self.reciprocal = reciprocal
        self.register_buffer("mean", torch.from_numpy(MEAN))
        self.register_buffer("std", torch.from_numpy(STD))

    def forward(self, x):
        return (x - self.mean) * (1 / self.std) if self.reciprocal else (x - self.mean) / self.std


class Flat(nn.Module):
    def __init__(self, view):
        super().__init__()
        self.view = view

    def forward(self, x):
        return x.view(x.size(0), -1) if self.view else torch.flatten(x, 1)


def head(units=16, classes=4, act=nn.Tanh):
    return [nn.Linear(64, units), act(), nn.Linear(units, classes)]


def module(name):
    """(torch module, options of from_onnx)."""
    if name == "standardisation_given_at_import":
        return nn.Sequential(*head()), dict(means=MEAN, stds=STD)
    layers = {
        "sub_div": [Standardise(), *head()],
        "times_reciprocal": [Standardise(reciprocal=True), *head()],
        "batchnorm_input": [nn.BatchNorm1d(64), *head()],
        "batchnorm_hidden": [Standardise(), nn.Linear(64, 16), nn.BatchNorm1d(16), nn.Tanh(), nn.Linear(16, 4)],
        "view": [Flat(view=True), Standardise(), *head()],
        "flatten": [Flat(view=False), Standardise(), *head()],
        "dropout": [Standardise(), nn.Dropout(0.2), nn.Linear(64, 16), nn.Tanh(), nn.Dropout(0.2),
                    nn.Linear(16, 4)],
        "softmax": [Standardise(), *head(), nn.Softmax(dim=1)],
        "log_softmax": [Standardise(), *head(), nn.LogSoftmax(dim=1)],
        "relu": [Standardise(), *head(act=nn.ReLU)],
        "32_units": [Standardise(), *head(units=32)],
        "two_hidden_layers": [Standardise(), *head(classes=16), nn.Tanh(), nn.Linear(16, 4)],
        "5_classes": [Standardise(), *head(classes=5)],
    }[name]
    return nn.Sequential(*layers), {}


def trained(name):
    """The module after 80 full-batch Adam steps, in eval mode; its
    options; its float64 class probabilities on the digits."""
    torch.manual_seed(7)
    model, options = module(name)
    x = torch.from_numpy((X - MEAN) / STD if options else X)
    y = torch.from_numpy(DIGITS.target)
    step = torch.optim.Adam(model.parameters(), lr=0.02)
    for _ in range(80):
        step.zero_grad()
        out = model(x)
        loss = nn.functional.nll_loss(out.log(), y) if name == "softmax" else \
            nn.functional.nll_loss(out, y) if name == "log_softmax" else nn.functional.cross_entropy(out, y)
        loss.backward()
        step.step()
    model.eval()
    with torch.no_grad():
        out = model.double()(x.double()).numpy()
    model.float()
    probabilities = out if name == "softmax" else np.exp(out) if name == "log_softmax" else \
        np.exp(out - out.max(axis=1, keepdims=True))
    return model, options, probabilities / probabilities.sum(axis=1, keepdims=True)


def export(model, path):
    torch.onnx.export(model, torch.zeros(2, 64), str(path), opset_version=13, input_names=["input"],
                      output_names=["output"], dynamic_axes={"input": {0: "batch"}, "output": {0: "batch"}})


ACCEPTED = ["standardisation_given_at_import", "sub_div", "times_reciprocal", "batchnorm_input",
            "batchnorm_hidden", "view", "flatten", "dropout", "softmax", "log_softmax"]


@pytest.mark.parametrize("name", ACCEPTED)
def test_exported_form_gives_the_module_classes(name, tmp_path):
    torch.set_num_threads(1)
    model, options, expected = trained(name)
    export(model, tmp_path / "m.onnx")
    notes = []
    clf = ombrel.Classifier(ombrel.import_onnx(tmp_path / "m.onnx", notes=notes, **options))  # checked
    np.testing.assert_allclose(clf.predict_proba(X), expected, atol=1e-5)
    top = np.sort(expected, axis=1)
    clear = top[:, -1] - top[:, -2] > 1e-4
    assert clear.mean() > 0.95
    np.testing.assert_array_equal(clf.predict(X)[clear], np.argmax(expected, axis=1)[clear] + 1)
    assert (np.argmax(expected, axis=1) == DIGITS.target).mean() > 0.9   # the module learnt the digits


@pytest.mark.parametrize("name, fix", [
    ("relu", "the library's hidden units are tanh only; train the hidden layer with tanh"),
    ("32_units", "hidden layer has 32 units; the library holds at most 23"),
    ("two_hidden_layers", "the model has two hidden layers; the library has one"),
    ("5_classes", "give the output layer at most 4 units"),
])
def test_exported_form_refused_with_the_fix(name, fix, tmp_path):
    model, _ = module(name)
    model.eval()
    export(model, tmp_path / "m.onnx")
    with pytest.raises(knowledge.KnowledgeError) as refusal:
        knowledge.from_onnx(tmp_path / "m.onnx")
    assert fix in str(refusal.value), refusal.value
