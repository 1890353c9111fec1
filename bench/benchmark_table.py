#!/usr/bin/env python3
"""A markdown table of Google Benchmark medians (JSON output, run with
--benchmark_repetitions and --benchmark_report_aggregates_only).

  benchmark_table.py JSON FIRST_HEADING FAMILY=HEADING...

Times are CPU time per item when the benchmark counts items, else per
iteration, in ns. With arguments (family/ARG), one row per argument and one
column per family; without, one row per family."""
import json
import sys


def medians(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    result = {}
    for run in runs:
        if run.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run["time_unit"]]
        ns = 1e9 / run["items_per_second"] if "items_per_second" in run else run["cpu_time"] * scale
        family, _, argument = run["run_name"].partition("/")
        result[family, argument] = ns
    return result


def table(found, first_heading, columns):
    arguments = sorted({a for _, a in found}, key=lambda a: (len(a), a))
    missing = [f for f, _ in columns if not any(family == f for family, _ in found)]
    if missing:
        raise SystemExit("no median of %s in the benchmark's output" % ", ".join(missing))
    lines = []
    if arguments != [""]:
        lines.append("| %s | %s |" % (first_heading, " | ".join(h for _, h in columns)))
        lines.append("|---" * (len(columns) + 1) + "|")
        for a in arguments:
            lines.append("| %s | %s |" % (a, " | ".join("%.0f ns" % found[f, a] for f, _ in columns)))
    else:
        lines.append("| %s | per call |" % first_heading)
        lines.append("|---|---|")
        for f, heading in columns:
            lines.append("| %s | %.1f ns |" % (heading, found[f, ""]))
    return "\n".join(lines)


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    columns = [tuple(c.split("=", 1)) for c in sys.argv[3:]]
    print(table(medians(sys.argv[1]), sys.argv[2], columns))


if __name__ == "__main__":
    main()
