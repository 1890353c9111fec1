"""Small ONNX models of the library's network, built with onnx.helper, and
their float64 evaluation with numpy (the reference the imports must meet)."""

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper


def network(seed, units=8, classes=4, inputs=64):
    rng = np.random.default_rng(seed)
    return dict(mean=rng.normal(0, 50, inputs), std=rng.uniform(5, 40, inputs),
                W=rng.normal(0, 0.3, (inputs, units)), b=rng.normal(0, 0.3, units),
                V=rng.normal(0, 1.5, (units, classes)), c=rng.normal(0, 0.5, classes))


def reference(net, x, standardise=True, alpha=1.0, beta=1.0):
    """Float64 probabilities of the network on signals x."""
    f = (x - net["mean"]) / net["std"] if standardise else x
    h = np.tanh(alpha * (f @ net["W"]) + beta * net["b"])
    z = alpha * (h @ net["V"]) + beta * net["c"]
    e = np.exp(z - z.max(axis=1, keepdims=True))
    return e / e.sum(axis=1, keepdims=True)


def build(net, standardise="sub_div", layer="gemm1", output="softmax", dtype=np.float32,
          alpha=1.0, beta=1.0, activation="Tanh", extra=(), name="model"):
    """The network as an ONNX model.  standardise: none, sub_div, sub_mul,
    scaler; layer: gemm0, gemm1 (transB), matmul (MatMul + Add); output:
    softmax or logits; extra: nodes appended to the node list."""
    inits, nodes = [], []
    elem = TensorProto.DOUBLE if dtype == np.float64 else TensorProto.FLOAT

    def const(key, value):
        inits.append(numpy_helper.from_array(np.asarray(value, dtype=dtype), key))
        return key

    current = "x"
    if standardise in ("sub_div", "sub_mul"):
        nodes.append(helper.make_node("Sub", ["x", const("mean", net["mean"])], ["centred"], name="sub"))
        if standardise == "sub_div":
            nodes.append(helper.make_node("Div", ["centred", const("std", net["std"])], ["f"], name="div"))
        else:
            nodes.append(helper.make_node("Mul", [const("scale", 1 / net["std"]), "centred"], ["f"], name="mul"))
        current = "f"
    elif standardise == "scaler":
        nodes.append(helper.make_node("Scaler", ["x"], ["f"], domain="ai.onnx.ml", name="scaler",
                                      offset=net["mean"].tolist(), scale=(1 / net["std"]).tolist()))
        current = "f"

    def dense(x, W, b, out, key):
        if layer == "matmul":
            nodes.append(helper.make_node("MatMul", [x, const(key + "_W", W)], [out + "_mm"], name=key + "_mm"))
            nodes.append(helper.make_node("Add", [const(key + "_b", b), out + "_mm"], [out], name=key + "_add"))
        else:
            t = layer == "gemm1"
            nodes.append(helper.make_node("Gemm", [x, const(key + "_W", W.T if t else W), const(key + "_b", b)],
                                          [out], name=key, transB=int(t), alpha=alpha, beta=beta))

    dense(current, net["W"], net["b"], "pre", "fc1")
    nodes.append(helper.make_node(activation, ["pre"], ["h"], name=activation.lower() + "_1"))
    dense("h", net["V"], net["c"], "z", "fc2")
    if output == "softmax":
        nodes.append(helper.make_node("Softmax", ["z"], ["y"], name="softmax", axis=1))
    else:
        nodes.append(helper.make_node("Identity", ["z"], ["y"], name="out"))
    nodes.extend(extra)
    graph = helper.make_graph(
        nodes, name, [helper.make_tensor_value_info("x", elem, ["batch", net["W"].shape[0]])],
        [helper.make_tensor_value_info("y", elem, ["batch", net["V"].shape[1]])], inits)
    return helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13),
                                                   helper.make_opsetid("ai.onnx.ml", 3)])


def save(model, path):
    onnx.save(model, path)
    return path
