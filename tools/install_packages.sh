#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when they
# are missing (as root), with their recommends as tested. The one list of
# packages the project needs on a fresh machine.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev python3-numpy python3-onnx python3-sklearn python3-torch
          pybind11-dev python3-pybind11 python3-dev python3-matplotlib python3-dask python3-distributed clang-14 libclang-rt-14-dev
          g++-mingw-w64-x86-64-posix wine64 wine dpkg-dev file pkgconf
          gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-dev qemu-system-arm newlib-source
          g++-aarch64-linux-gnu qemu-user
          strace python3-pytest python3-hypothesis python3-pandas python3-serial chromium chromium-driver python3-selenium lintian man-db
          python3-venv python3-setuptools python3-wheel)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages: ${missing[*]} (install them, or run as root)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
