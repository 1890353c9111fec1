"""Import of ONNX models: the graph is read as the chain input,
preprocessing, dense layer, tanh, dense layer, soft-max or logits; every
other shape of graph is refused with the node and what to change.

Accepted, in this order along the chain:
  preprocessing    any sequence of per-input affine steps by constants (Sub,
                   Add, Mul, Div, Neg, an ai.onnx.ml Scaler,
                   BatchNormalization in inference form), folded into the
                   standardisation; and constant linear maps (Gemm or
                   MatMul, e.g. a PCA or a Linear layer without an
                   activation), folded into the hidden layer
  hidden layer     Gemm (transA 0, any transB, alpha, beta) or MatMul then
                   Add, 64 inputs to N <= 23 units; optionally
                   BatchNormalization (folded into its weights); then Tanh
  output layer     the same forms, N units to the classes
  after it         Softmax, LogSoftmax or nothing (logits)
Identity, Dropout, Flatten (axis 1), Reshape to (batch, -1) or (batch, width)
(including a shape computed by Shape, Gather, Unsqueeze and Concat from the
signal's own) and Cast to a float type pass through anywhere; nodes that only
derive from the output (ArgMax, ZipMap, label outputs) are ignored. Nodes
whose inputs are all constants are evaluated first (onnx_constants).
"""

from __future__ import annotations

import os
import warnings
from dataclasses import dataclass, field
from typing import Any, Callable, Optional, Union

import numpy as np

from .conversion import (check_classes, check_inputs, check_layers, check_units,
                         from_arrays, note, standardisation)
from .input_map import InputMap, fit
from .layout import INPUT_LENGTH, KnowledgeError
from .onnx_constants import BATCH, fold_constants, signal_shapes

DENSE = ("Gemm", "MatMul")
PASS_THROUGH = ("Identity", "Flatten", "Reshape", "Cast", "Dropout")
# Nodes that may hang off the output: labels, maps and reshapes of it.
AFTER_OUTPUT = ("ArgMax", "ZipMap", "ArrayFeatureExtractor", "Identity", "Cast", "Reshape",
                "Flatten", "Squeeze", "Unsqueeze", "TopK", "ReduceMax")
SOFTMAX = ("Softmax", "LogSoftmax")
FLOAT_TYPES = (1, 10, 11)            # TensorProto FLOAT, FLOAT16, DOUBLE
HIDDEN_ACTIVATIONS = ("Relu", "Sigmoid", "LeakyRelu", "Elu", "Selu", "HardSigmoid", "Softplus",
                      "Softsign", "PRelu", "Gelu", "HardSwish", "Mish", "ThresholdedRelu", "Celu")
FLATTEN = "flatten with torch.flatten(x, 1) or nn.Flatten() (Keras: Flatten())"
EVAL_MODE = "export the model in inference mode (PyTorch: model.eval() before torch.onnx.export)"

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
        with np.errstate(all="ignore"):
            for step in self.steps:
                x = step(x)
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


def _short(node: Any) -> str:
    """'Op 'name'' for the import's description, or the Op of an unnamed node."""
    return "%s '%s'" % (node.op_type, node.name) if node.name else node.op_type


def _dims(shape: list[int]) -> str:
    return "(%s)" % ", ".join("batch" if d == BATCH else str(d) for d in shape)


class _Graph:
    def __init__(self, model: Any):
        from onnx import numpy_helper
        graph = model.graph
        self.constants: dict[str, np.ndarray] = {}
        self.origin: dict[str, str] = {}          # constant -> where it was stored
        for t in graph.initializer:
            self.constants[t.name] = numpy_helper.to_array(t)
            self.origin[t.name] = "initializer '%s'" % t.name
        nodes = []
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
                nodes.append(node)
        self.nodes = fold_constants(nodes, self.constants, self.origin, signal_shapes(model), _label)
        self.producer = {out: node for node in self.nodes for out in node.output}
        self.consumers: dict[str, list[Any]] = {}
        for node in self.nodes:
            for name in set(node.input):
                self.consumers.setdefault(name, []).append(node)

    def constant(self, node: Any, index: int, what: str) -> np.ndarray:
        name = node.input[index] if index < len(node.input) else ""
        if name not in self.constants:
            source = self.producer.get(name)
            how = (" (it is computed by %s from the signal)" % _label(source)) if source else ""
            raise KnowledgeError("%s: input '%s' (the %s) is not a constant%s; the library "
                                 "needs fixed parameters: store them in the model "
                                 "(registered buffers, initializers)" % (_label(node), name, what, how))
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


def _load(path: Union[str, os.PathLike]) -> Any:
    onnx = _onnx()
    with open(path, "rb") as f:           # the user's path in any OSError
        data = f.read()
    try:
        with warnings.catch_warnings():   # the refusal below says it, once
            warnings.simplefilter("ignore")
            model = onnx.load_model_from_string(data)
    except Exception as e:                # any decoding failure of the protobuf
        raise KnowledgeError("not an ONNX model (%s)" % (str(e) or type(e).__name__)) from None
    if not model.graph.node and not model.graph.input:
        raise KnowledgeError("not an ONNX model (no graph)")
    return model


def read_onnx(path: Union[str, os.PathLike], means: Optional[Any] = None,
              stds: Optional[Any] = None, scales: Optional[Any] = None) -> SourceModel:
    """Reads the network of an ONNX model, refusing any other graph. means
    and stds (or scales): a standardisation done outside the graph, applied
    to the signals before it."""
    model = _load(path)
    g = _Graph(model)
    inputs = [v for v in model.graph.input if v.name not in g.constants]
    if len(inputs) != 1:
        raise KnowledgeError("the model has %d inputs; the library takes one signal of %d "
                             "values" % (len(inputs), INPUT_LENGTH))
    width = _input_width(inputs[0])
    if width is not None:
        check_inputs(width)
    dense = sum(1 for n in g.nodes if n.op_type in DENSE)
    if dense < 2:
        check_layers(dense)
    chain = _Chain(g, inputs[0].name)
    if means is not None or stds is not None or scales is not None:
        m, s = standardisation(means, scales, stds)
        chain.map = InputMap(m, s)
        chain.steps.append(lambda x, m=m, s=s: (x - m) * s)
        chain.description.append("given at import (%s)"
                                 % ("means, stds" if stds is not None else "means, scales"))
    return chain.read()


class _Chain:
    """Walks the graph from its input, one node at a time."""

    def __init__(self, graph: _Graph, start: str):
        self.g = graph
        self.current = start
        self.width = INPUT_LENGTH
        self.map = InputMap()
        self.steps: list[Step] = []
        self.description: list[str] = []
        self.notes: list[str] = []

    def consumers(self, tensor: str, after: str) -> list[Any]:
        nodes = self.g.consumers.get(tensor, [])
        if len(nodes) > 1:
            if any(n.op_type == "Shape" for n in nodes):
                raise KnowledgeError("tensor '%s' (%s) feeds a Shape whose result the importer "
                                     "cannot work out: %s" % (tensor, after, FLATTEN))
            raise KnowledgeError("tensor '%s' (%s) feeds %d nodes: %s; the library's "
                                 "network is one chain from the input to the output"
                                 % (tensor, after, len(nodes), ", ".join(_label(n) for n in nodes)))
        return nodes

    def next_node(self, after: str) -> Optional[Any]:
        """The one node that reads the current tensor, passing through
        Identity, Dropout, Flatten, Reshape and Cast; None at the graph's end."""
        while True:
            nodes = self.consumers(self.current, after)
            if not nodes:
                return None
            node = nodes[0]
            if node.op_type not in PASS_THROUGH or node.domain:
                return node
            self.pass_through(node)
            self.current = node.output[0]

    def peek(self, tensor: str) -> Optional[Any]:
        """The first node after `tensor` that is not passed through."""
        nodes = self.g.consumers.get(tensor, [])
        while len(nodes) == 1 and nodes[0].op_type in PASS_THROUGH:
            nodes = self.g.consumers.get(nodes[0].output[0], [])
        return nodes[0] if len(nodes) == 1 else None

    def pass_through(self, node: Any) -> None:
        a = _attributes(node)
        if node.op_type == "Flatten" and a.get("axis", 1) != 1:
            raise KnowledgeError("%s: axis %d; the library takes each signal as one row of values: "
                                 "%s" % (_label(node), a["axis"], FLATTEN))
        if node.op_type == "Reshape":
            self.reshape(node)
        if node.op_type == "Cast" and a.get("to") not in FLOAT_TYPES[::2]:
            raise KnowledgeError("%s: casts to a type other than float or double; the library "
                                 "computes in float" % _label(node))
        if node.op_type == "Dropout" and len(node.input) > 2 and node.input[2]:
            training = self.g.constants.get(node.input[2])
            if training is None or bool(np.asarray(training).reshape(-1)[0]):
                raise KnowledgeError("%s: runs in training mode; %s" % (_label(node), EVAL_MODE))

    def reshape(self, node: Any) -> None:
        name = node.input[1] if len(node.input) > 1 else ""
        if name not in self.g.constants:
            raise KnowledgeError("%s: reshapes by a shape the importer cannot work out; the "
                                 "library takes each signal as one row of values: %s"
                                 % (_label(node), FLATTEN))
        shape = [int(v) for v in self.g.constants[name].reshape(-1)]
        width = self.width
        if len(shape) == 2 and shape[1] in (-1, width) and shape[0] in (0, -1, BATCH):
            return
        if len(shape) == 2 and shape[1] in (-1, width) and shape[0] > 0:
            self.notes.append("%s reshapes to %s: read as one signal per row (the batch size "
                              "was fixed at export)" % (_label(node), _dims(shape)))
            return
        raise KnowledgeError("%s: reshapes to %s; the library takes each signal as one row of "
                             "values: %s" % (_label(node), _dims(shape), FLATTEN))

    def vector(self, node: Any, index: int, what: str) -> np.ndarray:
        """A constant of one number, or one per value of the current width."""
        return fit(self.g.parameter(node, index, what, self.notes), self.width,
                   "%s: its %s" % (_label(node), what))

    def preprocessing(self, node: Optional[Any]) -> tuple[np.ndarray, np.ndarray, Any]:
        """Reads up to the hidden layer's dense node, gathering every step
        before it into self.map; returns that layer's (W, b) and the node
        after it."""
        while True:
            if node is None:
                raise KnowledgeError("the model ends before its hidden layer")
            if node.op_type in DENSE and not node.domain:
                W, b = self.dense(node, "dense layer", self.width)
                after = self.next_node("the dense layer")
                if self.activation_follows(after):
                    return W, b, after
                if after is None or after.op_type in SOFTMAX:
                    check_layers(1)
                self.map.linear(W, b, "%s (%d to %d)" % (_label(node), W.shape[0], W.shape[1]))
                self.width = self.map.width
                self.description[-1] = "linear map: " + self.description[-1].split(": ", 1)[1] + \
                    ", folded into the hidden layer"
                node = after
                continue
            self.affine_step(node)
            self.current = node.output[0]
            node = self.next_node("the preprocessing")

    def activation_follows(self, node: Optional[Any]) -> bool:
        if node is not None and node.op_type == "BatchNormalization":
            node = self.peek(node.output[0])
        return node is not None and (node.op_type == "Tanh" or node.op_type in HIDDEN_ACTIVATIONS)

    def affine_step(self, node: Any) -> None:
        """A per-input affine step before the hidden layer, into self.map."""
        op, first = node.op_type, node.input[0] == self.current if node.input else False
        other = 1 if first else 0
        if op == "Scaler" and node.domain == "ai.onnx.ml":
            a = _attributes(node)
            offset = fit(a.get("offset", [0.0]), self.width, "%s: offset" % _label(node))
            scale = fit(a.get("scale", [1.0]), self.width, "%s: scale" % _label(node))
            self.map.add(-offset)
            self.map.multiply(scale)
            self.steps.append(lambda x, o=offset, s=scale: (x - o) * s)
        elif op == "BatchNormalization" and not node.domain:
            gamma, beta, mean, var, eps = self.batch_normalization(node)
            self.map.add(-mean)
            self.map.multiply(gamma / np.sqrt(var + eps))
            self.map.add(beta)
            self.steps.append(lambda x, g=gamma, b=beta, m=mean, v=var, e=eps:
                              (x - m) / np.sqrt(v + e) * g + b)
        elif op in ("Sub", "Add", "Mul", "Div") and not node.domain and len(node.input) == 2:
            what = {"Sub": "subtrahend" if first else "minuend", "Add": "addend",
                    "Mul": "factor", "Div": "divisor"}[op]
            if op == "Div" and not first:
                raise KnowledgeError("%s: divides a constant by the signal; the library "
                                     "standardises by constants: x / c or x * c"
                                     % _label(node))
            c = self.vector(node, other, what)
            if op == "Sub" and first:
                self.map.add(-c)
                self.steps.append(lambda x, c=c: x - c)
            elif op == "Sub":
                self.map.multiply(-np.ones_like(c))
                self.map.add(c)
                self.steps.append(lambda x, c=c: c - x)
            elif op == "Add":
                self.map.add(c)
                self.steps.append(lambda x, c=c: x + c)
            elif op == "Mul":
                self.map.multiply(c)
                self.steps.append(lambda x, c=c: x * c)
            else:
                self.map.divide(c, "%s: its divisor" % _label(node),
                                "give an input without spread a divisor of 1")
                self.steps.append(lambda x, c=c: x / c)
        elif op == "Neg" and not node.domain:
            self.map.multiply(-np.ones(self.width))
            self.steps.append(np.negative)
        elif op in HIDDEN_ACTIVATIONS or op == "Tanh":
            raise KnowledgeError("%s: comes before any dense layer; the library's input goes "
                                 "through a standardisation into the hidden layer"
                                 % _label(node))
        else:
            raise KnowledgeError(
                "%s: the library runs, before its hidden layer, only steps by constants that "
                "act on each input alone (Sub, Add, Mul, Div, BatchNormalization, Scaler) and "
                "constant linear maps (Gemm, MatMul); do this step on the signals before "
                "classifying, or remove it" % _label(node))
        self.description.append(_short(node))

    def batch_normalization(self, node: Any) -> tuple[np.ndarray, ...]:
        a = _attributes(node)
        if a.get("training_mode", 0) or len([o for o in node.output if o]) > 1:
            raise KnowledgeError("%s: in training form; %s" % (_label(node), EVAL_MODE))
        gamma, beta, mean, var = (self.vector(node, i, w) for i, w in
                                  enumerate(("scale", "bias", "running mean", "running variance"), 1))
        eps = float(a.get("epsilon", 1e-5))
        if (var + eps <= 0).any():
            raise KnowledgeError("%s: variance plus epsilon is not positive at value %d"
                                 % (_label(node), int(np.flatnonzero(var + eps <= 0)[0])))
        return gamma, beta, mean, var, eps

    def dense(self, node: Any, layer: str, width: int) -> tuple[np.ndarray, np.ndarray]:
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
            self.check_width(node, W, width)
            C = self.broadcast_bias(node, C, W.shape[1])
            self.steps.append(lambda x, W=W, C=C, alpha=alpha, beta=beta:
                              alpha * (x @ W) + beta * C)
            self.current = node.output[0]
            self.description.append("%s: %s (%d to %d%s)" % (
                layer, _short(node), W.shape[0], W.shape[1],
                ", transB=1" if a.get("transB", 0) else ""))
            return alpha * W, beta * C
        W = self.g.parameter(node, 1, "weights", self.notes)
        if W.ndim != 2:
            raise KnowledgeError("%s: weights of shape %s; a dense layer has 2 dimensions"
                                 % (_label(node), W.shape))
        self.check_width(node, W, width)
        self.steps.append(lambda x, W=W: x @ W)
        self.current = node.output[0]
        text = "%s: %s (%d to %d)" % (layer, _short(node), W.shape[0], W.shape[1])
        nodes = self.g.consumers.get(self.current, [])
        bias = np.zeros(W.shape[1])
        if len(nodes) == 1 and nodes[0].op_type == "Add":
            add = nodes[0]
            other = 1 if add.input[0] == self.current else 0
            C = self.g.parameter(add, other, "bias", self.notes)
            bias = self.broadcast_bias(add, C, W.shape[1])
            self.steps.append(lambda x, b=bias.copy(): x + b)
            self.current = add.output[0]
            text += ", " + _short(add)
        self.description.append(text)
        return W, bias

    def check_width(self, node: Any, W: np.ndarray, width: int) -> None:
        if W.shape[0] != width:
            if self.map.matrix is None and width == INPUT_LENGTH:
                check_inputs(W.shape[0])
            raise KnowledgeError("%s: weights of shape %s do not take the %d values before it"
                                 % (_label(node), W.shape, width))

    def broadcast_bias(self, node: Any, C: np.ndarray, units: int) -> np.ndarray:
        try:
            return np.broadcast_to(C.reshape(-1) if C.ndim > 1 else C, (units,)).copy()
        except ValueError:
            raise KnowledgeError("%s: bias of shape %s does not fit %d units"
                                 % (_label(node), C.shape, units)) from None

    def hidden_batch_normalization(self, node: Any, W: np.ndarray, b: np.ndarray
                                   ) -> tuple[np.ndarray, np.ndarray]:
        """A BatchNormalization between the hidden layer and its tanh,
        folded into the layer: k (W x + b - mean) + beta."""
        self.width = W.shape[1]
        gamma, beta, mean, var, eps = self.batch_normalization(node)
        k = gamma / np.sqrt(var + eps)
        self.steps.append(lambda x, g=gamma, bb=beta, m=mean, v=var, e=eps:
                          (x - m) / np.sqrt(v + e) * g + bb)
        self.description[-1] += ", %s (folded into its weights)" % _short(node)
        self.current = node.output[0]
        return W * k, (b - mean) * k + beta

    def read(self) -> SourceModel:
        W, b, node = self.preprocessing(self.next_node("the input"))
        pre = [d for d in self.description[:-1] if not d.startswith("linear map")]
        linear = [d for d in self.description[:-1] if d.startswith("linear map")]
        hidden = "hidden layer: " + self.description[-1].split(": ", 1)[1]
        self.description = ["standardisation: " + (", ".join(pre) or "none (means 0, scales 1)")]
        self.description += linear + [hidden]
        if node is not None and node.op_type == "BatchNormalization":
            W, b = self.hidden_batch_normalization(node, W, b)
            node = self.next_node("the hidden layer's batch normalisation")
        if node is None or node.op_type != "Tanh":
            raise KnowledgeError("%s: the library's hidden units are tanh only; train the "
                                 "hidden layer with tanh" % _label(node))
        means, scales, W, b = self.map.fold(W, b)
        check_units(W.shape[1])
        self.width = W.shape[1]
        if self.map.note():
            self.notes.append(self.map.note() + "; --check measures what folding changed")
        self.steps.append(np.tanh)
        self.description[-1] += ", " + _short(node)
        self.current = node.output[0]
        node = self.next_node("the hidden units")
        if node is None or node.op_type not in DENSE:
            raise KnowledgeError("%s; the library's tanh units feed the output layer (Gemm, or "
                                 "MatMul then Add) directly" % (
                                     "the model ends after its tanh units" if node is None
                                     else _label(node) + ": comes after the tanh units"))
        V, c = self.dense(node, "output layer", self.width)
        self.width = V.shape[1]
        self.finish()     # first: a dense layer after this one makes it a hidden layer, not the output
        check_classes(V.shape[1], pad_classes=True)      # padding is decided by the caller
        return SourceModel(means, scales, W, b, V, c, self.steps, self.description, self.notes)

    def finish(self) -> None:
        """Accepts a Softmax or LogSoftmax on the scores, and ignores what
        only derives from the output (labels, maps)."""
        nodes = self.g.consumers.get(self.current, [])
        soft = [n for n in nodes if n.op_type in SOFTMAX and not n.domain]
        output = "logits"
        if len(soft) == 1:
            axis = _attributes(soft[0]).get("axis", -1 if soft[0].op_type == "Softmax" else 1)
            if axis not in (1, -1):
                raise KnowledgeError("%s: axis %d; the library's soft-max runs over the classes "
                                     "(axis -1)" % (_label(soft[0]), axis))
            output = _short(soft[0])
        self.description[-1] += "; %s out; divided by the soft-max factor 5" % output
        seen: set[str] = set()
        stack, later_dense = list(nodes), 0
        while stack:
            node = stack.pop()
            if node.name + node.output[0] in seen:
                continue
            seen.add(node.name + node.output[0])
            later_dense += node.op_type in DENSE
            for out in node.output:
                stack.extend(self.g.consumers.get(out, []))
        if later_dense:
            check_layers(2 + later_dense)
        for node in (n for n in self.g.nodes if n.name + n.output[0] in seen):
            if node is not (soft[0] if soft else None) and node.op_type not in AFTER_OUTPUT:
                raise KnowledgeError(
                    "%s: comes after the output layer; the library's probabilities are the "
                    "soft-max of the output layer's scores: end the model with the output "
                    "layer or a Softmax" % _label(node))


def from_onnx(path: Union[str, os.PathLike], pad_classes: bool = False,
              notes: Optional[list[str]] = None, means: Optional[Any] = None,
              stds: Optional[Any] = None, scales: Optional[Any] = None) -> np.ndarray:
    """A knowledge's floats (float32) from an ONNX model file.

    Accepts the single-input graphs that the usual exporters write for the
    library's network (see this module's description); raises
    KnowledgeError naming the node or dimension otherwise.  means and stds
    (or scales), 64 values each: the standardisation of a model trained on
    signals standardised outside its graph, composed before the graph's own.
    Notes (rounding of float64 values, folded maps, padded classes) go to
    `notes` when given, else they are issued as ConversionWarning."""
    source = read_onnx(path, means=means, stds=stds, scales=scales)
    for text in source.notes:
        note(notes, text)
    return from_arrays(**source.arrays(), pad_classes=pad_classes, notes=notes)
