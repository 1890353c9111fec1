#!/usr/bin/env python3
"""Speed of the Python binding against the plain C loop, on the same rows.

  PYTHONPATH=build/release/python python3 bench/python_speed.py build/release [ROWS] [RUNS]

Classifies ROWS (default 1,000,000) random signals with a knowledge of 23
hidden units: ombrel.Classifier.predict_proba from float32 rows, against
tests/python/classify_rows.c calling classifier_run, and then
classifier_context_run, row after row (the loop alone is timed). The three
take turns, RUNS (default 5) times, so that load from other work falls on
all of them; prints the fastest run of each, the ratio of the binding to the
faster C loop, and checks that all gave the same bits.
"""
import os
import sys
import subprocess
import tempfile
import time

import numpy as np

import ombrel

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_signals  # noqa: E402

# Bound the binding's cost may reach, as a multiple of the C loop's time.
LIMIT = 1.2


def main():
    build = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    X = np.random.default_rng(2026).uniform(-100, 100, (rows, 64)).astype(np.float32)
    with tempfile.TemporaryDirectory() as tmp:
        knowledge = os.path.join(tmp, "knowledge.bin")
        with open(knowledge, "wb") as f:
            f.write(make_signals.knowledge(23, make_signals.Lcg(20261207)))
        X.tofile(os.path.join(tmp, "rows.f32"))
        out = os.path.join(tmp, "out.bin")
        clf = ombrel.Classifier(knowledge)
        best = {"run": float("inf"), "context": float("inf"), "python": float("inf")}
        same = True
        for _ in range(runs):
            for mode in ("run", "context"):
                done = subprocess.run([os.path.join(build, "tests", "classify_rows"), knowledge,
                                       os.path.join(tmp, "rows.f32"), out, "1", mode],
                                      check=True, capture_output=True, text=True)
                best[mode] = min(best[mode], float(done.stdout))
                reference = np.fromfile(out, np.uint8)[:16 * rows].view(np.float32).reshape(rows, 4)
            start = time.perf_counter()
            p = clf.predict_proba(X)
            best["python"] = min(best["python"], time.perf_counter() - start)
            same = same and np.array_equal(p.view(np.uint32), reference.view(np.uint32))
    c_seconds = min(best["run"], best["context"])
    ratio = best["python"] / c_seconds
    print("rows: %d, hidden units: 23, fastest of %d runs" % (rows, runs))
    for name, key in (("C loop, classifier_run", "run"), ("C loop, classifier_context_run", "context"),
                      ("Classifier.predict_proba", "python")):
        print("%-32s %.3f s (%.0f ns per row)" % (name + ":", best[key], 1e9 * best[key] / rows))
    print("ratio to the faster C loop: %.3f (limit %.1f); same bits: %s" % (ratio, LIMIT, same))
    return 0 if same and ratio <= LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
