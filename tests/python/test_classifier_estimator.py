"""ombrel.Classifier in scikit-learn's shape: parameters kept as given, so
that clone, set_params and pickling round-trip them; classes_ from the card;
score as scikit-learn scores; the library's own view unchanged."""

import json
import pickle
import re

import numpy as np
import pytest
from sklearn.base import clone, is_classifier
from sklearn.metrics import accuracy_score

import ombrel
from ombrel import knowledge
from support import EMG

EXAMPLE = EMG + "/knowledge.bin"


@pytest.fixture(scope="module")
def carded(tmp_path_factory):
    rng = np.random.default_rng(3)
    path = tmp_path_factory.mktemp("card") / "k.bin"
    knowledge.write(path, knowledge.from_arrays(
        hidden_weights=rng.normal(0, 0.3, (64, 5)), hidden_biases=np.zeros(5),
        output_weights=rng.normal(0, 2, (5, 4)), output_biases=np.zeros(4), labels=[9, 8, 7, 6]))
    return str(path)


def copies(clf):
    """The ways an estimator is copied: clone, pickle, set_params to the same."""
    yield clone(clf)
    yield pickle.loads(pickle.dumps(clf))
    yield ombrel.Classifier(EXAMPLE).set_params(**clf.get_params())


@pytest.mark.parametrize("which", ["path", "array", "carded path", "import floats"])
def test_copies_keep_parameters_classes_and_bits(which, carded):
    knowledge_ = {"path": EXAMPLE, "array": np.fromfile(EXAMPLE, "<f4").astype(np.float32),
                  "carded path": carded,
                  "import floats": knowledge.from_arrays(
                      hidden_weights=np.eye(64, 3), hidden_biases=np.zeros(3),
                      output_weights=np.ones((3, 2)), output_biases=np.zeros(2), pad_classes=True, notes=[],
                      labels=["no", "yes"])}[which]
    clf = ombrel.Classifier(knowledge_, threads=2)
    assert clf.get_params() == {"knowledge": knowledge_, "threads": 2} and is_classifier(clf)
    x = np.random.default_rng(4).normal(0, 40, (200, 64)).astype(np.float32)
    for copy in copies(clf):
        assert copy.get_params(deep=False)["threads"] == 2
        assert copy.get_params()["knowledge"] is knowledge_ or np.array_equal(copy.knowledge, knowledge_)
        assert list(copy.classes_) == list(clf.classes_) and copy.class_names_ == clf.class_names_
        assert copy.predict_proba(x).tobytes() == clf.predict_proba(x).tobytes()
        np.testing.assert_array_equal(copy.predict(x), clf.predict(x))


def test_predict_and_score_speak_the_cards_labels(carded, tmp_path):
    clf = ombrel.Classifier(carded)
    assert list(clf.classes_) == [9, 8, 7, 6] and clf.class_names_ == ("9", "8", "7", "6")
    x = np.random.default_rng(5).normal(0, 40, (300, 64))
    ids = clf.classify(x).class_ids
    np.testing.assert_array_equal(clf.predict(x), np.array([9, 8, 7, 6])[ids - 1])
    y = np.random.default_rng(6).choice([6, 7, 8, 9], 300)
    weights = np.random.default_rng(7).uniform(size=300)
    assert clf.score(x, y, weights) == pytest.approx(accuracy_score(y, clf.predict(x), sample_weight=weights))
    result = ombrel.evaluate(clf.predict(x), y, classes=clf.classes_)
    assert result.accuracy == pytest.approx(accuracy_score(y, clf.predict(x)))
    result.to_html(tmp_path / "r.html", clf, x, y)         # the page of labels in the model's values
    page = re.search(r'id="report-data">(.*?)</script>', (tmp_path / "r.html").read_text(), re.S)
    assert json.loads(page.group(1))["class_names"] == ["9", "8", "7", "6"]
    with pytest.raises(ValueError, match=r"y: 5 at index 0 is not one of the model's classes \(9, 8, 7, 6\)"):
        clf.score(x[:1], [5])
    with pytest.raises(ValueError, match="pass classes=classifier.classes_"):
        ombrel.evaluate(clf.predict(x), y)


def test_set_params_checks_names_and_loads_again(carded):
    clf = ombrel.Classifier(EXAMPLE)
    with pytest.raises(ValueError, match="invalid parameter 'knowledge_path' for Classifier"):
        clf.set_params(knowledge_path=carded)
    assert clf.set_params(knowledge=carded) is clf and list(clf.classes_) == [9, 8, 7, 6]
    with pytest.raises(knowledge.KnowledgeError, match="is not a regular file"):
        clf.set_params(knowledge=EMG)
