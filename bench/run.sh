#!/usr/bin/env bash
# Throughput benchmark: builds in Release, makes the data if missing, then
# measures the emulator against the parsing floor on the same file, and the
# library's classifier_run against its own floor.
set -euo pipefail
cd "$(dirname "$0")/.."
data=${OMBREL_BENCH_DATA:-build/bench-data}

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target ombrel_emulator parse_floor classifier_run_benchmark
if [ ! -f "$data/signals.csv" ]; then
  /usr/bin/python3 bench/make_signals.py "$data"
fi
/usr/bin/python3 bench/measure.py build/release "$data" "${RUNS:-7}"
echo
build/release/bench/classifier_run_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  2>/dev/null | grep -E '^Benchmark|median'
