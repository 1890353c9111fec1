#!/usr/bin/env python3
"""Times the emulator against the parsing floor on each format's file.

  measure_formats.py BUILD_DIR DATA_DIR [RUNS] [BASELINE_EMULATOR]

For the benchmark file (`%.6f`) and each file of make_formats.py, runs the
floor, the emulator on one thread and with its default settings in turn
(and a baseline emulator on one thread, when given, for a before-and-after
in the same run), RUNS times each (default 7), and prints a markdown table
of the minimum wall times as ratios to the floor's and as MB/s. The
minimum CPU time (user and system) of the one-thread runs gives a second
ratio that another load on the machine disturbs less than the wall time.
"""
import os
import resource
import sys

from make_formats import FORMATS
from measure import run


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best_times(commands, runs):
    """Minimum wall time and minimum CPU time (user + system) of each
    (command, threads), the commands taking turns."""
    wall, cpu = [[] for _ in commands], [[] for _ in commands]
    run(commands[0][0])  # page cache
    for _ in range(runs):
        for i, (command, threads) in enumerate(commands):
            before = cpu_seconds()
            wall[i].append(run(command, threads))
            cpu[i].append(cpu_seconds() - before)
    return [min(t) for t in wall], [min(t) for t in cpu]


def main():
    build, data = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    baseline = sys.argv[4] if len(sys.argv) > 4 else None
    knowledge = os.path.join(data, "knowledge.bin")
    emulator = os.path.join(build, "frontend", "ombrel_emulator")
    files = [("`%.6f` (the benchmark file)", os.path.join(data, "signals.csv"))]
    files += [(title, os.path.join(data, "formats", name)) for name, (title, _) in FORMATS.items()]
    threads = len(os.sched_getaffinity(0))

    heading = ("| file | MB | floor | one thread / floor | default / floor | one thread | default |"
               " one thread / floor, CPU time |")
    if baseline:
        heading += " baseline one thread / floor | baseline, CPU time |"
    print("Minimum of %d runs each, taking turns; default settings: %d threads; load average %.1f at the start"
          " (other work on the machine slows the runs unevenly)." % (runs, threads, os.getloadavg()[0]))
    if baseline:
        print("Baseline: %s, on one thread." % baseline)
    print()
    print(heading)
    print("|---" * heading.count(" | ") + "|---|")
    for title, path in files:
        classify = [emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", path]
        commands = [([os.path.join(build, "bench", "parse_floor"), path], None), (classify, "1"), (classify, None)]
        if baseline:
            commands.append(([baseline] + classify[1:], "1"))
        best, cpu = best_times(commands, runs)
        mb = os.path.getsize(path) / 1e6
        row = "| %s | %.0f | %.3f s (%.0f MB/s) | %.2f | %.2f | %.0f MB/s | %.0f MB/s | %.2f |" % (
            title, mb, best[0], mb / best[0], best[1] / best[0], best[2] / best[0], mb / best[1], mb / best[2],
            cpu[1] / cpu[0])
        if baseline:
            row += " %.2f | %.2f |" % (best[3] / best[0], cpu[3] / cpu[0])
        print(row, flush=True)


if __name__ == "__main__":
    main()
