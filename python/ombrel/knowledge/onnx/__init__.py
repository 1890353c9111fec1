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
whose inputs are all constants are evaluated first.

The modules: graph (loading), ops (each op type's fold and float64 step),
walker (the chain), messages (what the import says), constants (constant
folding).
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from typing import Any, Optional, Union

import numpy as np

from ..conversion import check_inputs, check_layers, from_arrays, note, standardisation
from ..input_map import InputMap
from ..layout import INPUT_LENGTH
from .graph import Graph, input_width, load
from .messages import refusal
from .ops import DENSE, Step
from .walker import Walk


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


def read_onnx(path: Union[str, os.PathLike], means: Optional[Any] = None,
              stds: Optional[Any] = None, scales: Optional[Any] = None) -> SourceModel:
    """Reads the network of an ONNX model, refusing any other graph. means
    and stds (or scales): a standardisation done outside the graph, applied
    to the signals before it."""
    g = Graph(load(path))
    if len(g.inputs) != 1:
        raise refusal("inputs", count=len(g.inputs))
    width = input_width(g.inputs[0])
    if width is not None:
        check_inputs(width)
    dense = sum(1 for n in g.nodes if n.op_type in DENSE)
    if dense < 2:
        check_layers(dense)
    walk = Walk(g, g.inputs[0].name)
    if means is not None or stds is not None or scales is not None:
        m, s = standardisation(means, scales, stds)
        walk.map = InputMap(m, s)
        walk.steps.append(lambda x: (x - m) * s)
        walk.description.append("given at import (%s)"
                                % ("means, stds" if stds is not None else "means, scales"))
    return SourceModel(*walk.read(), walk.steps, walk.description, walk.notes)


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
