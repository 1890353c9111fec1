#!/usr/bin/env python3
"""Times the emulator against the parsing floor on the same file.

  measure.py BUILD_DIR DATA_DIR [RUNS]

Runs the floor and the emulator alternately RUNS times each (default 7),
standard output to /dev/null, and prints the minimum wall time of each and
their ratio; then the emulator's peak resident memory on the benchmark file
and on a 1 GiB file made of the same lines repeated.
"""
import os
import subprocess
import sys
import time


def run(command):
    """Wall time in seconds of one run."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        status = subprocess.call(command, stdout=sink)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("failed (%d): %s" % (status, " ".join(command)))
    return elapsed


def peak_rss_kib(command):
    """Peak resident memory of one run, as /usr/bin/time measures it: the
    child's own, not the pages a fork would inherit from this process."""
    with open(os.devnull, "wb") as sink:
        done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=sink,
                              stderr=subprocess.PIPE, check=True)
    return int(done.stderr.decode().split()[-1])


def gib_file(data_dir, source):
    path = os.path.join(data_dir, "signals-1gib.csv")
    target = 1 << 30
    if not os.path.exists(path) or os.path.getsize(path) < target:
        with open(path, "wb") as out:
            written = 0
            while written < target:
                with open(source, "rb") as f:
                    while written < target:
                        chunk = f.read(1 << 20)
                        if not chunk:
                            break
                        out.write(chunk)
                        written += len(chunk)
    return path


def main():
    build, data = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    signals = os.path.join(data, "signals.csv")
    knowledge = os.path.join(data, "knowledge.bin")
    emulator = os.path.join(build, "frontend", "ombrel_emulator")
    floor = [os.path.join(build, "bench", "parse_floor"), signals]
    classify = [emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", signals]

    floor_times, emulator_times = [], []
    run(floor)  # page cache
    for _ in range(runs):
        floor_times.append(run(floor))
        emulator_times.append(run(classify))
    best_floor, best_emulator = min(floor_times), min(emulator_times)
    size_mb = os.path.getsize(signals) / 1e6

    big = gib_file(data, signals)
    rss_small = peak_rss_kib(classify)
    rss_big = peak_rss_kib([emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", big])

    print("file: %s (%.1f MB), %d runs each, minimum wall time" % (signals, size_mb, runs))
    print("| measure | value |")
    print("|---|---|")
    print("| floor: block reads + std::from_chars | %.3f s (%.0f MB/s) |" % (best_floor, size_mb / best_floor))
    print("| emulator, whole file to /dev/null | %.3f s (%.0f MB/s) |" % (best_emulator, size_mb / best_emulator))
    print("| ratio emulator / floor | %.2f |" % (best_emulator / best_floor))
    print("| peak RSS, %.0f MB file | %.1f MiB |" % (size_mb, rss_small / 1024.0))
    print("| peak RSS, 1 GiB file | %.1f MiB |" % (rss_big / 1024.0))


if __name__ == "__main__":
    main()
