#!/usr/bin/env bash
# Builds the fuzz preset and runs each harness for SECONDS (default 60) on a
# copy of its seed corpus, so fuzz/corpus never grows. Fails when a harness
# finds a crash, a sanitizer report, a timeout or an out-of-memory; the input
# is kept under build/fuzz/artifacts/<harness>/.
#   fuzz/run.sh [SECONDS] [HARNESS...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(fuzz_knowledge fuzz_signal_reader fuzz_command_line)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${JOBS:-2}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=()
for name in "${harnesses[@]}"; do
  mkdir -p "$work/$name" "build/fuzz/artifacts/$name"
  cp fuzz/corpus/"$name"/* "$work/$name/"
  dict=()
  if [ -f "fuzz/$name.dict" ]; then
    dict=(-dict="fuzz/$name.dict")
  fi
  echo "== $name: ${seconds} s"
  if ! "build/fuzz/fuzz/$name" "$work/$name" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name/" \
      2> "$work/$name.log"; then
    failed+=("$name")
    tail -n 60 "$work/$name.log"
  else
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$work/$name.log" || true
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing passed: ${harnesses[*]}"
