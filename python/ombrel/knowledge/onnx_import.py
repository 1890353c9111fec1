"""Import of ONNX models: the graph is read as the chain input,
standardisation, dense layer, tanh, dense layer, soft-max or logits; every
other shape of graph is refused with the node and what to change.

Accepted, in this order along the chain:
  standardisation  Sub by a constant, then Div or Mul by a constant (each
                   optional), or an ai.onnx.ml Scaler, or nothing
  hidden layer     Gemm (transA 0, any transB, alpha, beta) or MatMul then
                   Add, 64 inputs to N <= 23 units; then Tanh
  output layer     the same forms, N units to the classes
  after it         Softmax, LogSoftmax or nothing (logits)
Identity, Flatten, Reshape to (batch, width) and Cast to a float type pass
through anywhere; nodes that only derive from the output (ArgMax, ZipMap,
label outputs) are ignored.
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from typing import Any, Callable, Optional, Union

import numpy as np

from .conversion import (check_classes, check_inputs, check_layers, check_units,
                         from_arrays, note)
from .layout import INPUT_LENGTH, KnowledgeError

DENSE = ("Gemm", "MatMul")
PASS_THROUGH = ("Identity", "Flatten", "Reshape", "Cast")
# Nodes that may hang off the output: labels, maps and reshapes of it.
AFTER_OUTPUT = ("ArgMax", "ZipMap", "ArrayFeatureExtractor", "Identity", "Cast", "Reshape",
                "Flatten", "Squeeze", "Unsqueeze", "TopK", "ReduceMax")
FLOAT_TYPES = (1, 10, 11)            # TensorProto FLOAT, FLOAT16, DOUBLE
HIDDEN_ACTIVATIONS = ("Relu", "Sigmoid", "LeakyRelu", "Elu", "Selu", "HardSigmoid", "Softplus",
                      "Softsign", "PRelu", "Gelu", "HardSwish", "Mish", "ThresholdedRelu", "Celu")

Step = Callable[[np.ndarray], np.ndarray]


@dataclass
class SourceModel:
    """A network read from a graph: its arrays folded into the knowledge's
    terms (float64, before the soft-max factor), and the graph's own steps
    as read, to evaluate it in float64."""
    means: np.ndarray
    scales: np.ndarray
    hidden_weights: np.ndarray
    hidden_biases: np.ndarray
    output_weights: np.ndarray
    output_biases: np.ndarray
    steps: list[Step] = field(default_factory=list)
    description: list[str] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)

    @property
    def classes(self) -> int:
        return int(self.output_biases.size)

    def probabilities(self, signals: np.ndarray) -> np.ndarray:
        """Class probabilities [M][classes] in float64; logits, Softmax and
        LogSoftmax outputs all give the soft-max of the output layer."""
        x = np.asarray(signals, dtype=np.float64).reshape(-1, INPUT_LENGTH)
        for step in self.steps:
            x = step(x)
        with np.errstate(over="ignore", invalid="ignore"):
            e = np.exp(x - x.max(axis=1, keepdims=True))
            return e / e.sum(axis=1, keepdims=True)

    def arrays(self) -> dict[str, np.ndarray]:
        return dict(means=self.means, scales=self.scales, hidden_weights=self.hidden_weights,
                    hidden_biases=self.hidden_biases, output_weights=self.output_weights,
                    output_biases=self.output_biases)


def _onnx() -> Any:
    try:
        import onnx
        from onnx import numpy_helper  # noqa: F401
    except ImportError:
        raise KnowledgeError("reading ONNX models needs the onnx package "
                             "(Debian: python3-onnx; pip: onnx)") from None
    return onnx


def _label(node: Any) -> str:
    if node.name:
        return "node '%s' (%s)" % (node.name, node.op_type)
    return "node (%s) writing '%s'" % (node.op_type, node.output[0] if node.output else "")


def _attributes(node: Any) -> dict[str, Any]:
    from onnx import helper
    return {a.name: helper.get_attribute_value(a) for a in node.attribute}


class _Graph:
    def __init__(self, graph: Any):
        from onnx import numpy_helper
        self.constants: dict[str, np.ndarray] = {}
        self.origin: dict[str, str] = {}          # constant -> where it was stored
        for t in graph.initializer:
            self.constants[t.name] = numpy_helper.to_array(t)
            self.origin[t.name] = "initializer '%s'" % t.name
        self.nodes = []
        for node in graph.node:
            if node.op_type == "Constant" and not node.domain:
                a = _attributes(node)
                if "value" in a:
                    value = numpy_helper.to_array(a["value"])
                else:
                    key = next((k for k in ("value_float", "value_floats", "value_int",
                                            "value_ints") if k in a), None)
                    if key is None:
                        raise KnowledgeError("%s: holds no numbers" % _label(node))
                    value = np.asarray(a[key])
                self.constants[node.output[0]] = value
                self.origin[node.output[0]] = "%s" % _label(node)
            else:
                self.nodes.append(node)
        self.consumers: dict[str, list[Any]] = {}
        for node in self.nodes:
            for name in set(node.input):
                self.consumers.setdefault(name, []).append(node)

    def constant(self, node: Any, index: int, what: str) -> np.ndarray:
        name = node.input[index] if index < len(node.input) else ""
        if name not in self.constants:
            raise KnowledgeError("%s: input '%s' (the %s) is not a constant; the library "
                                 "needs fixed parameters (initializers or Constant nodes)"
                                 % (_label(node), name, what))
        return self.constants[name]

    def parameter(self, node: Any, index: int, what: str, notes: list[str]) -> np.ndarray:
        """A float constant as float64, noting values that float32 changes."""
        a = self.constant(node, index, what)
        if a.dtype.kind != "f":
            raise KnowledgeError("%s: its %s holds %s values; the library's parameters are "
                                 "floats" % (_label(node), what, a.dtype))
        wide = a.astype(np.float64)
        if a.dtype == np.float64:
            with np.errstate(over="ignore", invalid="ignore"):
                narrow = wide.astype(np.float32).astype(np.float64)
                changed = (narrow != wide) & ~np.isnan(wide)
                if changed.any():
                    rel = np.abs((narrow - wide)[changed] / wide[changed]).max()
                    notes.append("%s is float64: %d of %d values change when rounded to "
                                 "float32 (largest relative change %.1e)"
                                 % (self.origin[node.input[index]], int(changed.sum()),
                                    a.size, rel))
        return wide


def _input_width(value_info: Any) -> Optional[int]:
    t = value_info.type.tensor_type
    if t.elem_type not in FLOAT_TYPES:
        from onnx import TensorProto
        raise KnowledgeError("input '%s' holds %s values; signals are floats"
                             % (value_info.name, TensorProto.DataType.Name(t.elem_type)))
    dims = [d.dim_value if d.HasField("dim_value") else None for d in t.shape.dim]
    inner = dims[1:] if len(dims) > 1 else dims
    if not inner or any(d is None for d in inner):
        return None
    return int(np.prod(inner))


def read_onnx(path: Union[str, os.PathLike]) -> SourceModel:
    """Reads the network of an ONNX model, refusing any other graph."""
    onnx = _onnx()
    try:
        model = onnx.load(os.fspath(path))
    except OSError:
        raise
    except Exception as e:                # any decoding failure of the protobuf
        raise KnowledgeError("not an ONNX model (%s)" % (str(e) or type(e).__name__)) from None
    if not model.graph.node and not model.graph.input:
        raise KnowledgeError("not an ONNX model (no graph)")
    g = _Graph(model.graph)
    inputs = [v for v in model.graph.input if v.name not in g.constants]
    if len(inputs) != 1:
        raise KnowledgeError("the model has %d inputs; the library takes one signal of %d "
                             "values" % (len(inputs), INPUT_LENGTH))
    width = _input_width(inputs[0])
    if width is not None:
        check_inputs(width)
    check_layers(sum(1 for n in g.nodes if n.op_type in DENSE))
    return _Chain(g, inputs[0].name).read()


class _Chain:
    """Walks the graph from its input, one node at a time."""

    def __init__(self, graph: _Graph, start: str):
        self.g = graph
        self.current = start
        self.width = INPUT_LENGTH
        self.steps: list[Step] = []
        self.description: list[str] = []
        self.notes: list[str] = []

    def next_node(self, after: str) -> Optional[Any]:
        """The one node that reads the current tensor, passing through
        Identity, Flatten, Reshape and Cast; None at the graph's end."""
        while True:
            nodes = self.g.consumers.get(self.current, [])
            if not nodes:
                return None
            if len(nodes) > 1:
                raise KnowledgeError("tensor '%s' (%s) feeds %d nodes: %s; the library's "
                                     "network is one chain from the input to the output"
                                     % (self.current, after, len(nodes),
                                        ", ".join(_label(n) for n in nodes)))
            node = nodes[0]
            if node.op_type not in PASS_THROUGH or node.domain:
                return node
            self.pass_through(node)
            self.current = node.output[0]

    def pass_through(self, node: Any) -> None:
        a = _attributes(node)
        if node.op_type == "Flatten" and a.get("axis", 1) != 1:
            raise KnowledgeError("%s: axis %d; the library takes signals as (batch, %d): "
                                 "flatten with axis 1" % (_label(node), a["axis"], self.width))
        if node.op_type == "Reshape":
            shape = [int(v) for v in self.g.constant(node, 1, "shape").reshape(-1)]
            if len(shape) != 2 or not (shape[1] == self.width or shape == [0, -1]):
                raise KnowledgeError("%s: reshapes to %s; the library's values are (batch, %d): "
                                     "reshape to (-1, %d)" % (_label(node), tuple(shape),
                                                              self.width, self.width))
        if node.op_type == "Cast" and a.get("to") not in FLOAT_TYPES[::2]:
            raise KnowledgeError("%s: casts to a type other than float or double; the library "
                                 "computes in float" % _label(node))

    def vector(self, node: Any, index: int, what: str) -> np.ndarray:
        a = self.g.parameter(node, index, what, self.notes)
        try:
            return np.broadcast_to(a.reshape(-1) if a.ndim > 1 else a, (self.width,)).copy()
        except ValueError:
            raise KnowledgeError("%s: its %s has shape %s, which does not fit %d values"
                                 % (_label(node), what, a.shape, self.width)) from None

    def standardisation(self, node: Optional[Any]) -> tuple[np.ndarray, np.ndarray, Any]:
        means, scales = np.zeros(INPUT_LENGTH), np.ones(INPUT_LENGTH)
        done: list[str] = []
        while node is not None and node.op_type not in DENSE:
            op = node.op_type
            other = 1 if node.input[0] == self.current else 0
            if op == "Scaler" and node.domain == "ai.onnx.ml" and not done:
                a = _attributes(node)
                offset = np.broadcast_to(np.asarray(a.get("offset", [0.0]), np.float64), (self.width,))
                scale = np.broadcast_to(np.asarray(a.get("scale", [1.0]), np.float64), (self.width,))
                means, scales = offset.copy(), scale.copy()
                self.steps.append(lambda x, o=offset, s=scale: (x - o) * s)
                done.append("Scaler")
            elif op == "Sub" and not done and other == 1:
                c = self.vector(node, 1, "subtrahend")
                means = c
                self.steps.append(lambda x, c=c: x - c)
                done.append("Sub")
            elif op in ("Div", "Mul") and done in ([], ["Sub"]) and (op == "Mul" or other == 1):
                c = self.vector(node, other, "divisor" if op == "Div" else "factor")
                if op == "Div":
                    if (c == 0).any():
                        raise KnowledgeError("%s: divides input %d by 0; give an input without "
                                             "spread a divisor of 1" % (_label(node),
                                                                       int(np.flatnonzero(c == 0)[0])))
                    scales = 1.0 / c
                    self.steps.append(lambda x, c=c: x / c)
                else:
                    scales = c
                    self.steps.append(lambda x, c=c: x * c)
                done.append(op)
            elif op in HIDDEN_ACTIVATIONS or op == "Tanh":
                raise KnowledgeError("%s: comes before any dense layer; the library's input goes "
                                     "through a standardisation into the hidden layer"
                                     % _label(node))
            else:
                raise KnowledgeError(
                    "%s: the library standardises with Sub then Div or Mul by constants, or a "
                    "Scaler, before the hidden layer (Gemm, or MatMul then Add)%s"
                    % (_label(node), "; it found %s first" % " and ".join(done) if done else ""))
            self.description.append("%s '%s'" % (op, node.name))
            self.current = node.output[0]
            node = self.next_node("the standardisation")
        if node is None:
            raise KnowledgeError("the model ends before its hidden layer")
        return means, scales, node

    def dense(self, node: Any, layer: str) -> tuple[np.ndarray, np.ndarray]:
        """(W [in][out], b [out]) of a Gemm, or of a MatMul and its Add."""
        a = _attributes(node)
        if node.input[0] != self.current:
            raise KnowledgeError("%s: multiplies the weights by the signal; the library "
                                 "computes signal @ weights" % _label(node))
        if node.op_type == "Gemm":
            if a.get("transA", 0):
                raise KnowledgeError("%s: transA=1; the library multiplies the signal as rows: "
                                     "export with transA=0" % _label(node))
            B = self.g.parameter(node, 1, "weights", self.notes)
            if B.ndim != 2:
                raise KnowledgeError("%s: weights of shape %s; a dense layer has 2 dimensions"
                                     % (_label(node), B.shape))
            W = B.T if a.get("transB", 0) else B
            alpha, beta = float(a.get("alpha", 1.0)), float(a.get("beta", 1.0))
            has_c = len(node.input) > 2 and node.input[2] != ""
            C = self.g.parameter(node, 2, "bias", self.notes) if has_c else np.zeros(1)
            self.check_width(node, W, layer)
            C = self.broadcast_bias(node, C, W.shape[1])
            self.steps.append(lambda x, W=W, C=C, alpha=alpha, beta=beta:
                              alpha * (x @ W) + beta * C)
            self.current = node.output[0]
            self.description.append("%s: Gemm '%s' (%d to %d%s)" % (
                layer, node.name, W.shape[0], W.shape[1],
                ", transB=1" if a.get("transB", 0) else ""))
            return alpha * W, beta * C
        W = self.g.parameter(node, 1, "weights", self.notes)
        if W.ndim != 2:
            raise KnowledgeError("%s: weights of shape %s; a dense layer has 2 dimensions"
                                 % (_label(node), W.shape))
        self.check_width(node, W, layer)
        self.steps.append(lambda x, W=W: x @ W)
        self.current = node.output[0]
        text = "%s: MatMul '%s' (%d to %d)" % (layer, node.name, W.shape[0], W.shape[1])
        nodes = self.g.consumers.get(self.current, [])
        bias = np.zeros(W.shape[1])
        if len(nodes) == 1 and nodes[0].op_type == "Add":
            add = nodes[0]
            other = 1 if add.input[0] == self.current else 0
            C = self.g.parameter(add, other, "bias", self.notes)
            bias = self.broadcast_bias(add, C, W.shape[1])
            self.steps.append(lambda x, b=bias.copy(): x + b)
            self.current = add.output[0]
            text += ", Add '%s'" % add.name
        self.description.append(text)
        return W, bias

    def check_width(self, node: Any, W: np.ndarray, layer: str) -> None:
        if W.shape[0] != self.width:
            if layer == "hidden layer":
                check_inputs(W.shape[0])
            raise KnowledgeError("%s: weights of shape %s do not take the %d values before it"
                                 % (_label(node), W.shape, self.width))

    def broadcast_bias(self, node: Any, C: np.ndarray, units: int) -> np.ndarray:
        try:
            return np.broadcast_to(C.reshape(-1) if C.ndim > 1 else C, (units,)).copy()
        except ValueError:
            raise KnowledgeError("%s: bias of shape %s does not fit %d units"
                                 % (_label(node), C.shape, units)) from None

    def read(self) -> SourceModel:
        means, scales, node = self.standardisation(self.next_node("the input"))
        standardisation = ", ".join(self.description) or "none (means 0, scales 1)"
        self.description = ["standardisation: " + standardisation]
        W, b = self.dense(node, "hidden layer")
        check_units(W.shape[1])
        self.width = W.shape[1]
        node = self.next_node("the hidden layer")
        if node is None or node.op_type != "Tanh":
            if node is None:
                raise KnowledgeError("the model ends after its hidden layer; the library's "
                                     "hidden units are tanh only, followed by the output layer")
            if node.op_type in DENSE:
                raise KnowledgeError("%s: follows the hidden layer without an activation; the "
                                     "library's hidden units are tanh only" % _label(node))
            raise KnowledgeError("%s: the library's hidden units are tanh only; train the "
                                 "hidden layer with tanh" % _label(node))
        self.steps.append(np.tanh)
        self.description[-1] += ", Tanh '%s'" % node.name
        self.current = node.output[0]
        node = self.next_node("the hidden units")
        if node is None or node.op_type not in DENSE:
            raise KnowledgeError("%s; the library's tanh units feed the output layer (Gemm, or "
                                 "MatMul then Add) directly" % (
                                     "the model ends after its tanh units" if node is None
                                     else _label(node) + ": comes after the tanh units"))
        V, c = self.dense(node, "output layer")
        check_classes(V.shape[1], pad_classes=True)      # padding is decided by the caller
        self.width = V.shape[1]
        self.finish()
        return SourceModel(means, scales, W, b, V, c, self.steps, self.description, self.notes)

    def finish(self) -> None:
        """Accepts a Softmax or LogSoftmax on the scores, and ignores what
        only derives from the output (labels, maps)."""
        nodes = self.g.consumers.get(self.current, [])
        soft = [n for n in nodes if n.op_type in ("Softmax", "LogSoftmax") and not n.domain]
        output = "logits"
        if len(soft) == 1:
            axis = _attributes(soft[0]).get("axis", -1 if soft[0].op_type == "Softmax" else 1)
            if axis not in (1, -1):
                raise KnowledgeError("%s: axis %d; the library's soft-max runs over the classes "
                                     "(axis -1)" % (_label(soft[0]), axis))
            output = "%s '%s'" % (soft[0].op_type, soft[0].name)
        self.description[-1] += "; %s out; divided by the soft-max factor 5" % output
        seen: set[str] = set()
        stack = list(nodes)
        while stack:
            node = stack.pop()
            if node.name + node.output[0] in seen:
                continue
            seen.add(node.name + node.output[0])
            if node is not (soft[0] if soft else None) and node.op_type not in AFTER_OUTPUT:
                raise KnowledgeError(
                    "%s: comes after the output layer; the library's probabilities are the "
                    "soft-max of the output layer's scores: end the model with the output "
                    "layer or a Softmax" % _label(node))
            for out in node.output:
                stack.extend(self.g.consumers.get(out, []))


def from_onnx(path: Union[str, os.PathLike], pad_classes: bool = False,
              notes: Optional[list[str]] = None) -> np.ndarray:
    """A knowledge's floats (float32) from an ONNX model file.

    Accepts the single-input graphs that the usual exporters write for the
    library's network (see this module's description); raises
    KnowledgeError naming the node or dimension otherwise.  Notes (rounding
    of float64 values, padded classes) go to `notes` when given, else they
    are issued as ConversionWarning."""
    source = read_onnx(path)
    for text in source.notes:
        note(notes, text)
    return from_arrays(**source.arrays(), pad_classes=pad_classes, notes=notes)
