"""What the ONNX import says: how it names a node, and every refusal's text,
each one the cause and what to change. refusal(key, **fields) makes the
KnowledgeError; a message's fields are named in its text."""

from __future__ import annotations

from typing import Any, Optional

from ..layout import INPUT_LENGTH, KnowledgeError
from .constants import BATCH

FLATTEN = "flatten with torch.flatten(x, 1) or nn.Flatten() (Keras: Flatten())"
EVAL_MODE = "export the model in inference mode (PyTorch: model.eval() before torch.onnx.export)"
FIXED = ("the library needs fixed parameters: store them in the model (registered buffers, "
         "initializers)")
ONE_ROW = "the library takes each signal as one row of values"

MESSAGES = {
    "no_onnx": "reading ONNX models needs the onnx package (Debian: python3-onnx; pip: onnx)",
    "not_onnx": "not an ONNX model (%(reason)s)",
    "no_numbers": "%(node)s: holds no numbers",
    "not_constant": "%(node)s: input '%(name)s' (the %(what)s) is not a constant%(how)s; " + FIXED,
    "not_float": "%(node)s: its %(what)s holds %(dtype)s values; the library's parameters are floats",
    "input_type": "input '%(name)s' holds %(type)s values; signals are floats",
    "inputs": "the model has %(count)d inputs; the library takes one signal of "
              + str(INPUT_LENGTH) + " values",
    "shape_fan_out": "tensor '%(tensor)s' (%(after)s) feeds a Shape whose result the importer "
                     "cannot work out: " + FLATTEN,
    "fan_out": "tensor '%(tensor)s' (%(after)s) feeds %(count)d nodes: %(nodes)s; the library's "
               "network is one chain from the input to the output",
    "flatten_axis": "%(node)s: axis %(axis)d; " + ONE_ROW + ": " + FLATTEN,
    "cast": "%(node)s: casts to a type other than float or double; the library computes in float",
    "dropout_training": "%(node)s: runs in training mode; " + EVAL_MODE,
    "reshape_unknown": "%(node)s: reshapes by a shape the importer cannot work out; " + ONE_ROW
                       + ": " + FLATTEN,
    "reshape": "%(node)s: reshapes to %(shape)s; " + ONE_ROW + ": " + FLATTEN,
    "ends_early": "the model ends before its hidden layer",
    "constant_by_signal": "%(node)s: divides a constant by the signal; the library standardises "
                          "by constants: x / c or x * c",
    "activation_first": "%(node)s: comes before any dense layer; the library's input goes "
                        "through a standardisation into the hidden layer",
    "preprocessing": "%(node)s: the library runs, before its hidden layer, only steps by constants "
                     "that act on each input alone (Sub, Add, Mul, Div, BatchNormalization, Scaler) "
                     "and constant linear maps (Gemm, MatMul); do this step on the signals before "
                     "classifying, or remove it",
    "batch_norm_training": "%(node)s: in training form; " + EVAL_MODE,
    "variance": "%(node)s: variance plus epsilon is not positive at value %(index)d",
    "weights_first": "%(node)s: multiplies the weights by the signal; the library computes "
                     "signal @ weights",
    "trans_a": "%(node)s: transA=1; the library multiplies the signal as rows: export with transA=0",
    "weights_rank": "%(node)s: weights of shape %(shape)s; a dense layer has 2 dimensions",
    "weights_width": "%(node)s: weights of shape %(shape)s do not take the %(width)d values before it",
    "bias_shape": "%(node)s: bias of shape %(shape)s does not fit %(units)d units",
    "not_tanh": "%(node)s: the library's hidden units are tanh only; train the hidden layer with tanh",
    "ends_after_tanh": "the model ends after its tanh units; the library's tanh units feed the "
                       "output layer (Gemm, or MatMul then Add) directly",
    "after_tanh": "%(node)s: comes after the tanh units; the library's tanh units feed the output "
                  "layer (Gemm, or MatMul then Add) directly",
    "softmax_axis": "%(node)s: axis %(axis)d; the library's soft-max runs over the classes (axis -1)",
    "after_output": "%(node)s: comes after the output layer; the library's probabilities are the "
                    "soft-max of the output layer's scores: end the model with the output layer "
                    "or a Softmax",
}

NOTES = {
    "float64": "%(origin)s is float64: %(changed)d of %(count)d values change when rounded to "
               "float32 (largest relative change %(largest).1e)",
    "fixed_batch": "%(node)s reshapes to %(shape)s: read as one signal per row (the batch size "
                   "was fixed at export)",
    "folded": "%(map)s; --check measures what folding changed",
}


def refusal(key: str, **fields: Any) -> KnowledgeError:
    return KnowledgeError(MESSAGES[key] % fields)


def label(node: Optional[Any]) -> str:
    """How a refusal names a node: by its name, or by what it writes."""
    if node is None:
        return "the model's end"
    if node.name:
        return "node '%s' (%s)" % (node.name, node.op_type)
    return "node (%s) writing '%s'" % (node.op_type, node.output[0] if node.output else "")


def short(node: Any) -> str:
    """'Op 'name'' for the import's description, or the Op of an unnamed node."""
    return "%s '%s'" % (node.op_type, node.name) if node.name else node.op_type


def dims(shape: list[int]) -> str:
    return "(%s)" % ", ".join("batch" if d == BATCH else str(d) for d in shape)
