"""Generated ONNX graphs of the library's network, each optional attribute
and input present or absent, against the graph evaluated in float64 by the
operators' definitions written out here (ONNX's defaults included): the
import's folded float64 network, its reference steps, and the float32
knowledge all give the graph's probabilities."""

import os
import tempfile

import numpy as np
from hypothesis import given, settings, strategies as st
from onnx import TensorProto, helper, numpy_helper

from ombrel import knowledge
from ombrel.knowledge.onnx import read_onnx
from numpy_network import forward

DEFAULTS = {"epsilon": 1e-5, "alpha": 1.0, "beta": 1.0, "transB": 0, "offset": 0.0, "scale": 1.0}


def evaluate(nodes, constants, x):
    """The graph's output for signals x, float64, node by node."""
    values = dict(constants, x=x)
    for op, inputs, output, attributes in nodes:
        a = dict(DEFAULTS, **attributes)
        v = [values[name] if name else None for name in inputs]
        if op == "Sub":
            y = v[0] - v[1]
        elif op == "Add":
            y = v[0] + v[1]
        elif op == "Mul":
            y = v[0] * v[1]
        elif op == "Div":
            y = v[0] / v[1]
        elif op == "Neg":
            y = -v[0]
        elif op == "Scaler":
            y = (v[0] - np.asarray(a["offset"])) * np.asarray(a["scale"])
        elif op == "BatchNormalization":
            y = (v[0] - v[3]) / np.sqrt(v[4] + a["epsilon"]) * v[1] + v[2]
        elif op == "Gemm":
            B = v[1].T if a["transB"] else v[1]
            y = a["alpha"] * (v[0] @ B) + (a["beta"] * v[2] if len(v) > 2 else 0.0)
        elif op == "MatMul":
            y = v[0] @ v[1]
        elif op == "Tanh":
            y = np.tanh(v[0])
        else:                                        # Softmax over the classes
            e = np.exp(v[0] - v[0].max(axis=1, keepdims=True))
            y = e / e.sum(axis=1, keepdims=True)
        values[output] = y
    z = values[nodes[-1][2]]
    if nodes[-1][0] != "Softmax":
        z = np.exp(z - z.max(axis=1, keepdims=True))
    return z / z.sum(axis=1, keepdims=True)


@st.composite
def graphs(draw):
    """(nodes, constants, dtype): a chain of preprocessing steps, a hidden
    layer with an optional batch normalisation, tanh, an output layer and
    an optional Softmax, each attribute drawn present or absent."""
    rng = np.random.default_rng(draw(st.integers(0, 2 ** 32 - 1)))
    units, classes = draw(st.integers(1, 23)), draw(st.integers(2, 4))
    constants, nodes = {}, []

    def const(value):
        constants["c%d" % len(constants)] = np.asarray(value, np.float64)
        return "c%d" % (len(constants) - 1)

    def node(op, inputs, attributes=None):
        nodes.append((op, inputs, "t%d" % len(nodes), attributes or {}))
        return nodes[-1][2]

    def optional(**choices):
        # Attributes of floats hold float32.
        return {k: np.float32(v).tolist() if isinstance(v, (float, list)) else v
                for k, v in choices.items() if draw(st.booleans())}

    def batch_norm(current, width):
        return node("BatchNormalization", [current, const(rng.uniform(0.5, 2, width)),
                                           const(rng.normal(0, 0.5, width)), const(rng.normal(0, 1, width)),
                                           const(rng.uniform(1e-4, 0.5, width))],
                    optional(epsilon=float(rng.uniform(1e-3, 0.1))))

    def dense(current, width, out):
        W, b = rng.normal(0, 1 / np.sqrt(width), (width, out)), rng.normal(0, 0.3, out)
        if draw(st.booleans()):
            current = node("MatMul", [current, const(W)])
            return node("Add", [const(b), current] if draw(st.booleans()) else [current, const(b)])
        a = optional(alpha=float(rng.uniform(0.5, 2)), beta=float(rng.uniform(0.5, 2)),
                     transB=draw(st.integers(0, 1)))
        return node("Gemm", [current, const(W.T if a.get("transB") else W)]
                    + ([const(b)] if draw(st.booleans()) else []), a)

    current = "x"
    for step in draw(st.lists(st.sampled_from(["Sub", "Add", "Mul", "Div", "Neg", "Scaler", "Batch"]),
                              max_size=3)):
        c = rng.uniform(0.5, 3, 64) * rng.choice([-1, 1], 64)
        if step == "Scaler":
            current = node("Scaler", [current], optional(offset=c.tolist(), scale=(1 / c).tolist()))
        elif step == "Batch":
            current = batch_norm(current, 64)
        elif step == "Neg":
            current = node("Neg", [current])
        else:
            signal_first = step == "Div" or draw(st.booleans())
            current = node(step, [current, const(c)] if signal_first else [const(c), current])
    current = dense(current, 64, units)
    if draw(st.booleans()):
        current = batch_norm(current, units)
    current = dense(node("Tanh", [current]), units, classes)
    if draw(st.booleans()):
        node("Softmax", [current], optional(axis=1))
    return nodes, constants, draw(st.sampled_from([np.float32, np.float64]))


def save(nodes, constants, dtype, path):
    elem = TensorProto.DOUBLE if dtype == np.float64 else TensorProto.FLOAT
    onnx_nodes = [helper.make_node(op, inputs, [out], name=out, domain="ai.onnx.ml" if op == "Scaler" else "",
                                   **attributes) for op, inputs, out, attributes in nodes]
    graph = helper.make_graph(
        onnx_nodes, "generated", [helper.make_tensor_value_info("x", elem, ["batch", 64])],
        [helper.make_tensor_value_info(nodes[-1][2], elem, ["batch", None])],
        [numpy_helper.from_array(v.astype(dtype), k) for k, v in constants.items()])
    model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13),
                                                    helper.make_opsetid("ai.onnx.ml", 3)])
    with open(path, "wb") as f:
        f.write(model.SerializeToString())


@settings(max_examples=150, deadline=None)
@given(graph=graphs(), seed=st.integers(0, 2 ** 32 - 1))
def test_imports_agree_with_the_graph_in_float64(graph, seed):
    nodes, constants, dtype = graph
    stored = {k: v.astype(dtype).astype(np.float64) for k, v in constants.items()}
    x = np.random.default_rng(seed).normal(0, 2, (200, 64))
    expected = evaluate(nodes, stored, x)
    with tempfile.TemporaryDirectory() as folder:
        save(nodes, constants, dtype, os.path.join(folder, "m.onnx"))
        source = read_onnx(os.path.join(folder, "m.onnx"))
        floats = knowledge.from_onnx(os.path.join(folder, "m.onnx"), pad_classes=True, notes=[])
    classes = expected.shape[1]
    np.testing.assert_allclose(source.probabilities(x), expected, rtol=0, atol=1e-9)
    f = (x - source.means) * source.scales
    z = np.tanh(f @ source.hidden_weights + source.hidden_biases) @ source.output_weights + source.output_biases
    folded = np.exp(z - z.max(axis=1, keepdims=True))
    np.testing.assert_allclose(folded / folded.sum(axis=1, keepdims=True), expected, rtol=0, atol=1e-9)
    p, _ = forward(floats, np.float32(x))
    np.testing.assert_allclose(p[:, :classes], expected, rtol=0, atol=1e-4)
    assert any("float64" in n for n in source.notes) == (dtype == np.float64)
