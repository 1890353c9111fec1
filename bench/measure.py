#!/usr/bin/env python3
"""Times the emulator against the parsing floor on the same file.

  measure.py BUILD_DIR DATA_DIR [RUNS]

Runs the floor, the emulator on one thread (OMBREL_THREADS=1, the sequential
pass) and the emulator with its default settings (every core this process
may use) in turn, RUNS times each (default 7), standard output to /dev/null,
and prints the minimum wall time of each and their ratios to the floor; then
the emulator's peak resident memory on the benchmark file and on a 1 GiB
file made of the same lines repeated.
"""
import os
import subprocess
import sys
import time


def environment(threads):
    env = dict(os.environ)
    env.pop("OMBREL_TEST_BLOCK_BYTES", None)
    env.pop("OMBREL_THREADS", None)
    if threads is not None:
        env["OMBREL_THREADS"] = threads
    return env


def run(command, threads=None):
    """Wall time in seconds of one run."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        status = subprocess.call(command, stdout=sink, env=environment(threads))
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("failed (%d): %s" % (status, " ".join(command)))
    return elapsed


def peak_rss_kib(command, threads=None):
    """Peak resident memory of one run, as /usr/bin/time measures it: the
    child's own, not the pages a fork would inherit from this process."""
    with open(os.devnull, "wb") as sink:
        done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=sink,
                              stderr=subprocess.PIPE, check=True, env=environment(threads))
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

    floor_times, one_thread_times, default_times = [], [], []
    run(floor)  # page cache
    for _ in range(runs):
        floor_times.append(run(floor))
        one_thread_times.append(run(classify, "1"))
        default_times.append(run(classify))
    best_floor, best_one, best_default = min(floor_times), min(one_thread_times), min(default_times)
    size_mb = os.path.getsize(signals) / 1e6

    big = gib_file(data, signals)
    classify_big = [emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", big]
    rss_small = peak_rss_kib(classify)
    rss_big = peak_rss_kib(classify_big)
    rss_big_one = peak_rss_kib(classify_big, "1")

    threads = len(os.sched_getaffinity(0))
    print("The benchmark file (%.0f MB), minimum wall time of %d runs each; default settings: %d threads."
          % (size_mb, runs, threads))
    print()
    print("| measure | value |")
    print("|---|---|")
    print("| floor: block reads + std::from_chars | %.3f s (%.0f MB/s) |" % (best_floor, size_mb / best_floor))
    print("| emulator, one thread | %.3f s (%.0f MB/s) |" % (best_one, size_mb / best_one))
    print("| emulator, default settings (%d threads) | %.3f s (%.0f MB/s) |"
          % (threads, best_default, size_mb / best_default))
    print("| ratio one thread / floor | %.2f |" % (best_one / best_floor))
    print("| ratio default / floor | %.2f |" % (best_default / best_floor))
    print("| peak RSS, %.0f MB file, default settings | %.1f MiB |" % (size_mb, rss_small / 1024.0))
    print("| peak RSS, 1 GiB file, default settings | %.1f MiB |" % (rss_big / 1024.0))
    print("| peak RSS, 1 GiB file, one thread | %.1f MiB |" % (rss_big_one / 1024.0))

if __name__ == "__main__":
    main()
