import os
import tempfile
import threading
import unittest

import numpy as np

import ombrel
from support import CLI_DATA, EMG, c_loop, random_signals

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")          # 23 hidden units


def bits(a):
    return np.ascontiguousarray(a).view(np.uint32)


class ClassifierTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.clf = ombrel.Classifier(KNOWLEDGE)
        cls.X = random_signals(np.random.default_rng(7), 3000)

    def test_bits_equal_classifier_run_for_every_knowledge_size(self):
        for knowledge in (KNOWLEDGE, os.path.join(CLI_DATA, "k3.bin"), os.path.join(CLI_DATA, "k0.bin"),
                          os.path.join(CLI_DATA, "k3_trailing_bytes.bin")):
            with self.subTest(knowledge=os.path.basename(knowledge)), tempfile.TemporaryDirectory() as tmp:
                clf = ombrel.Classifier(knowledge)
                expected_p, expected_ids = c_loop(knowledge, self.X, tmp)
                ids, p = clf.classify(self.X)
                np.testing.assert_array_equal(bits(p), bits(expected_p))
                np.testing.assert_array_equal(ids, expected_ids)
                self.assertEqual(p.dtype, np.float32)
                self.assertEqual(ids.dtype, np.uint8)

    def test_input_forms_convert_as_c_does(self):
        wide = self.X.astype(np.float64) + np.float64(1e-9)   # rounds back to the same floats
        expected = self.clf.predict_proba(self.X)
        for form in (wide, np.asfortranarray(wide), np.asfortranarray(self.X), self.X.tolist()):
            np.testing.assert_array_equal(bits(self.clf.predict_proba(form)), bits(expected))
        with np.errstate(over="ignore"):
            half = self.X[:50].astype(np.float16)
        np.testing.assert_array_equal(bits(self.clf.predict_proba(half)),
                                      bits(self.clf.predict_proba(half.astype(np.float32))))
        one = self.clf.classify(self.X[5])
        self.assertEqual(one.probabilities.shape, (4,))
        self.assertEqual(one.class_ids, self.clf.predict(self.X[5:6])[0])
        with self.assertRaisesRegex(ValueError, r"\(n, 64\)"):
            self.clf.predict(np.zeros((3, 63)))
        with self.assertRaises(TypeError):
            self.clf.predict(np.array([["a"] * 64]))

    def test_trace_shows_the_stages_of_the_same_classification(self):
        stages = self.clf.trace(self.X[3])
        self.assertEqual(stages["hidden"].shape, (23,))
        np.testing.assert_array_equal(bits(stages["probabilities"]), bits(self.clf.predict_proba(self.X[3])))
        self.assertEqual(stages["class_id"], self.clf.predict(self.X[3]))
        self.assertEqual(set(stages), {"standardised", "hidden", "scores", "probabilities", "class_id"})

    def test_eight_threads_get_the_sequential_bits(self):
        blocks = [random_signals(np.random.default_rng(100 + t), 20000) for t in range(8)]
        expected = [self.clf.predict_proba(b) for b in blocks]
        got = [None] * 8
        start = threading.Barrier(8)

        def work(t):
            start.wait()
            got[t] = [self.clf.predict_proba(blocks[t]) for _ in range(3)]

        threads = [threading.Thread(target=work, args=(t,)) for t in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for t in range(8):
            for result in got[t]:
                np.testing.assert_array_equal(bits(result), bits(expected[t]))

    def test_refusals_state_the_reason_and_arrays_read_as_files(self):
        for name, reason in (("refused_configuration_mismatch.bin", "configuration mismatch"),
                             ("refused_unit_count_24.bin", "unusable unit count"),
                             ("refused_short_header.bin", "too short to hold the unit count"),
                             ("refused_four_bytes_short.bin", "configuration mismatch")):
            with self.subTest(name), self.assertRaisesRegex(ombrel.KnowledgeError, reason):
                ombrel.Classifier(os.path.join(CLI_DATA, name))
        self.assertTrue(issubclass(ombrel.KnowledgeError, ValueError))
        floats = np.fromfile(KNOWLEDGE, "<f4")
        from_array = ombrel.Classifier(floats)
        np.testing.assert_array_equal(bits(from_array.predict_proba(self.X)), bits(self.clf.predict_proba(self.X)))
        with self.assertRaisesRegex(ombrel.KnowledgeError, "configuration mismatch"):
            ombrel.Classifier(floats[:-1])
        with self.assertRaises(TypeError):
            ombrel.Classifier(floats.astype(np.float64))


if __name__ == "__main__":
    unittest.main()
