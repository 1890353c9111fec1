#!/usr/bin/env bash
# Builds and runs every test: the Release build with its unit, command-line,
# tool and example tests; the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; each fuzzer for a bounded time; the
# command-line tests against the 64-bit Windows build under wine; the
# installed library, its .deb and its Windows .zip, used as other programs
# use them; and the library cross-built for a Cortex-M4F, run under QEMU
# against the desktop.
# Installs the Debian packages it needs when they are missing (as root).
#
# FUZZ_SECONDS (default 60): time per fuzzer. JOBS (default 2): build jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev python3-numpy python3-onnx python3-sklearn clang-14 libclang-rt-14-dev
          g++-mingw-w64-x86-64-posix wine64 wine dpkg-dev file pkgconf
          gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-dev qemu-system-arm)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]} (install them, or run as root)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi

step() { printf '\n=== %s\n' "$*"; }

step "Release build and tests"
cmake --preset release
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

step "Fuzzers, ${fuzz_seconds} s each"
bash fuzz/run.sh "$fuzz_seconds"

step "Windows build, command-line tests under wine"
bash tools/test_windows.sh

step "Install, packages and programs that use the library"
bash tools/test_package.sh

step "Cortex-M4F build, device test firmware under QEMU against the desktop"
bash tools/test_device.sh
