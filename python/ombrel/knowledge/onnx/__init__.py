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

from ..card import KnowledgeFloats
from ..conversion import check_inputs, check_layers, from_arrays, note, notes_for, standardisation
from ..input_map import InputMap
from ..layout import INPUT_LENGTH, KnowledgeError
from ..reference import Imported, inverse_standardisation, normal_probes
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


def convert_onnx(path: Union[str, os.PathLike], pad_classes: bool = False,
                 notes: Optional[list[str]] = None, means: Optional[Any] = None,
                 stds: Optional[Any] = None, scales: Optional[Any] = None,
                 raw_inputs: bool = False, labels: Optional[Any] = None,
                 class_names: Optional[Any] = None) -> Imported:
    """from_onnx's knowledge, the graph evaluated in float64 as read, and
    signals drawn through its standardisation (a scaler's or a batch
    normalisation's statistics), or a standard normal without one."""
    source = read_onnx(path, means=means, stds=stds, scales=scales)
    notes = notes_for(notes)
    for text in source.notes:
        note(notes, text)
    given = means is not None or stds is not None or scales is not None
    if raw_inputs and given:
        raise KnowledgeError("raw_inputs=True says the model takes signals as they come: give "
                             "it without means, stds or scales")
    in_graph = bool((source.means != 0).any() or (source.scales != 1).any())
    floats = from_arrays(**source.arrays(), pad_classes=pad_classes, notes=notes, labels=labels,
                         class_names=class_names, source="ONNX model %s" % os.fsdecode(path))
    kind = "import" if given else "raw" if raw_inputs else "model" if in_graph else "unknown"
    floats.card = floats.card.replace(standardisation=kind, standardisation_steps=source.description[0]
                                      if source.description else "", notes=tuple(notes))
    probes, text = normal_probes, "standard normal (the model has no standardisation)"
    if in_graph:
        probes = inverse_standardisation(source.means, source.scales)
        text = "normal through the model's standardisation (its fitted statistics)"
    folded = source.arrays()
    steps = {"standardisation": floats.card.standardisation_steps or "none",
             "hidden layer": next((d for d in source.description if d.startswith("hidden layer")),
                                  "hidden layer"),
             "output layer": "output layer"}
    steps["hidden layer"] += "".join(", with %s" % d for d in source.description if d.startswith("linear map"))
    return Imported(floats, source.probabilities, probes, text, folded, steps, source.description)


def from_onnx(path: Union[str, os.PathLike], pad_classes: bool = False,
              notes: Optional[list[str]] = None, means: Optional[Any] = None,
              stds: Optional[Any] = None, scales: Optional[Any] = None,
              raw_inputs: bool = False, labels: Optional[Any] = None,
              class_names: Optional[Any] = None) -> KnowledgeFloats:
    """A knowledge's floats (float32) from an ONNX model file, without the
    import check (ombrel.import_onnx runs it).

    Accepts the single-input graphs that the usual exporters write for the
    library's network (see this module's description); raises KnowledgeError naming the
    node or dimension otherwise.  means and stds (or scales), 64 values
    each: the standardisation of a model trained on signals standardised
    outside its graph, composed before the graph's own; raw_inputs=True: the
    model was trained on signals as they come.  labels: the model's class of
    each output (default: the ids); class_names: a name per id.  Notes
    (rounding of float64 values, folded maps, padded classes) go to `notes`
    when given, else they are issued as ConversionWarning."""
    return convert_onnx(path, pad_classes, notes, means, stds, scales, raw_inputs, labels,
                        class_names).floats
