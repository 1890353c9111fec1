#!/usr/bin/env bash
# Proves the library's tanh and exp on 64-bit Arm Linux, whose build takes
# the float-only evaluation: cross-builds the library (preset aarch64),
# links the device test's sample of 2^17 arguments
# (tests/device/elementary_sample.cpp) against it, runs it under qemu-user,
# and compares its hashes of the results' bits and its fallback counts with
# glibc's double-precision functions rounded to float on the desktop.
#
# Then proves the command's portable paths (the number text without SSE2,
# the batch lanes without AVX): the command-line tests against the Arm
# build; the bits of every value its number text reads
# (tests/frontend/text/cross/signal_bits.cpp) equal to this machine's, on
# texts of every shape (make_number_texts.py there) and on a file of each
# number format users' tools write (bench/make_formats.py, small files); and
# its reports on those files, on one thread and on two, byte for byte
# this machine's.
#
# Needs the Debian packages g++-aarch64-linux-gnu and qemu-user. Prints
# "aarch64 tanh and exp: 131072 arguments bit-identical with glibc; ..." and
# exits 0 only when every line is identical and every check passes.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
out=build/aarch64/sample
device=tests/device
mkdir -p "$out"

cmake --preset aarch64 >/dev/null
cmake --build --preset aarch64 -j "$jobs"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ombrel_classifier ombrel_emulator

flags="-O2 -ffp-contract=off -Wall -Wextra -Werror -Ilibrary -I$device"
cxx_flags="-std=c++20 $flags"
# shellcheck disable=SC2086
aarch64-linux-gnu-gcc $flags -c "$device/host_emit_line.c" -o "$out/emit_line_aarch64.o"
# shellcheck disable=SC2086
aarch64-linux-gnu-g++ $cxx_flags -static "$device/elementary_sample.cpp" "$out/emit_line_aarch64.o" \
  build/aarch64/library/libombrel_classifier.a -o "$out/elementary_sample"
# shellcheck disable=SC2086
gcc $flags -c "$device/host_emit_line.c" -o "$out/emit_line_host.o"
# shellcheck disable=SC2086
g++ $cxx_flags -DOMBREL_GLIBC_REFERENCE "$device/elementary_sample.cpp" "$out/emit_line_host.o" \
  build/release/library/libombrel_classifier.a -lm -o "$out/host_elementary_sample"

status=0
timeout 300 qemu-aarch64 "$out/elementary_sample" >"$out/aarch64.txt" || status=$?
"$out/host_elementary_sample" >"$out/desktop.txt"
if [ "$status" -eq 0 ] && cmp -s "$out/aarch64.txt" "$out/desktop.txt"; then
  echo "aarch64 tanh and exp: 131072 arguments bit-identical with glibc; $(tail -n 1 "$out/aarch64.txt")"
else
  echo "error: aarch64's tanh and exp differ from glibc's (status $status):" >&2
  diff "$out/aarch64.txt" "$out/desktop.txt" | head -5 >&2 || true
  exit 1
fi

python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt)
python=${python:-python3}
arm=build/aarch64/frontend/ombrel_emulator
timeout 600 "$python" -m pytest -q tests/cli --emulator "$arm" --qemu-aarch64 >"$out/cli-tests.log" 2>&1 || {
  tail -n 100 "$out/cli-tests.log"
  echo "error: the command-line tests fail on the aarch64 build" >&2
  exit 1
}
echo "aarch64 command-line tests: $(tail -n 1 "$out/cli-tests.log")"

"$python" bench/make_formats.py "$out" 400000
cross=tests/frontend/text/cross
"$python" "$cross/make_number_texts.py" "$out/number-texts.txt" 8000
# shellcheck disable=SC2086
aarch64-linux-gnu-g++ $cxx_flags -Ifrontend/text -static "$cross/signal_bits.cpp" \
  build/aarch64/frontend/text/libombrel_text.a -o "$out/signal_bits"
# shellcheck disable=SC2086
g++ $cxx_flags -Ifrontend/text "$cross/signal_bits.cpp" build/release/frontend/text/libombrel_text.a \
  -o "$out/host_signal_bits"
values=0
for file in "$out/number-texts.txt" "$out"/formats/*; do
  qemu-aarch64 "$out/signal_bits" "$file" >"$out/bits-arm.txt"
  "$out/host_signal_bits" "$file" >"$out/bits-here.txt"
  if ! cmp -s "$out/bits-arm.txt" "$out/bits-here.txt"; then
    echo "error: the aarch64 number text reads $file otherwise than this machine's:" >&2
    cmp "$out/bits-arm.txt" "$out/bits-here.txt" >&2 || true
    exit 1
  fi
  values=$((values + 64 * $(tail -n 1 "$out/bits-arm.txt" | cut -d' ' -f1)))
done
echo "aarch64 number text: $values values bit for bit this machine's"

knowledge=examples/emg/knowledge.bin
for file in "$out"/formats/*; do
  for threads in 1 2; do
    OMBREL_THREADS=$threads qemu-aarch64 -L /usr/aarch64-linux-gnu "$arm" ombr_classification \
      --knowledge_path "$knowledge" --file "$file" >"$out/report-arm.txt"
    OMBREL_THREADS=$threads build/release/frontend/ombrel_emulator ombr_classification \
      --knowledge_path "$knowledge" --file "$file" >"$out/report-here.txt"
    if ! cmp -s "$out/report-arm.txt" "$out/report-here.txt"; then
      echo "error: the aarch64 report of $file on $threads thread(s) differs from this machine's" >&2
      exit 1
    fi
  done
done
echo "aarch64 reports: $(find "$out"/formats -type f | wc -l) number formats, one thread and two, byte for byte this machine's"
