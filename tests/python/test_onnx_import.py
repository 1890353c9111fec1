"""ONNX import: every accepted form agrees with a float64 evaluation of its
graph; every refusal names its cause and writes nothing."""

import contextlib
import io
import os
import re
import subprocess
import sys

import numpy as np
import pytest
from onnx import helper, numpy_helper

from ombrel import knowledge
from numpy_network import forward
from ombrel.checks.import_check import check
from ombrel.commands.knowledge_command import main as knowledge_command
import onnx_models as om


@pytest.fixture
def run_import(tmp_path):
    """run_import(model, *options) -> (status, stdout, stderr, target path) of
    the import command on the model."""
    def run(model, *options):
        path = om.save(model, str(tmp_path / "m.onnx"))
        out, err = io.StringIO(), io.StringIO()
        target = str(tmp_path / "k.bin")
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = knowledge_command(["import", path, target, *options])
        return status, out.getvalue(), err.getvalue(), target
    return run


def test_passed_through_and_ignored_nodes_and_padding_with_check(run_import, tmp_path):
    net = om.network(9, classes=3)
    model = om.build(net, extra=[helper.make_node("ArgMax", ["y"], ["label"], name="argmax")])
    g = model.graph                       # x -> Flatten -> Identity -> Sub
    g.node[0].input[0] = "x_id"
    g.node.insert(0, helper.make_node("Identity", ["x_flat"], ["x_id"], name="id"))
    g.node.insert(0, helper.make_node("Flatten", ["x"], ["x_flat"], name="flat", axis=1))
    rng = np.random.default_rng(2)
    x = net["mean"] + net["std"] * rng.normal(size=(50, 64))
    signals = str(tmp_path / "s.csv")
    np.savetxt(signals, x, fmt="%.4f", delimiter=",")
    status, out, err, target = run_import(model, "--check", signals)
    assert status == 1, out + err
    assert "the model has 3 classes; the library classifies into 4" in err
    status, out, err, target = run_import(model, "--check", signals, "--pad-classes")
    assert status == 0, out + err
    assert "class 4 (NoSign) are padding: their probability is 0" in out.replace("classes 4", "class 4")
    assert "check: 50 signals: classes agree on 50 (100.00%)" in out
    p, _ = forward(knowledge.read(target), np.float32(x))
    assert (p[:, 3] == 0).all()


def test_a_wrong_knowledge_fails_the_check():
    net, other = om.network(3), om.network(4)
    x = np.float32(net["mean"] + net["std"] * np.random.default_rng(1).normal(size=(100, 64)))
    floats = knowledge.from_arrays(means=other["mean"], stds=other["std"], hidden_weights=other["W"],
                                   hidden_biases=other["b"], output_weights=other["V"], output_biases=other["c"])
    result = check(floats, om.reference(net, np.float64(x)), x, list(range(1, 101)))
    assert not result.passed
    assert "FAILED" in result.lines()[-1]


def three_hidden_layers():
    hidden3 = om.build(om.network(1), layer="gemm1")
    hidden3.graph.node[-2].output[0] = "z2"          # fc2 -> tanh -> fc3 -> softmax
    hidden3.graph.node.insert(len(hidden3.graph.node) - 1, helper.make_node("Tanh", ["z2"], ["h2"]))
    hidden3.graph.node.insert(len(hidden3.graph.node) - 1, helper.make_node("Gemm", ["h2", "fc2_W"], ["z"], transB=1))
    hidden3.graph.initializer[-2].CopyFrom(  # fc2_W as square 8x8 to chain a third layer
        numpy_helper.from_array(np.eye(8, 4, dtype=np.float32).T.copy(), "fc2_W"))
    return hidden3


@pytest.mark.parametrize("model, message", [
    (lambda: om.build(om.network(1), activation="Relu"),
     "node 'relu_1' (Relu): the library's hidden units are tanh only"),
    (lambda: om.build(om.network(1, units=32)), "hidden layer has 32 units; the library holds at most 23"),
    (lambda: om.build(om.network(1, classes=5)),
     "the model has 5 classes; the library classifies into 4 (use --pad-classes for 2 or 3)"),
    (lambda: om.build(om.network(1, inputs=60)), "input has 60 values; signals have 64"),
    (three_hidden_layers, "the model has two hidden layers; the library has one"),
    (lambda: om.build(om.network(1), output="logits", extra=[helper.make_node("Sigmoid", ["z"], ["s"], name="squash")]),
     "node 'squash' (Sigmoid): comes after the output layer"),
], ids=["relu", "32_units", "5_classes", "60_inputs", "two_hidden_layers", "sigmoid_after"])
def test_each_refusal_names_its_cause_and_writes_nothing(run_import, model, message):
    status, out, err, target = run_import(model())
    assert (status, out) == (1, ""), err
    assert message in err
    assert err.count("\n") == 1, err
    assert not os.path.exists(target)


def test_refusal_from_the_command_has_no_traceback(tmp_path):
    bad = tmp_path / "bad.onnx"
    bad.write_bytes(b"\x0a\xff\xff not a model")
    run = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "import", str(bad), str(tmp_path / "k.bin")],
                         capture_output=True, text=True)
    assert (run.returncode, run.stdout) == (1, "")
    assert re.search(r"^error: .*bad.onnx: not an ONNX model \(.*\)\n$", run.stderr)
    assert os.listdir(tmp_path) == ["bad.onnx"]
