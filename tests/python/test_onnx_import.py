"""ONNX import: every accepted form agrees with a float64 evaluation of its
graph; every refusal names its cause and writes nothing."""

import contextlib
import io
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np
from onnx import helper

from ombrel import knowledge
import onnx_models as om


class ImportTest(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def run_import(self, model, *options):
        path = om.save(model, os.path.join(self.dir, "m.onnx"))
        out, err = io.StringIO(), io.StringIO()
        target = os.path.join(self.dir, "k.bin")
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = knowledge.main(["import", path, target, *options])
        return status, out.getvalue(), err.getvalue(), target


class AcceptedForms(ImportTest):
    FORMS = [  # standardisation, layer, output, dtype, alpha, beta
        ("sub_div", "gemm1", "softmax", np.float32, 1.0, 1.0),    # PyTorch's export
        ("scaler", "gemm0", "logits", np.float32, 0.5, 2.0),
        ("sub_mul", "matmul", "softmax", np.float32, 1.0, 1.0),   # Keras via ONNX
        ("none", "matmul", "logits", np.float64, 1.0, 1.0),
        ("sub_div", "gemm0", "softmax", np.float64, 1.0, 1.0),
    ]

    def test_each_form_agrees_with_float64_evaluation_of_its_graph(self):
        rng = np.random.default_rng(7)
        for i, (std, layer, output, dtype, alpha, beta) in enumerate(self.FORMS):
            with self.subTest(std=std, layer=layer, output=output, dtype=dtype.__name__):
                net = om.network(i)
                x = (net["mean"] + net["std"] * rng.normal(size=(300, 64))).astype(np.float32)
                if std == "none":
                    x = rng.normal(size=(300, 64)).astype(np.float32)
                model = om.build(net, std, layer, output, dtype, alpha, beta)
                notes = []
                floats = knowledge.from_onnx(om.save(model, os.path.join(self.dir, "m.onnx")),
                                             notes=notes)
                p, classes = knowledge.forward(floats, x)
                expected = om.reference(net, x.astype(np.float64), std != "none", alpha, beta)
                np.testing.assert_allclose(p, expected, atol=1e-5)
                top = np.sort(expected, axis=1)
                clear = top[:, -1] - top[:, -2] > 1e-5
                np.testing.assert_array_equal(classes[clear], np.argmax(expected, axis=1)[clear] + 1)
                self.assertEqual(any("float64" in n for n in notes), dtype == np.float64, notes)

    def test_passed_through_and_ignored_nodes_and_padding_with_check(self):
        net = om.network(9, classes=3)
        model = om.build(net, extra=[helper.make_node("ArgMax", ["y"], ["label"], name="argmax")])
        g = model.graph                       # x -> Flatten -> Identity -> Sub
        g.node[0].input[0] = "x_id"
        g.node.insert(0, helper.make_node("Identity", ["x_flat"], ["x_id"], name="id"))
        g.node.insert(0, helper.make_node("Flatten", ["x"], ["x_flat"], name="flat", axis=1))
        rng = np.random.default_rng(2)
        x = net["mean"] + net["std"] * rng.normal(size=(50, 64))
        signals = os.path.join(self.dir, "s.csv")
        np.savetxt(signals, x, fmt="%.4f", delimiter=",")
        status, out, err, target = self.run_import(model, "--check", signals)
        self.assertEqual(status, 1, out + err)
        self.assertIn("the model has 3 classes; the library classifies into 4", err)
        status, out, err, target = self.run_import(model, "--check", signals, "--pad-classes")
        self.assertEqual(status, 0, out + err)
        self.assertIn("class 4 (NoSign) are padding: their probability is 0", out.replace("classes 4", "class 4"))
        self.assertIn("check: 50 signals: classes agree on 50 (100.00%)", out)
        p, _ = knowledge.forward(knowledge.read(target), np.float32(x))
        self.assertTrue((p[:, 3] == 0).all())

    def test_a_wrong_knowledge_fails_the_check(self):
        net, other = om.network(3), om.network(4)
        x = np.float32(net["mean"] + net["std"] * np.random.default_rng(1).normal(size=(100, 64)))
        floats = knowledge.from_arrays(means=other["mean"], stds=other["std"], hidden_weights=other["W"],
                                       hidden_biases=other["b"], output_weights=other["V"],
                                       output_biases=other["c"])
        result = knowledge.check(floats, om.reference(net, np.float64(x)), x, list(range(1, 101)))
        self.assertFalse(result.passed)
        self.assertIn("FAILED", result.lines()[-1])


class Refusals(ImportTest):
    def test_each_refusal_names_its_cause_and_writes_nothing(self):
        hidden3 = om.build(om.network(1), layer="gemm1")
        hidden3.graph.node[-2].output[0] = "z2"          # fc2 -> tanh -> fc3 -> softmax
        hidden3.graph.node.insert(len(hidden3.graph.node) - 1, helper.make_node("Tanh", ["z2"], ["h2"]))
        hidden3.graph.node.insert(len(hidden3.graph.node) - 1, helper.make_node(
            "Gemm", ["h2", "fc2_W"], ["z"], transB=1))
        hidden3.graph.initializer[-2].CopyFrom(  # fc2_W as square 8x8 to chain a third layer
            __import__("onnx").numpy_helper.from_array(np.eye(8, 4, dtype=np.float32).T.copy(), "fc2_W"))
        sigmoid = om.build(om.network(1), output="logits",
                           extra=[helper.make_node("Sigmoid", ["z"], ["s"], name="squash")])
        cases = [
            (om.build(om.network(1), activation="Relu"),
             "node 'relu_1' (Relu): the library's hidden units are tanh only"),
            (om.build(om.network(1, units=32)), "hidden layer has 32 units; the library holds at most 23"),
            (om.build(om.network(1, classes=5)),
             "the model has 5 classes; the library classifies into 4 (use --pad-classes for 2 or 3)"),
            (om.build(om.network(1, inputs=60)), "input has 60 values; signals have 64"),
            (hidden3, "the model has two hidden layers; the library has one"),
            (sigmoid, "node 'squash' (Sigmoid): comes after the output layer"),
        ]
        for model, message in cases:
            with self.subTest(message=message):
                status, out, err, target = self.run_import(model)
                self.assertEqual((status, out), (1, ""), err)
                self.assertIn(message, err)
                self.assertEqual(err.count("\n"), 1, err)
                self.assertFalse(os.path.exists(target))

    def test_refusal_from_the_command_has_no_traceback(self):
        bad = os.path.join(self.dir, "bad.onnx")
        with open(bad, "wb") as f:
            f.write(b"\x0a\xff\xff not a model")
        run = subprocess.run([sys.executable, "-m", "ombrel.knowledge", "import", bad,
                              os.path.join(self.dir, "k.bin")], capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stdout), (1, ""))
        self.assertRegex(run.stderr, r"^error: .*bad.onnx: not an ONNX model \(.*\)\n$")
        self.assertEqual(os.listdir(self.dir), ["bad.onnx"])


if __name__ == "__main__":
    unittest.main()
