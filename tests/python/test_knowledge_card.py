"""The knowledge's card: any labels an import can meet survive the JSON
round trip and map back to their ids from a label file's text; the card is
written beside the knowledge, read only while its hash matches, and a stale
one is named and ignored."""

import json
import warnings

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import ombrel
from ombrel import knowledge
from ombrel.knowledge.card import Card, card_path, make_card

LABELS = st.one_of(
    st.lists(st.integers(-2**53, 2**53), min_size=2, max_size=4, unique=True),
    st.lists(st.floats(allow_nan=False, allow_infinity=False, width=64), min_size=2, max_size=4,
             unique_by=float),
    st.lists(st.text(min_size=1, max_size=8).filter(lambda t: t == t.strip()), min_size=2, max_size=4,
             unique=True))


@settings(max_examples=200, deadline=None)
@given(LABELS)
def test_labels_round_trip_and_map_back_from_text(labels):
    card = make_card(labels, "test")
    again = Card.from_json(card.to_json("0" * 64), "card")
    assert again.labels == card.labels and again.class_names == card.class_names
    back = again.label_map
    for k, label in enumerate(labels, 1):
        assert back.id_of_word(str(label)) == k
        if not isinstance(label, str):
            # numpy.savetxt's form of a number names the same label.
            assert back.id_of_word("%.18e" % label) == k
    order = np.random.default_rng(len(labels)).permutation(len(labels))
    np.testing.assert_array_equal(back.ids_of(np.array(labels, dtype=object)[order], "y"), order + 1)


def test_a_label_named_twice_or_outside_is_refused():
    with pytest.raises(knowledge.KnowledgeError, match="name a class twice"):
        make_card([7, 7.0], "test")
    with pytest.raises(ValueError, match=r"y: 5 at index 1 is not one of the model's classes \(6, 7\)"):
        make_card([6, 7], "test").label_map.ids_of(np.array([6, 5]), "y")


def _arrays(rng, classes=4):
    return dict(hidden_weights=rng.normal(0, 0.3, (64, 3)), hidden_biases=np.zeros(3),
                output_weights=rng.normal(0, 1, (3, classes)), output_biases=np.zeros(classes))


def test_card_written_beside_read_while_current_and_named_when_stale(tmp_path):
    rng = np.random.default_rng(2)
    path = tmp_path / "k.bin"
    floats = knowledge.from_arrays(**_arrays(rng, 3), pad_classes=True, labels=["a", "b", "c"], notes=[],
                                   raw_inputs=True)
    knowledge.write(path, floats)
    card = json.loads((tmp_path / "k.card.json").read_text())
    assert card_path(path) == str(tmp_path / "k.card.json")
    assert (card["labels"], card["class_names"], card["standardisation"]) == \
        (["a", "b", "c"], ["a", "b", "c", "padded 4"], "raw")
    clf = ombrel.Classifier(path)
    x = rng.normal(size=(50, 64))
    assert list(clf.classes_) == ["a", "b", "c"] and clf.predict_proba(x).shape == (50, 3)
    np.testing.assert_array_equal(clf.predict(x), clf.classes_[clf.classify(x).class_ids - 1])

    stale = knowledge.from_arrays(**_arrays(rng))
    knowledge.write(tmp_path / "other.bin", stale)
    (tmp_path / "k.bin").write_bytes((tmp_path / "other.bin").read_bytes())
    with pytest.warns(ombrel.StaleCardWarning, match="k.card.json is a stale card"):
        clf = ombrel.Classifier(path)
    assert list(clf.classes_) == [1, 2, 3, 4]

    knowledge.write(path, knowledge.pack(*(getattr(knowledge.read(path), n) for n in knowledge.ARRAY_NAMES)))
    assert not (tmp_path / "k.card.json").exists()          # a plain write takes the old card away
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        ombrel.Classifier(path)
