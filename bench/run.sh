#!/usr/bin/env bash
# Throughput benchmark: builds in Release, makes the data if missing, then
# measures the emulator against the parsing floor on the same file, the
# library's classifier_run against its own floors and its batch entry, the
# library's tanh and exp against the C library's, and the number text's fast
# paths against its general path; then the same against the floor on a file
# of each number format that users' tools write (bench/make_formats.py); and
# last the Python binding against the C loop, numpy and torch
# (bench/python_speed.py). Writes each table,
# with the date and the machine, into docs/performance.md
# (tools/write_doc_table.py).
#
# RUNS (default 7): runs of each program; OMBREL_BENCH_DATA: data directory;
# OMBREL_BENCH_BASELINE: another build's ombrel_emulator, timed on one thread
# beside this one on each format (a before-and-after in the same run).
set -euo pipefail
cd "$(dirname "$0")/.."
data=${OMBREL_BENCH_DATA:-build/bench-data}
page=docs/performance.md

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target ombrel_emulator parse_floor classifier_run_benchmark float_elementary_benchmark \
  number_text_benchmark
# The interpreter the build found (cmake/python.cmake).
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt)
python=${python:-python3}
mkdir -p "$data"
if [ ! -f "$data/signals.csv" ]; then
  "$python" bench/make_signals.py "$data"
fi
"$python" bench/make_formats.py "$data"

"$python" bench/measure.py build/release "$data" "${RUNS:-7}" | tee "$data/throughput.md"
"$python" tools/write_doc_table.py "$page" "bench/run.sh throughput" < "$data/throughput.md"

google_benchmark() { # program, JSON output
  "build/release/bench/$1" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json > "$2" 2>/dev/null
}
google_benchmark classifier_run_benchmark "$data/classifier_run.json"
"$python" bench/benchmark_table.py "$data/classifier_run.json" "hidden units N" \
  'classify=`classify` (signals of +-100)' 'classify_unsaturated=`classify_unsaturated` (+-1)' \
  'classify_batch=batch entry, per signal (+-100)' 'classify_batch_unsaturated=batch entry, per signal (+-1)' \
  'floor_transcendentals=floor: N `tanh` + 4 `exp`' 'floor_addition_chain=floor: 64 + N dependent additions' \
  | tee /dev/stderr | "$python" tools/write_doc_table.py "$page" "bench/run.sh classifier_run"

google_benchmark float_elementary_benchmark "$data/float_elementary.json"
"$python" bench/benchmark_table.py "$data/float_elementary.json" "function, arguments as the engine's" \
  'own_tanh_array=own `tanh`, arrays of 24' 'own_tanh=own `tanh`' \
  'single_tanh=own `tanh` in single precision (the device'"'"'s)' 'libc_tanh=C library `tanh`' \
  'own_exp=own `exp`' 'single_exp=own `exp` in single precision (the device'"'"'s)' 'libc_exp=C library `exp`' \
  | tee /dev/stderr | "$python" tools/write_doc_table.py "$page" "bench/run.sh float_elementary"

google_benchmark number_text_benchmark "$data/number_text.json"
"$python" bench/benchmark_table.py "$data/number_text.json" "path (time per value)" \
  'general=lexer and converter' 'short_decimal=decimal path, then the lexer' \
  'plain_lines=line reader, then the above' \
  'long_general=`%.18e`: lexer and converter' 'long_decimal=`%.18e`: decimal path, then the lexer' \
  'long_lines=`%.18e`: line reader, then the above' \
  'shortest_lines=shortest texts of doubles (`repr`, pandas): line reader' \
  'g_lines=`%g`: line reader' \
  | tee /dev/stderr | "$python" tools/write_doc_table.py "$page" "bench/run.sh number_text"

"$python" bench/measure_formats.py build/release "$data" "${RUNS:-7}" ${OMBREL_BENCH_BASELINE:+"$OMBREL_BENCH_BASELINE"} \
  | tee "$data/formats.md"
"$python" tools/write_doc_table.py "$page" "bench/run.sh formats" < "$data/formats.md"

# The binding on one thread and on the default threads, numpy and torch.
cmake --build --preset release -j 2 --target ombrel_python classify_rows
PYTHONPATH=build/release/python "$python" bench/python_speed.py build/release 1000000 "${RUNS:-7}" \
  | tee /dev/stderr | "$python" tools/write_doc_table.py "$page" "bench/run.sh python"
