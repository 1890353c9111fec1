#!/usr/bin/env bash
# Proves the library's tanh and exp on 64-bit Arm Linux, whose build takes
# the float-only evaluation: cross-builds the library (preset aarch64),
# links the device test's sample of 2^17 arguments
# (tests/device/elementary_sample.cpp) against it, runs it under qemu-user,
# and compares its hashes of the results' bits and its fallback counts with
# glibc's double-precision functions rounded to float on the desktop.
#
# Needs the Debian packages g++-aarch64-linux-gnu and qemu-user. Prints
# "aarch64 tanh and exp: 131072 arguments bit-identical with glibc; ..." and
# exits 0 only when every line is identical.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
out=build/aarch64/sample
device=tests/device
mkdir -p "$out"

cmake --preset aarch64 >/dev/null
cmake --build --preset aarch64 -j "$jobs"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ombrel_classifier

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
