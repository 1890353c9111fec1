"""What each ONNX operator becomes: a table from op type to a small fold
function, with the node's float64 step beside its fold.

- PASS_THROUGH: nodes that leave the values as they are (checked only);
- AFFINE: per-input steps by constants, folded into the standardisation;
- DENSE: a dense layer, (W [in][out], b [out]), for the hidden or output
  layer, or a constant linear map folded into the hidden layer.

A fold function takes the walk (its current tensor and width, the graph's
constants, the notes) and the node. ONNX's defaults apply where an optional
attribute or input is absent (BatchNormalization's epsilon 1e-5, Gemm's
alpha and beta 1, transA and transB 0, no C; Scaler's offset 0 and scale 1).
"""

from __future__ import annotations

from typing import Any, Callable, NamedTuple

import numpy as np

from ..conversion import check_inputs
from ..input_map import InputMap, fit
from ..layout import INPUT_LENGTH
from .constants import BATCH, attributes
from .messages import NOTES, dims, label, refusal, short

Step = Callable[[np.ndarray], np.ndarray]
BATCH_NORM_EPSILON = 1e-5


class Affine(NamedTuple):
    fold: Callable[[InputMap], None]     # applies the step to the standardisation
    step: Step


class Dense(NamedTuple):
    W: np.ndarray                        # [in][out], float64
    b: np.ndarray                        # [out]
    steps: list[Step]
    end: str                             # the tensor that holds its result
    text: str                            # for the import's description


def vector(walk: Any, node: Any, index: int, what: str) -> np.ndarray:
    """A constant of one number, or one per value of the current width."""
    return fit(walk.g.parameter(node, index, what, walk.notes), walk.width,
               "%s: its %s" % (label(node), what))


def batch_normalization(walk: Any, node: Any) -> tuple[np.ndarray, ...]:
    """(gamma, beta, mean, var, eps) of a BatchNormalization in inference form."""
    a = attributes(node)
    if a.get("training_mode", 0) or len([o for o in node.output if o]) > 1:
        raise refusal("batch_norm_training", node=label(node))
    gamma, beta, mean, var = (vector(walk, node, i, w) for i, w in
                              enumerate(("scale", "bias", "running mean", "running variance"), 1))
    eps = float(a.get("epsilon", BATCH_NORM_EPSILON))
    if (var + eps <= 0).any():
        raise refusal("variance", node=label(node), index=int(np.flatnonzero(var + eps <= 0)[0]))
    return gamma, beta, mean, var, eps


def batch_norm_step(gamma, beta, mean, var, eps) -> Step:
    return lambda x: (x - mean) / np.sqrt(var + eps) * gamma + beta


def fold_hidden_batch_normalization(W: np.ndarray, b: np.ndarray, params: tuple
                                    ) -> tuple[np.ndarray, np.ndarray]:
    """A BatchNormalization after a dense layer, folded into it:
    k (W x + b - mean) + beta with k = gamma / sqrt(var + eps)."""
    gamma, beta, mean, var, eps = params
    k = gamma / np.sqrt(var + eps)
    return W * k, (b - mean) * k + beta


def _batch_norm(walk: Any, node: Any) -> Affine:
    gamma, beta, mean, var, eps = batch_normalization(walk, node)
    return Affine(lambda m: (m.add(-mean), m.multiply(gamma / np.sqrt(var + eps)), m.add(beta)),
                  batch_norm_step(gamma, beta, mean, var, eps))


def _scaler(walk: Any, node: Any) -> Affine:
    a = attributes(node)
    offset = fit(a.get("offset", [0.0]), walk.width, "%s: offset" % label(node))
    scale = fit(a.get("scale", [1.0]), walk.width, "%s: scale" % label(node))
    return Affine(lambda m: (m.add(-offset), m.multiply(scale)), lambda x: (x - offset) * scale)


def _negate(walk: Any, node: Any) -> Affine:
    return Affine(lambda m: m.multiply(-np.ones(walk.width)), np.negative)


def _binary(walk: Any, node: Any) -> Affine:
    if len(node.input) != 2:
        raise refusal("preprocessing", node=label(node))
    op, first = node.op_type, node.input[0] == walk.current
    if op == "Div" and not first:
        raise refusal("constant_by_signal", node=label(node))
    what = {"Sub": "subtrahend" if first else "minuend", "Add": "addend", "Mul": "factor",
            "Div": "divisor"}[op]
    c = vector(walk, node, 1 if first else 0, what)
    if op == "Sub" and first:
        return Affine(lambda m: m.add(-c), lambda x: x - c)
    if op == "Sub":
        return Affine(lambda m: (m.multiply(-np.ones_like(c)), m.add(c)), lambda x: c - x)
    if op == "Add":
        return Affine(lambda m: m.add(c), lambda x: x + c)
    if op == "Mul":
        return Affine(lambda m: m.multiply(c), lambda x: x * c)
    fix = "give an input without spread a divisor of 1"
    return Affine(lambda m: m.divide(c, "%s: its divisor" % label(node), fix), lambda x: x / c)


def weights(walk: Any, node: Any, W: np.ndarray, width: int) -> None:
    """Refuses weights that are not a matrix taking the `width` values before them."""
    if W.ndim != 2:
        raise refusal("weights_rank", node=label(node), shape=W.shape)
    if W.shape[0] != width:
        if walk.map.matrix is None and width == INPUT_LENGTH:
            check_inputs(W.shape[0])
        raise refusal("weights_width", node=label(node), shape=W.shape, width=width)


def bias(node: Any, C: np.ndarray, units: int) -> np.ndarray:
    try:
        return np.broadcast_to(C.reshape(-1) if C.ndim > 1 else C, (units,)).copy()
    except ValueError:
        raise refusal("bias_shape", node=label(node), shape=C.shape, units=units) from None


def _gemm(walk: Any, node: Any, layer: str, width: int) -> Dense:
    a = attributes(node)
    if a.get("transA", 0):
        raise refusal("trans_a", node=label(node))
    B = walk.g.parameter(node, 1, "weights", walk.notes)
    if B.ndim != 2:
        raise refusal("weights_rank", node=label(node), shape=B.shape)
    W = B.T if a.get("transB", 0) else B
    alpha, beta = float(a.get("alpha", 1.0)), float(a.get("beta", 1.0))
    has_c = len(node.input) > 2 and node.input[2] != ""
    C = walk.g.parameter(node, 2, "bias", walk.notes) if has_c else np.zeros(1)
    weights(walk, node, W, width)
    C = bias(node, C, W.shape[1])
    text = "%s: %s (%d to %d%s)" % (layer, short(node), W.shape[0], W.shape[1],
                                    ", transB=1" if a.get("transB", 0) else "")
    return Dense(alpha * W, beta * C, [lambda x: alpha * (x @ W) + beta * C], node.output[0], text)


def _matmul(walk: Any, node: Any, layer: str, width: int) -> Dense:
    """A MatMul, and the Add of a bias that follows it alone."""
    W = walk.g.parameter(node, 1, "weights", walk.notes)
    weights(walk, node, W, width)
    steps, end = [lambda x: x @ W], node.output[0]
    text = "%s: %s (%d to %d)" % (layer, short(node), W.shape[0], W.shape[1])
    nodes = walk.g.consumers.get(end, [])
    b = np.zeros(W.shape[1])
    if len(nodes) == 1 and nodes[0].op_type == "Add":
        add = nodes[0]
        C = walk.g.parameter(add, 1 if add.input[0] == end else 0, "bias", walk.notes)
        b = bias(add, C, W.shape[1])
        steps.append(lambda x, b=b.copy(): x + b)
        end, text = add.output[0], text + ", " + short(add)
    return Dense(W, b, steps, end, text)


def _flatten(walk: Any, node: Any) -> None:
    axis = attributes(node).get("axis", 1)
    if axis != 1:
        raise refusal("flatten_axis", node=label(node), axis=axis)


def _cast(walk: Any, node: Any) -> None:
    if attributes(node).get("to") not in (1, 11):          # TensorProto FLOAT, DOUBLE
        raise refusal("cast", node=label(node))


def _dropout(walk: Any, node: Any) -> None:
    if len(node.input) > 2 and node.input[2]:
        training = walk.g.constants.get(node.input[2])
        if training is None or bool(np.asarray(training).reshape(-1)[0]):
            raise refusal("dropout_training", node=label(node))


def _reshape(walk: Any, node: Any) -> None:
    name = node.input[1] if len(node.input) > 1 else ""
    if name not in walk.g.constants:
        raise refusal("reshape_unknown", node=label(node))
    shape = [int(v) for v in walk.g.constants[name].reshape(-1)]
    if len(shape) == 2 and shape[1] in (-1, walk.width) and shape[0] in (0, -1, BATCH):
        return
    if len(shape) == 2 and shape[1] in (-1, walk.width) and shape[0] > 0:
        walk.notes.append(NOTES["fixed_batch"] % dict(node=label(node), shape=dims(shape)))
        return
    raise refusal("reshape", node=label(node), shape=dims(shape))


PASS_THROUGH = {"Identity": lambda walk, node: None, "Flatten": _flatten, "Reshape": _reshape,
                "Cast": _cast, "Dropout": _dropout}
AFFINE = {("", "Sub"): _binary, ("", "Add"): _binary, ("", "Mul"): _binary, ("", "Div"): _binary,
          ("", "Neg"): _negate, ("", "BatchNormalization"): _batch_norm,
          ("ai.onnx.ml", "Scaler"): _scaler}
DENSE = {"Gemm": _gemm, "MatMul": _matmul}
