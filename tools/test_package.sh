#!/usr/bin/env bash
# Installs and packages the library, builds programs against it as another
# program would, and runs tests/package/test_package.py on what it made:
#   - `cmake --install` of the Release build into a temporary prefix;
#   - tests/package/ (a C and a C++ program) built against that prefix with
#     find_package(OmbrelClassifier), and the C program again with
#     `pkg-config --cflags --libs ombrel-classifier` from the prefix and from
#     the .deb's files;
#   - the .deb (cpack) and the Windows .zip (preset "windows"), unpacked, with
#     the C program linked by MinGW against the .zip's archive.
# The checks (classifications equal to the emulator's, no C++ runtime for the
# C program, versions, man page, the .deb's files, dependencies and lintian,
# the Python commands of the install and of the .deb (installed with dpkg -i
# when run as root, and purged after) with another python3 first on PATH,
# the .zip's files and programs under wine) are the pytest module's.
# Run after tools/test_windows.sh, whose wine prefix it reuses. Exits
# non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# --- Install into a temporary prefix; consumers: CMake package, pkg-config -
cmake --preset release >/dev/null
# The interpreter the build found (cmake/python.cmake), as bench/run.sh.
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt)
cmake --build --preset release -j "$jobs"
cmake --install build/release --prefix "$work/prefix" >/dev/null
cmake -S tests/package -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" -j "$jobs" >/dev/null
# shellcheck disable=SC2046
cc -std=c11 -pedantic -Wall -Wextra -Werror tests/package/classify.c \
  $(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs ombrel-classifier) \
  -o "$work/classify_pc"

# --- .deb -------------------------------------------------------------------
rm -rf build/release/packages
(cd build/release && cpack -G DEB >/dev/null)
deb=$(echo "$root"/build/release/packages/*.deb)
dpkg-deb -x "$deb" "$work/deb"
# shellcheck disable=SC2046
cc -std=c11 -Werror tests/package/classify.c \
  $(PKG_CONFIG_PATH="$work/deb/usr/lib/x86_64-linux-gnu/pkgconfig" pkg-config --cflags --libs ombrel-classifier) \
  -o "$work/classify_deb"

# --- Windows .zip -----------------------------------------------------------
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
rm -rf build/windows/packages
(cd build/windows && cpack -G ZIP >/dev/null)
zip=$(echo build/windows/packages/*.zip)
top=$(basename "$zip" .zip)
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$root/$zip")
cp examples/emg/knowledge.bin "$work/zip/knowledge.bin"
x86_64-w64-mingw32-gcc-posix -std=c11 -Werror tests/package/classify.c -I"$work/zip/$top/include" \
  "$work/zip/$top/lib/libombrel_classifier.a" -static -o "$work/zip/classify.exe"

# --- The checks ---------------------------------------------------------------
(
  # shellcheck disable=SC1091
  source tools/wine_env.sh   # its EXIT trap stops the wine server it starts
  OMBREL_PACKAGE_WORK=$work OMBREL_PACKAGE_DEB=$deb OMBREL_PACKAGE_ZIP_TOP=$top \
    "${python:-python3}" -m pytest -q tests/package
)
