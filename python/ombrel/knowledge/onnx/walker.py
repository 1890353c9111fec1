"""The walk along an ONNX graph from its one input, node by node: each node
folded by its entry in ops' tables, any graph other than the library's
network refused with the node and what to change (messages). The forms
accepted are listed in ombrel.knowledge.onnx."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np

from ..conversion import check_classes, check_layers, check_units
from ..input_map import InputMap
from ..layout import INPUT_LENGTH
from . import ops
from .constants import attributes
from .graph import Graph
from .messages import NOTES, label, refusal, short

# Nodes that may hang off the output: labels, maps and reshapes of it.
AFTER_OUTPUT = ("ArgMax", "ZipMap", "ArrayFeatureExtractor", "Identity", "Cast", "Reshape",
                "Flatten", "Squeeze", "Unsqueeze", "TopK", "ReduceMax")
SOFTMAX = ("Softmax", "LogSoftmax")
HIDDEN_ACTIVATIONS = ("Relu", "Sigmoid", "LeakyRelu", "Elu", "Selu", "HardSigmoid", "Softplus",
                      "Softsign", "PRelu", "Gelu", "HardSwish", "Mish", "ThresholdedRelu", "Celu",
                      "Tanh")


def is_dense(node: Optional[Any]) -> bool:
    return node is not None and node.op_type in ops.DENSE and not node.domain


class Walk:
    """Walks the graph from its input, one node at a time."""

    def __init__(self, graph: Graph, start: str):
        self.g = graph
        self.current = start
        self.width = INPUT_LENGTH
        self.map = InputMap()
        self.steps: list[ops.Step] = []
        self.description: list[str] = []
        self.notes: list[str] = []

    def consumers(self, tensor: str, after: str) -> list[Any]:
        nodes = self.g.consumers.get(tensor, [])
        if len(nodes) > 1:
            if any(n.op_type == "Shape" for n in nodes):
                raise refusal("shape_fan_out", tensor=tensor, after=after)
            raise refusal("fan_out", tensor=tensor, after=after, count=len(nodes),
                          nodes=", ".join(label(n) for n in nodes))
        return nodes

    def next_node(self, after: str) -> Optional[Any]:
        """The one node that reads the current tensor, passing through
        Identity, Dropout, Flatten, Reshape and Cast; None at the graph's end."""
        while True:
            nodes = self.consumers(self.current, after)
            if not nodes:
                return None
            node = nodes[0]
            if node.op_type not in ops.PASS_THROUGH or node.domain:
                return node
            ops.PASS_THROUGH[node.op_type](self, node)
            self.current = node.output[0]

    def peek(self, tensor: str) -> Optional[Any]:
        """The first node after `tensor` that is not passed through."""
        nodes = self.g.consumers.get(tensor, [])
        while len(nodes) == 1 and nodes[0].op_type in ops.PASS_THROUGH:
            nodes = self.g.consumers.get(nodes[0].output[0], [])
        return nodes[0] if len(nodes) == 1 else None

    def dense(self, node: Any, layer: str, width: int) -> tuple[np.ndarray, np.ndarray]:
        if node.input[0] != self.current:
            raise refusal("weights_first", node=label(node))
        d = ops.DENSE[node.op_type](self, node, layer, width)
        self.steps += d.steps
        self.current = d.end
        self.description.append(d.text)
        return d.W, d.b

    def affine(self, node: Any) -> None:
        fold = ops.AFFINE.get((node.domain, node.op_type))
        if fold is None:
            key = "activation_first" if node.op_type in HIDDEN_ACTIVATIONS else "preprocessing"
            raise refusal(key, node=label(node))
        step = fold(self, node)
        step.fold(self.map)
        self.steps.append(step.step)
        self.description.append(short(node))

    def preprocessing(self, node: Optional[Any]) -> tuple[np.ndarray, np.ndarray, Any]:
        """Reads up to the hidden layer's dense node, gathering every step
        before it into self.map; returns that layer's (W, b) and the node
        after it."""
        while True:
            if node is None:
                raise refusal("ends_early")
            if not is_dense(node):
                self.affine(node)
                self.current = node.output[0]
                node = self.next_node("the preprocessing")
                continue
            W, b = self.dense(node, "dense layer", self.width)
            after = self.next_node("the dense layer")
            if self.activation_follows(after):
                return W, b, after
            if after is None or after.op_type in SOFTMAX:
                check_layers(1)
            self.map.linear(W, b, "%s (%d to %d)" % (label(node), W.shape[0], W.shape[1]))
            self.width = self.map.width
            self.description[-1] = "linear map: " + self.description[-1].split(": ", 1)[1] + \
                ", folded into the hidden layer"
            node = after

    def activation_follows(self, node: Optional[Any]) -> bool:
        if node is not None and node.op_type == "BatchNormalization":
            node = self.peek(node.output[0])
        return node is not None and node.op_type in HIDDEN_ACTIVATIONS

    def hidden_layer(self) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]:
        """(means, scales, W, b) of everything up to the tanh units, folded."""
        W, b, node = self.preprocessing(self.next_node("the input"))
        pre = [d for d in self.description[:-1] if not d.startswith("linear map")]
        linear = [d for d in self.description[:-1] if d.startswith("linear map")]
        hidden = "hidden layer: " + self.description[-1].split(": ", 1)[1]
        self.description = ["standardisation: " + (", ".join(pre) or "none (means 0, scales 1)")]
        self.description += linear + [hidden]
        if node is not None and node.op_type == "BatchNormalization":
            self.width = W.shape[1]
            params = ops.batch_normalization(self, node)
            W, b = ops.fold_hidden_batch_normalization(W, b, params)
            self.steps.append(ops.batch_norm_step(*params))
            self.description[-1] += ", %s (folded into its weights)" % short(node)
            self.current = node.output[0]
            node = self.next_node("the hidden layer's batch normalisation")
        if node is None or node.op_type != "Tanh":
            raise refusal("not_tanh", node=label(node))
        means, scales, W, b = self.map.fold(W, b)
        check_units(W.shape[1])
        self.width = W.shape[1]
        if self.map.note():
            self.notes.append(NOTES["folded"] % dict(map=self.map.note()))
        self.steps.append(np.tanh)
        self.description[-1] += ", " + short(node)
        self.current = node.output[0]
        return means, scales, W, b

    def read(self) -> tuple[np.ndarray, ...]:
        """(means, scales, W, b, V, c) of the network, float64, in the
        knowledge's terms before the soft-max factor."""
        means, scales, W, b = self.hidden_layer()
        node = self.next_node("the hidden units")
        if node is None:
            raise refusal("ends_after_tanh")
        if not is_dense(node):
            raise refusal("after_tanh", node=label(node))
        V, c = self.dense(node, "output layer", self.width)
        self.width = V.shape[1]
        self.finish()     # first: a dense layer after this one makes it a hidden layer, not the output
        check_classes(V.shape[1], pad_classes=True)      # padding is decided by the caller
        return means, scales, W, b, V, c

    def finish(self) -> None:
        """Accepts a Softmax or LogSoftmax on the scores, and ignores what
        only derives from the output (labels, maps)."""
        nodes = self.g.consumers.get(self.current, [])
        soft = [n for n in nodes if n.op_type in SOFTMAX and not n.domain]
        output = "logits"
        if len(soft) == 1:
            axis = attributes(soft[0]).get("axis", -1 if soft[0].op_type == "Softmax" else 1)
            if axis not in (1, -1):
                raise refusal("softmax_axis", node=label(soft[0]), axis=axis)
            output = short(soft[0])
        self.description[-1] += "; %s out; divided by the soft-max factor 5" % output
        after = self.after_output(nodes)
        if sum(n.op_type in ops.DENSE for n in after):
            check_layers(2 + sum(n.op_type in ops.DENSE for n in after))
        for node in after:
            if node is not (soft[0] if soft else None) and node.op_type not in AFTER_OUTPUT:
                raise refusal("after_output", node=label(node))

    def after_output(self, nodes: list[Any]) -> list[Any]:
        """Every node that derives from the output, in graph order."""
        seen: set[str] = set()
        stack = list(nodes)
        while stack:
            node = stack.pop()
            if node.name + node.output[0] in seen:
                continue
            seen.add(node.name + node.output[0])
            for out in node.output:
                stack.extend(self.g.consumers.get(out, []))
        return [n for n in self.g.nodes if n.name + n.output[0] in seen]
