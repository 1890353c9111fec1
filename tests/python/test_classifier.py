import os
import threading

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import ombrel
from ombrel import knowledge
from ombrel import _classifier
from support import CLI_DATA, EMG, c_loop, random_signals

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")          # 23 hidden units


def bits(a):
    return np.ascontiguousarray(a).view(np.uint32)


@pytest.fixture(scope="module")
def clf():
    return ombrel.Classifier(KNOWLEDGE)


@pytest.fixture(scope="module")
def X():
    return random_signals(np.random.default_rng(7), 3000)


@pytest.mark.parametrize("knowledge", [KNOWLEDGE, os.path.join(CLI_DATA, "k3.bin"), os.path.join(CLI_DATA, "k0.bin"),
                                       os.path.join(CLI_DATA, "k3_trailing_bytes.bin")], ids=os.path.basename)
def test_bits_equal_classifier_run_for_every_knowledge_size(knowledge, X, tmp_path):
    expected_p, expected_ids = c_loop(knowledge, X, str(tmp_path))
    ids, p = ombrel.Classifier(knowledge).classify(X)
    np.testing.assert_array_equal(bits(p), bits(expected_p))
    np.testing.assert_array_equal(ids, expected_ids)
    assert p.dtype == np.float32
    assert ids.dtype == np.uint8


def test_input_forms_convert_as_c_does(clf, X):
    wide = X.astype(np.float64) + np.float64(1e-9)   # rounds back to the same floats
    expected = clf.predict_proba(X)
    for form in (wide, np.asfortranarray(wide), np.asfortranarray(X), X.tolist()):
        np.testing.assert_array_equal(bits(clf.predict_proba(form)), bits(expected))
    with np.errstate(over="ignore"):
        half = X[:50].astype(np.float16)
    np.testing.assert_array_equal(bits(clf.predict_proba(half)), bits(clf.predict_proba(half.astype(np.float32))))
    one = clf.classify(X[5])
    assert one.probabilities.shape == (4,)
    assert one.class_ids == clf.predict(X[5:6])[0]
    with pytest.raises(ValueError, match=r"\(n, 64\)"):
        clf.predict(np.zeros((3, 63)))
    with pytest.raises(TypeError):
        clf.predict(np.array([["a"] * 64]))


def test_integers_round_once_to_float32(write_knowledge):
    # 2^60 + 2^36 + 1 lies just above the midpoint of the float32 neighbours
    # 2^60 and 2^60 + 2^37; through float64 it first rounds to the midpoint
    # 2^60 + 2^36, and then to even, 2^60. Means 0 and scales 1 make the
    # standardised values the converted inputs.
    clf = ombrel.Classifier(write_knowledge(units=1, means=np.zeros(64), scales=np.ones(64)))
    x = np.zeros(64, np.int64)
    x[0], x[1], x[2] = 2**60 + 2**36 + 1, -(2**60 + 2**36 + 1), 2**60 + 2**36
    for form in (x, x.tolist(), x.astype(np.uint64) * (x >= 0)):
        standardised = clf.trace(form)["standardised"]
        assert standardised[0] == np.float32(2**60 + 2**37)
        assert standardised[2] == np.float32(2**60)
    assert clf.trace(x)["standardised"][1] == -np.float32(2**60 + 2**37)


def test_trace_shows_the_stages_of_the_same_classification(clf, X):
    stages = clf.trace(X[3])
    assert stages["hidden"].shape == (23,)
    np.testing.assert_array_equal(bits(stages["probabilities"]), bits(clf.predict_proba(X[3])))
    assert stages["class_id"] == clf.predict(X[3])
    assert set(stages) == {"standardised", "hidden", "scores", "probabilities", "class_id"}


def test_eight_threads_get_the_sequential_bits(clf):
    blocks = [random_signals(np.random.default_rng(100 + t), 20000) for t in range(8)]
    expected = [clf.predict_proba(b) for b in blocks]
    got = [None] * 8
    start = threading.Barrier(8)

    def work(t):
        start.wait()
        got[t] = [clf.predict_proba(blocks[t]) for _ in range(3)]

    threads = [threading.Thread(target=work, args=(t,)) for t in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for t in range(8):
        for result in got[t]:
            np.testing.assert_array_equal(bits(result), bits(expected[t]))


@pytest.mark.parametrize("name, reason", [
    ("refused_configuration_mismatch.bin", "configuration mismatch"),
    ("refused_unit_count_24.bin", "unusable unit count"),
    ("refused_short_header.bin", "too short to hold the unit count"),
    ("refused_four_bytes_short.bin", "configuration mismatch"),
])
def test_refusals_state_the_reason(name, reason):
    with pytest.raises(ombrel.KnowledgeError, match=reason):
        ombrel.Classifier(os.path.join(CLI_DATA, name))
    assert issubclass(ombrel.KnowledgeError, ValueError)


def test_the_private_engine_makes_no_engine_over_a_refused_knowledge():
    floats = np.fromfile(KNOWLEDGE, "<f4")
    unusable = floats.copy()
    unusable[128] = np.nan
    for refused in (floats[:-1], unusable, floats[:100]):
        with pytest.raises(_classifier.KnowledgeRefused) as raised:
            _classifier.Engine(refused)
        assert raised.value.args[1] == 125
    assert _classifier.Engine(floats).unit_count == 23


def test_arrays_read_as_files(clf, X):
    floats = np.fromfile(KNOWLEDGE, "<f4")
    np.testing.assert_array_equal(bits(ombrel.Classifier(floats).predict_proba(X)), bits(clf.predict_proba(X)))
    with pytest.raises(ombrel.KnowledgeError, match="configuration mismatch"):
        ombrel.Classifier(floats[:-1])
    with pytest.raises(TypeError):
        ombrel.Classifier(floats.astype(np.float64))


@settings(max_examples=300, deadline=None)
@given(units=st.integers(0, 23), stored=st.sampled_from([0.0, 0.5, 0.99, -0.5, -1.0, 23.99, 24.0, np.nan, np.inf]),
       length=st.integers(0, 4 * 1740), seed=st.integers(0, 2 ** 32 - 1))
def test_the_engine_loads_bytes_as_the_layout_says(units, stored, length, seed):
    """The library's own passes (ombrel._classifier.loaded_knowledge) and the
    file format's reading (ombrel.knowledge) over the same bytes: a knowledge
    cut anywhere, a partial float included, or run on past its end."""
    floats = np.random.default_rng(seed).normal(size=knowledge.float_count(units)).astype("<f4")
    floats[knowledge.HEADER_FLOATS - 1] = units + stored if np.isfinite(stored) and stored >= 0 else stored
    data = (floats.tobytes() + bytes(range(256)) * 20)[:length]
    n = (knowledge.unit_count_from(floats[knowledge.HEADER_FLOATS - 1])
         if length >= 4 * knowledge.HEADER_FLOATS else None)
    loaded = _classifier.loaded_knowledge(data)
    if n is None:
        assert loaded is None
        return
    whole = min(len(data) // 4, knowledge.float_count(n))
    expected = np.zeros(knowledge.float_count(n), "<f4")
    expected[:whole] = np.frombuffer(data, "<f4", count=whole)
    np.testing.assert_array_equal(bits(loaded), bits(expected))
    np.testing.assert_array_equal(bits(knowledge.layout.loaded_floats(data, expected.size)), bits(expected))
