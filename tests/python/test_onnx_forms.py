"""The ways PyTorch users commonly build the library's network, as ONNX
graphs in the node patterns torch.onnx.export writes (node and initializer
names, Constant nodes, Gemm with transB=1, opset 17; built with onnx.helper,
PyTorch not being installed here). Each form imports through the command
with --check and agrees with an independent float64 evaluation of the
module, or is refused with a message that states the fix."""

import contextlib
import io
import json

import numpy as np
import pytest
from onnx import TensorProto, helper, numpy_helper

import ombrel
from ombrel import knowledge
from ombrel.commands.knowledge_command import main as knowledge_command
import onnx_models as om

EPS = 1e-5


class Graph:
    """Nodes in torch.onnx.export's naming: /module/Op, module.weight."""

    def __init__(self, net):
        self.net, self.nodes, self.inits = net, [], []

    def init(self, name, value):
        self.inits.append(numpy_helper.from_array(np.asarray(value, np.float32), name))
        return name

    def const(self, name, value, dtype=np.float32):
        return self.node("Constant", [], name, value=numpy_helper.from_array(np.asarray(value, dtype)))

    def node(self, op, inputs, name, **attributes):
        out = name + "_output_0"
        self.nodes.append(helper.make_node(op, inputs, [out], name=name, **attributes))
        return out

    def linear(self, x, module, W, b=None):
        """nn.Linear: Gemm of weight (out, in), or MatMul of its transpose without bias."""
        if b is None:
            return self.node("MatMul", [x, self.init("onnx::MatMul_%d" % len(self.inits), W)],
                             "/%s/MatMul" % module)
        return self.node("Gemm", [x, self.init(module + ".weight", W.T), self.init(module + ".bias", b)],
                         "/%s/Gemm" % module, alpha=1.0, beta=1.0, transB=1)

    def batch_norm(self, x, module, bn, **attributes):
        names = [self.init("%s.%s" % (module, k), bn[k]) for k in ("weight", "bias", "running_mean", "running_var")]
        return self.node("BatchNormalization", [x] + names, "/%s/BatchNormalization" % module,
                         epsilon=EPS, momentum=0.9, **attributes)

    def head(self, x, hidden_norm=None):
        """fc1, optionally a BatchNorm1d, tanh, fc2."""
        x = self.linear(x, "fc1", self.net["W"], self.net["b"])
        if hidden_norm is not None:
            x = self.batch_norm(x, "bn1", hidden_norm)
        x = self.node("Tanh", [x], "/act/Tanh")
        return self.linear(x, "fc2", self.net["V"], self.net["c"])

    def model(self, batch="batch", width=64):
        self.nodes[-1].output[0] = "output"
        graph = helper.make_graph(
            self.nodes, "main_graph", [helper.make_tensor_value_info("input", TensorProto.FLOAT, [batch, width])],
            [helper.make_tensor_value_info("output", TensorProto.FLOAT, [batch, 4])], self.inits)
        return helper.make_model(graph, opset_imports=[helper.make_opsetid("", 17)], producer_name="pytorch")


def batch_norm_parameters(rng, mean, std):
    return {"weight": rng.uniform(0.5, 2, mean.size), "bias": rng.normal(0, 0.3, mean.size),
            "running_mean": mean, "running_var": std ** 2 - EPS}


def norm(x, bn):
    return (x - bn["running_mean"]) / np.sqrt(bn["running_var"] + EPS) * bn["weight"] + bn["bias"]


def net_of(f, net, hidden_norm=None):
    """Float64 probabilities of fc2(tanh(bn1(fc1(f))))."""
    pre = f @ net["W"] + net["b"]
    h = np.tanh(norm(pre, hidden_norm) if hidden_norm is not None else pre)
    z = h @ net["V"] + net["c"]
    e = np.exp(z - z.max(axis=1, keepdims=True))
    return e / e.sum(axis=1, keepdims=True)


def standardised(g, x):
    """(x - mean) / std with both as initializers: the module's buffers."""
    x = g.node("Sub", [x, g.init("mean", g.net["mean"])], "/Sub")
    return g.node("Div", [x, g.init("std", g.net["std"])], "/Div")


def form(name, net, rng, tmp_path):
    """(model, float64 reference of raw signals, extra import options)."""
    g = Graph(net)
    plain = lambda x: net_of((x - net["mean"]) / net["std"], net)  # noqa: E731
    if name == "outside_standardisation":          # nn.Sequential(Linear, Tanh, Linear)
        np.save(tmp_path / "means.npy", net["mean"])
        (tmp_path / "stds.json").write_text(json.dumps({"std": net["std"].tolist()}))
        g.head("input")
        return g.model(), plain, ["--means", tmp_path / "means.npy", "--stds", tmp_path / "stds.json"]
    if name == "batchnorm_input":                  # nn.BatchNorm1d(64) as the standardisation
        bn = batch_norm_parameters(rng, net["mean"], net["std"])
        g.head(g.batch_norm("input", "bn0", bn))
        return g.model(), lambda x: net_of(norm(x, bn), net), []
    if name == "batchnorm_hidden":                 # Linear, BatchNorm1d, Tanh, Linear
        bn = batch_norm_parameters(rng, rng.normal(0, 0.5, net["b"].size), rng.uniform(0.5, 2, net["b"].size))
        g.head(standardised(g, "input"), hidden_norm=bn)
        return g.model(), lambda x: net_of((x - net["mean"]) / net["std"], net, bn), []
    if name == "view_batch_minus_one":             # x.view(x.size(0), -1), dynamic batch
        shape = g.node("Shape", ["input"], "/Shape")
        first = g.node("Gather", [shape, g.const("/Constant", 0, np.int64)], "/Gather", axis=0)
        first = g.node("Unsqueeze", [first, g.const("/Constant_1", [0], np.int64)], "/Unsqueeze")
        shape = g.node("Concat", [first, g.const("/Constant_2", [-1], np.int64)], "/Concat", axis=0)
        g.head(standardised(g, g.node("Reshape", ["input", shape], "/Reshape", allowzero=0)))
        return g.model(), plain, []
    if name == "view_fixed_batch":                 # the same, exported with batch 1 fixed
        flat = g.node("Reshape", ["input", g.const("/Constant", [1, -1], np.int64)], "/Reshape")
        g.head(standardised(g, flat))
        return g.model(batch=1), plain, []
    if name == "flatten_dropout_identity":         # nn.Flatten(), nn.Dropout in the graph, Identity
        x = g.node("Flatten", ["input"], "/flatten/Flatten", axis=1)
        x = g.node("Dropout", [x, g.const("/Constant", 0.2), g.const("/Constant_1", False, np.bool_)],
                   "/drop/Dropout")
        g.head(g.node("Identity", [standardised(g, x)], "/Identity"))
        return g.model(), plain, []
    if name == "times_reciprocal":                 # (x - m) * (1 / std), tensors held as Python constants
        x = g.node("Sub", ["input", g.const("/Constant", net["mean"])], "/Sub")
        g.head(g.node("Mul", [x, g.node("Reciprocal", [g.const("/Constant_1", net["std"])], "/Reciprocal")], "/Mul"))
        return g.model(), plain, []
    if name == "sqrt_of_variance":                 # (x - m) / sqrt(v + eps)
        x = g.node("Sub", ["input", g.const("/Constant", net["mean"])], "/Sub")
        v = g.node("Add", [g.const("/Constant_1", net["std"] ** 2 - EPS), g.const("/Constant_2", EPS)], "/Add")
        g.head(g.node("Div", [x, g.node("Sqrt", [v], "/Sqrt")], "/Div"))
        return g.model(), plain, []
    if name in ("linear_64_to_64", "matmul_64_to_64"):   # a fixed projection (PCA) before fc1
        P, p = rng.normal(0, 0.2, (64, 64)), rng.normal(0, 0.1, 64)
        bias = p if name == "linear_64_to_64" else None
        g.head(g.linear(standardised(g, "input"), "pca", P, bias))
        shift = p if bias is not None else 0
        return g.model(), lambda x: net_of((x - net["mean"]) / net["std"] @ P + shift, net), []
    raise ValueError(name)


ACCEPTED = ["outside_standardisation", "batchnorm_input", "batchnorm_hidden", "view_batch_minus_one",
            "view_fixed_batch", "flatten_dropout_identity", "times_reciprocal", "sqrt_of_variance",
            "linear_64_to_64", "matmul_64_to_64"]


def run_import(tmp_path, model, *options):
    path = tmp_path / "m.onnx"
    path.write_bytes(model.SerializeToString())
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        status = knowledge_command(["import", str(path), str(tmp_path / "k.bin"), *map(str, options)])
    return status, out.getvalue(), err.getvalue()


@pytest.mark.parametrize("name", ACCEPTED)
def test_form_imports_and_agrees_with_the_module(name, tmp_path):
    net = om.network(ACCEPTED.index(name) + 20, units=12)
    rng = np.random.default_rng(3)
    model, reference, options = form(name, net, rng, tmp_path)
    raw = net["mean"] + net["std"] * rng.normal(size=(400, 64))
    np.savetxt(tmp_path / "signals.csv", raw, fmt="%.9g", delimiter=",")
    status, out, err = run_import(tmp_path, model, *options, "--check", tmp_path / "signals.csv")
    assert (status, err) == (0, ""), out + err
    assert "check: 400 signals: classes agree on" in out and "FAILED" not in out
    if name.endswith("64_to_64"):
        assert "into the hidden layer's weights" in out
    if name == "outside_standardisation":             # the same from Python
        floats = knowledge.from_onnx(tmp_path / "m.onnx", means=net["mean"], stds=net["std"])
        assert floats.tobytes() == (tmp_path / "k.bin").read_bytes()
    x, _ = ombrel.read_signals(tmp_path / "signals.csv")
    expected = reference(x.astype(np.float64))
    clf = ombrel.Classifier(tmp_path / "k.bin")
    np.testing.assert_allclose(clf.predict_proba(x), expected, atol=2e-5)
    top = np.sort(expected, axis=1)
    clear = top[:, -1] - top[:, -2] > 1e-4
    np.testing.assert_array_equal(clf.predict(x)[clear], np.argmax(expected, axis=1)[clear] + 1)


def refused(name, net):
    g = Graph(net)
    if name == "view_to_8x8":                      # x.view(-1, 8, 8) before the layers
        g.head(g.node("Reshape", ["input", g.const("/Constant", [-1, 8, 8], np.int64)], "/Reshape"))
    elif name == "batchnorm_training":
        g.head(g.batch_norm("input", "bn0", batch_norm_parameters(np.random.default_rng(1), net["mean"], net["std"]),
                            training_mode=1))
    elif name == "shape_of_unknown_width":         # the input's width is not in the graph
        shape = g.node("Shape", ["input"], "/Shape")
        g.head(g.node("Reshape", ["input", shape], "/Reshape"))
        return g.model(width="features")
    elif name == "abs_first":
        g.head(g.node("Abs", ["input"], "/Abs"))
    return g.model()


@pytest.mark.parametrize("name, message", [
    ("view_to_8x8", "node '/Reshape' (Reshape): reshapes to (-1, 8, 8); the library takes each signal as one "
                    "row of values: flatten with torch.flatten(x, 1) or nn.Flatten()"),
    ("batchnorm_training", "node '/bn0/BatchNormalization' (BatchNormalization): in training form; export the "
                           "model in inference mode (PyTorch: model.eval() before torch.onnx.export)"),
    ("shape_of_unknown_width", "the importer cannot work out: flatten with torch.flatten(x, 1) or nn.Flatten()"),
    ("abs_first", "node '/Abs' (Abs): the library runs, before its hidden layer, only steps by constants"),
])
def test_form_refused_with_the_fix(name, message, tmp_path):
    status, out, err = run_import(tmp_path, refused(name, om.network(1, units=12)))
    assert (status, out) == (1, "")
    assert message in err and err.count("\n") == 1, err
    assert not (tmp_path / "k.bin").exists()


def test_check_warns_when_the_standardisation_is_left_out(tmp_path):
    net = om.network(20, units=12)
    rng = np.random.default_rng(3)
    model, _, _ = form("outside_standardisation", net, rng, tmp_path)
    np.savetxt(tmp_path / "signals.csv", net["mean"] + net["std"] * rng.normal(size=(400, 64)), delimiter=",")
    status, out, err = run_import(tmp_path, model, "--check", tmp_path / "signals.csv")
    assert status == 0 and "classes agree on 400 (100.00%)" in out
    assert err.startswith("warning: the signals of %s do not look standardised" % (tmp_path / "signals.csv"))
    assert "fix: import the model again with the standardisation it was trained with" in err
