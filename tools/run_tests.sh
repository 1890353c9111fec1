#!/usr/bin/env bash
# Builds and runs every test: the Release build with its unit, command-line,
# tool and example tests; the deliberate faults of tests/mutants/, each of
# which a test must catch; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; each fuzzer for a bounded time; the
# command-line tests against the 64-bit Windows build under wine; the
# installed library, its .deb and its Windows .zip, used as other programs
# use them; the library cross-built for a Cortex-M4F, run under QEMU
# against the desktop; and its tanh and exp cross-built for 64-bit Arm Linux,
# run under qemu-user against glibc. First installs the Debian packages that are missing
# (tools/install_packages.sh). Every step runs even after one fails; the
# last line counts the steps as "N passed, N failed", and the exit status is
# 1 when any step failed.
#
# FUZZ_SECONDS (default 60): time per fuzzer. JOBS (default 2): build jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

bash tools/install_packages.sh

release_build() { cmake --preset release && cmake --build --preset release -j "$jobs"; }
release_tests() { ctest --preset release -j "$jobs"; }
mutants() { python3 tools/run_mutants.py --jobs "$jobs"; }
asan_build() { cmake --preset asan && cmake --build --preset asan -j "$jobs"; }
asan_tests() { ctest --preset asan -j "$jobs"; }
fuzzers() { bash fuzz/run.sh "$fuzz_seconds"; }
windows() { bash tools/test_windows.sh; }
package() { bash tools/test_package.sh; }
device() { bash tools/test_device.sh; }
aarch64() { bash tools/test_aarch64.sh; }

passed=0
failed=0
step() {
  local name=$1
  shift
  printf '\n=== %s\n' "$name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf '=== FAILED: %s\n' "$name"
  fi
}

step "Release build" release_build
step "Release tests" release_tests
step "Mutants: every patch of tests/mutants/ fails a test" mutants
step "AddressSanitizer + UndefinedBehaviorSanitizer build" asan_build
step "AddressSanitizer + UndefinedBehaviorSanitizer tests" asan_tests
step "Fuzzers, ${fuzz_seconds} s each" fuzzers
step "Windows build, command-line tests under wine" windows
step "Install, packages and programs that use the library" package
step "Cortex-M4F build, device test firmware under QEMU against the desktop" device
step "64-bit Arm Linux build, tanh and exp sample under qemu-user against glibc" aarch64

printf '\n%d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]
