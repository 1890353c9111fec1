#!/usr/bin/env python3
"""Speed of the Python binding: against the plain C loop, against numpy and
torch in float32 on the same network, and on one thread against the default.

  PYTHONPATH=build/release/python python3 bench/python_speed.py build/release [ROWS] [RUNS]

Classifies ROWS (default 1,000,000) rows with the EMG example's knowledge (23
hidden units), on two sets of rows: the example's signals repeated, and
signals of +-100 (which saturate most units). Contenders, taking turns RUNS
times (default 5) so that load from other work falls on all of them, the
fastest run of each kept:
  - tests/python/classify_rows.c calling classifier_run row after row (the
    loop alone is timed);
  - Classifier.predict_proba on one thread, and on the default threads;
  - numpy float32: ((X - means) * scales) @ W + b, tanh, @ V + c, soft-max,
    as a user writes it (matmul by the BLAS numpy is linked with);
  - torch float32, the same graph, torch.set_num_threads(1).
numpy and torch run on one thread (their BLAS and OpenMP pools limited to
one). Prints, as a markdown table, each time per row and the ratios, with
the load and the BLAS in use; fails when the binding's bits differ from the
C loop's or it takes more than LIMIT times the C loop's time.
"""
import os

for _name in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS", "BLIS_NUM_THREADS"):
    os.environ[_name] = "1"  # before numpy or torch load their pools

import subprocess  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import time  # noqa: E402

import numpy as np  # noqa: E402

import ombrel  # noqa: E402
from ombrel import knowledge as knowledge_format  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KNOWLEDGE = os.path.join(ROOT, "examples", "emg", "knowledge.bin")
SIGNALS = os.path.join(ROOT, "examples", "emg", "signals.csv")
# Bound the binding's time may reach, as a multiple of the C loop's.
LIMIT = 1.2


def numpy_float32(k):
    W, b = k.hidden_weights, k.hidden_biases
    V, c = k.output_weights, k.output_biases

    def run(X):
        h = np.tanh(((X - k.means) * k.scales) @ W + b)
        s = (h @ V + c) * np.float32(5)
        e = np.exp(s - s.max(axis=1, keepdims=True))
        return e / e.sum(axis=1, keepdims=True)
    return run


def torch_float32(k):
    import torch
    torch.set_num_threads(1)
    t = {name: torch.from_numpy(np.ascontiguousarray(getattr(k, name))) for name in
         ("means", "scales", "hidden_weights", "hidden_biases", "output_weights", "output_biases")}

    def run(X):
        with torch.no_grad():
            x = torch.from_numpy(X)
            h = torch.tanh(((x - t["means"]) * t["scales"]) @ t["hidden_weights"] + t["hidden_biases"])
            return torch.softmax((h @ t["output_weights"] + t["output_biases"]) * 5, dim=1).numpy()
    return run


def blas_in_use():
    """The BLAS and oneDNN libraries mapped into this process, by file."""
    with open("/proc/self/maps") as maps:
        found = {line.split()[-1] for line in maps if any(w in line.lower() for w in ("blas", "mkl", "dnnl"))}
    names = sorted(os.path.realpath(p) for p in found if p.startswith("/"))
    return ", ".join(os.path.basename(p) + " (" + os.path.dirname(p) + ")" for p in names) or "none found"


def c_loop(build, tmp, X):
    rows, out = os.path.join(tmp, "rows.f32"), os.path.join(tmp, "out.bin")
    X.tofile(rows)
    done = subprocess.run([os.path.join(build, "tests", "classify_rows"), KNOWLEDGE, rows, out, "1"],
                          check=True, capture_output=True, text=True)
    n = len(X)
    return float(done.stdout), np.fromfile(out, np.uint8)[:16 * n].view(np.float32).reshape(n, 4)


def timed(function, X):
    start = time.perf_counter()
    result = function(X)
    return time.perf_counter() - start, result


def measure(build, X, runs, contenders):
    """Fastest seconds of each contender, and whether the binding gave the C
    loop's bits on every run."""
    best = {name: float("inf") for name in ["C loop, classifier_run"] + list(contenders)}
    same = True
    with tempfile.TemporaryDirectory() as tmp:
        for _ in range(runs):
            seconds, reference = c_loop(build, tmp, X)
            best["C loop, classifier_run"] = min(best["C loop, classifier_run"], seconds)
            for name, function in contenders.items():
                seconds, result = timed(function, X)
                best[name] = min(best[name], seconds)
                if name.startswith("Classifier"):
                    same = same and np.array_equal(result.view(np.uint32), reference.view(np.uint32))
    return best, same


def rows_of(kind, rows):
    if kind == "EMG example rows":
        example, _ = ombrel.read_signals(SIGNALS, threads=1)
        return np.ascontiguousarray(np.resize(example, (rows, 64)))
    return np.random.default_rng(2026).uniform(-100, 100, (rows, 64)).astype(np.float32)


def table(rows, runs, results):
    """Markdown: time per row of each contender on each set of rows, and the
    ratios."""
    kinds = list(results)
    lines = ["| %s rows, N = 23, fastest of %d | %s |" % (format(rows, ","), runs, " | ".join(kinds)),
             "|---" * (len(kinds) + 1) + "|"]
    for name in results[kinds[0]][0]:
        lines.append("| %s | %s |" % (name, " | ".join("%.0f ns" % (1e9 * results[k][0][name] / rows)
                                                      for k in kinds)))
    ratios = (("numpy float32 / Classifier, 1 thread", "numpy float32", "Classifier, 1 thread", "%.1fx"),
              ("torch float32 / Classifier, 1 thread", "torch float32", "Classifier, 1 thread", "%.1fx"),
              ("Classifier, default threads / 1 thread", "Classifier, default threads", "Classifier, 1 thread",
               "%.2f"),
              ("Classifier, 1 thread / C loop (limit %.1f)" % LIMIT, "Classifier, 1 thread", "C loop, classifier_run",
               "%.2f"))
    for heading, top, bottom, form in ratios:
        lines.append("| %s | %s |" % (heading, " | ".join(form % (results[k][0][top] / results[k][0][bottom])
                                                         for k in kinds)))
    lines.append("| the binding's bits equal the C loop's | %s |"
                 % " | ".join("yes" if results[k][1] else "**no**" for k in kinds))
    return "\n".join(lines)


def main():
    build = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    k = knowledge_format.read(KNOWLEDGE)
    one, default = ombrel.Classifier(KNOWLEDGE, threads=1), ombrel.Classifier(KNOWLEDGE)
    contenders = {"Classifier, 1 thread": one.predict_proba, "Classifier, default threads": default.predict_proba,
                  "numpy float32": numpy_float32(k), "torch float32": torch_float32(k)}
    load = os.getloadavg()[0]
    results = {kind: measure(build, rows_of(kind, rows), runs, contenders) for kind in ("EMG example rows", "rows of +-100")}
    import torch
    print("Default threads: %s; load average %.1f before the run, %.1f after, on %d cores. numpy %s, "
          "torch %s; BLAS libraries loaded: %s.\n"
          % (os.environ.get("OMBREL_THREADS", "one per core"), load, os.getloadavg()[0],
             len(os.sched_getaffinity(0)), np.__version__, torch.__version__, blas_in_use()))
    print(table(rows, runs, results))
    failed = any(not same or best["Classifier, 1 thread"] / best["C loop, classifier_run"] > LIMIT
                 for best, same in results.values())
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
