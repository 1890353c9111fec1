"""An ONNX model loaded as the importer reads it: the constants (initializers,
Constant nodes, and nodes that compute from constants only), the nodes left,
and who produces and who reads each tensor."""

from __future__ import annotations

import os
import warnings
from typing import Any, Optional, Union

import numpy as np

from .constants import attributes, fold_constants, signal_shapes
from .messages import NOTES, label, refusal

FLOAT_TYPES = (1, 10, 11)            # TensorProto FLOAT, FLOAT16, DOUBLE
CONSTANT_KEYS = ("value_float", "value_floats", "value_int", "value_ints")


def load(path: Union[str, os.PathLike]) -> Any:
    try:
        import onnx
        from onnx import numpy_helper  # noqa: F401
    except ImportError:
        raise refusal("no_onnx") from None
    with open(path, "rb") as f:           # the user's path in any OSError
        data = f.read()
    try:
        with warnings.catch_warnings():   # the refusal below says it, once
            warnings.simplefilter("ignore")
            model = onnx.load_model_from_string(data)
    except Exception as e:                # any decoding failure of the protobuf
        raise refusal("not_onnx", reason=str(e) or type(e).__name__) from None
    if not model.graph.node and not model.graph.input:
        raise refusal("not_onnx", reason="no graph")
    return model


def input_width(value_info: Any) -> Optional[int]:
    """Values per signal that the input declares, None where not fixed."""
    t = value_info.type.tensor_type
    if t.elem_type not in FLOAT_TYPES:
        from onnx import TensorProto
        raise refusal("input_type", name=value_info.name,
                      type=TensorProto.DataType.Name(t.elem_type))
    dims = [d.dim_value if d.HasField("dim_value") else None for d in t.shape.dim]
    inner = dims[1:] if len(dims) > 1 else dims
    if not inner or any(d is None for d in inner):
        return None
    return int(np.prod(inner))


def _constant_node(node: Any) -> np.ndarray:
    from onnx import numpy_helper
    a = attributes(node)
    if "value" in a:
        return numpy_helper.to_array(a["value"])
    key = next((k for k in CONSTANT_KEYS if k in a), None)
    if key is None:
        raise refusal("no_numbers", node=label(node))
    return np.asarray(a[key])


class Graph:
    def __init__(self, model: Any):
        from onnx import numpy_helper
        self.constants: dict[str, np.ndarray] = {}
        self.origin: dict[str, str] = {}          # constant -> where it was stored
        for t in model.graph.initializer:
            self.constants[t.name] = numpy_helper.to_array(t)
            self.origin[t.name] = "initializer '%s'" % t.name
        nodes = []
        for node in model.graph.node:
            if node.op_type == "Constant" and not node.domain:
                self.constants[node.output[0]] = _constant_node(node)
                self.origin[node.output[0]] = label(node)
            else:
                nodes.append(node)
        self.nodes = fold_constants(nodes, self.constants, self.origin, signal_shapes(model), label)
        self.producer = {out: node for node in self.nodes for out in node.output}
        self.consumers: dict[str, list[Any]] = {}
        for node in self.nodes:
            for name in set(node.input):
                self.consumers.setdefault(name, []).append(node)
        self.inputs = [v for v in model.graph.input if v.name not in self.constants]

    def constant(self, node: Any, index: int, what: str) -> np.ndarray:
        name = node.input[index] if index < len(node.input) else ""
        if name not in self.constants:
            source = self.producer.get(name)
            how = (" (it is computed by %s from the signal)" % label(source)) if source else ""
            raise refusal("not_constant", node=label(node), name=name, what=what, how=how)
        return self.constants[name]

    def parameter(self, node: Any, index: int, what: str, notes: list[str]) -> np.ndarray:
        """A float constant as float64, noting values that float32 changes."""
        a = self.constant(node, index, what)
        if a.dtype.kind != "f":
            raise refusal("not_float", node=label(node), what=what, dtype=a.dtype)
        wide = a.astype(np.float64)
        if a.dtype == np.float64:
            with np.errstate(over="ignore", invalid="ignore"):
                narrow = wide.astype(np.float32).astype(np.float64)
                changed = (narrow != wide) & ~np.isnan(wide)
                if changed.any():
                    rel = np.abs((narrow - wide)[changed] / wide[changed]).max()
                    notes.append(NOTES["float64"] % dict(
                        origin=self.origin[node.input[index]], changed=int(changed.sum()),
                        count=a.size, largest=rel))
        return wide

