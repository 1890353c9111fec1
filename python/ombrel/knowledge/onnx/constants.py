"""Nodes of an ONNX graph that compute from constants only, evaluated with
numpy before the graph is read: so that x * (1 / std), (x - m) / sqrt(v +
eps) and a shape computed from the input's own shape (x.view(x.size(0),
-1)) read as the constants they are.

A Shape of the signal tensor gives its dimensions with BATCH for the batch
dimension: a number no real dimension has, which survives Gather, Unsqueeze,
Concat and Slice unchanged, so a Reshape can tell (batch, -1) from any other
shape.
"""

from __future__ import annotations

from typing import Any, Callable, Optional

import numpy as np

BATCH = 2 ** 62 + 12345


def attributes(node: Any) -> dict[str, Any]:
    """A node's attributes by name, as Python values."""
    from onnx import helper
    return {a.name: helper.get_attribute_value(a) for a in node.attribute}


def _numpy_type(onnx_type: int) -> np.dtype:
    from onnx import helper
    try:
        return np.dtype(helper.tensor_dtype_to_np_dtype(onnx_type))
    except AttributeError:                 # onnx before 1.13
        from onnx import mapping
        return np.dtype(mapping.TENSOR_TYPE_TO_NP_TYPE[onnx_type])


def _axes(values: list[np.ndarray], a: dict[str, Any]) -> Optional[list[int]]:
    if len(values) > 1 and values[1] is not None:
        return [int(v) for v in np.asarray(values[1]).reshape(-1)]
    return list(a["axes"]) if "axes" in a else None


def _unsqueeze(x: np.ndarray, axes: list[int]) -> np.ndarray:
    rank = x.ndim + len(axes)
    for axis in sorted(v % rank for v in axes):
        x = np.expand_dims(x, axis)
    return x


def _reshape(x: np.ndarray, shape: np.ndarray, allowzero: int) -> np.ndarray:
    dims = [int(v) for v in shape.reshape(-1)]
    if not allowzero:
        dims = [x.shape[i] if d == 0 else d for i, d in enumerate(dims)]
    return x.reshape(dims)


def _slice(x: np.ndarray, values: list[np.ndarray], a: dict[str, Any]) -> np.ndarray:
    if len(values) > 1:
        starts, ends = (np.asarray(v).reshape(-1) for v in values[1:3])
        axes = np.asarray(values[3]).reshape(-1) if len(values) > 3 else np.arange(len(starts))
        steps = np.asarray(values[4]).reshape(-1) if len(values) > 4 else np.ones(len(starts), int)
    else:
        starts, ends = np.asarray(a["starts"]), np.asarray(a["ends"])
        axes, steps = np.asarray(a.get("axes", range(len(starts)))), np.ones(len(starts), int)
    index = [slice(None)] * x.ndim
    for s, e, ax, st in zip(starts, ends, axes, steps):
        index[int(ax)] = slice(int(s), int(e), int(st))
    return x[tuple(index)]


def _divide(a: np.ndarray, b: np.ndarray) -> np.ndarray:
    if a.dtype.kind in "iu" and b.dtype.kind in "iu":
        return np.trunc(a / b).astype(np.result_type(a, b))
    return a / b


Rule = Callable[[list[np.ndarray], dict[str, Any]], np.ndarray]
RULES: dict[str, Rule] = {
    "Identity": lambda v, a: v[0],
    "Reciprocal": lambda v, a: (np.ones((), v[0].dtype) / v[0]).astype(v[0].dtype),
    "Sqrt": lambda v, a: np.sqrt(v[0]),
    "Neg": lambda v, a: -v[0],
    "Abs": lambda v, a: np.abs(v[0]),
    "Exp": lambda v, a: np.exp(v[0]),
    "Log": lambda v, a: np.log(v[0]),
    "Add": lambda v, a: v[0] + v[1],
    "Sub": lambda v, a: v[0] - v[1],
    "Mul": lambda v, a: v[0] * v[1],
    "Div": lambda v, a: _divide(v[0], v[1]),
    "Pow": lambda v, a: np.power(v[0], v[1]).astype(v[0].dtype),
    "MatMul": lambda v, a: v[0] @ v[1],
    "Cast": lambda v, a: v[0].astype(_numpy_type(a["to"])),
    "Transpose": lambda v, a: np.transpose(v[0], a.get("perm")),
    "Unsqueeze": lambda v, a: _unsqueeze(v[0], _axes(v, a)),
    "Squeeze": lambda v, a: np.squeeze(v[0], tuple(_axes(v, a) or ()) or None),
    "Reshape": lambda v, a: _reshape(v[0], v[1], a.get("allowzero", 0)),
    "Flatten": lambda v, a: v[0].reshape(int(np.prod(v[0].shape[:a.get("axis", 1)])), -1),
    "Gather": lambda v, a: np.take(v[0], v[1], axis=a.get("axis", 0)),
    "Concat": lambda v, a: np.concatenate([np.atleast_1d(x) for x in v], axis=a.get("axis", 0)),
    "Slice": lambda v, a: _slice(v[0], v, a),
    "Shape": lambda v, a: _shape_slice(np.array(v[0].shape, np.int64), a),
    "ConstantOfShape": lambda v, a: np.full([int(d) for d in v[0].reshape(-1)],
                                            _value(a) if "value" in a else np.float32(0)),
}


def _value(a: dict[str, Any]) -> np.ndarray:
    from onnx import numpy_helper
    return numpy_helper.to_array(a["value"]).reshape(-1)[0]


def signal_shapes(model: Any) -> dict[str, list[Optional[int]]]:
    """Dimensions of the graph's tensors as ONNX's shape inference gives
    them (None where unknown); the first dimension, the batch, is BATCH
    where it is not fixed."""
    import onnx
    try:
        inferred = onnx.shape_inference.infer_shapes(model).graph
    except Exception:                      # shapes are a help, never a requirement
        inferred = model.graph
    shapes = {}
    for v in list(inferred.input) + list(inferred.value_info) + list(inferred.output):
        t = v.type.tensor_type
        if not t.HasField("shape"):
            continue
        dims = [d.dim_value if d.HasField("dim_value") else None for d in t.shape.dim]
        if dims and dims[0] is None:
            dims[0] = BATCH
        shapes[v.name] = dims
    return shapes


def fold_constants(nodes: list[Any], constants: dict[str, np.ndarray], origin: dict[str, str],
                   shapes: dict[str, list[Optional[int]]], label: Callable[[Any], str]) -> list[Any]:
    """Evaluates, in graph order, every node whose inputs are all constants
    (and every Shape of a tensor whose dimensions are known), adding its
    outputs to `constants`; returns the nodes left."""
    left = []
    for node in nodes:
        rule = RULES.get(node.op_type) if not node.domain else None
        names = [n for n in node.input if n]
        known = all(n in constants for n in names)
        if node.op_type == "Shape" and not known and names:
            dims = shapes.get(names[0])
            if dims and all(d is not None for d in dims):
                constants[node.output[0]] = _shape_slice(np.array(dims, np.int64), attributes(node))
                origin[node.output[0]] = "%s" % label(node)
                continue
        if rule is None or not names or not known:
            left.append(node)
            continue
        values = [constants[n] if n else None for n in node.input]
        try:
            with np.errstate(all="ignore"):
                out = np.asarray(rule(values, attributes(node)))
        except Exception:                  # left for the reader, which names the node
            left.append(node)
            continue
        constants[node.output[0]] = out
        origin[node.output[0]] = "%s, computed from constants" % label(node)
    return left


def _shape_slice(dims: np.ndarray, a: dict[str, Any]) -> np.ndarray:
    return dims[a.get("start", 0):a.get("end", len(dims))]
