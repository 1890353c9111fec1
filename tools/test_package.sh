#!/usr/bin/env bash
# Installs and packages the library and uses it as another program would:
#   - `cmake --install` of the Release build into a temporary prefix;
#   - tests/package/ (a C and a C++ program) built against that prefix with
#     find_package(OmbrelClassifier), and the C program again with
#     `pkg-config --cflags --libs ombrel-classifier`; each classifies line
#     1000 of the bundled example and must print the emulator's class and
#     probabilities; the C program must need no C++ runtime;
#   - the manual page: `man ombrel_emulator` from the installed tree and
#     from the .deb's files;
#   - the .deb: its file list, its version and its dependencies, its
#     pkg-config file, and lintian with no error and no warning;
#   - the Windows .zip (preset "windows"): its file list, its emulator under
#     wine, and the C program linked by MinGW against its archive.
# Run after tools/test_windows.sh, whose wine prefix it reuses. Prints one
# line per failure; exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL $*"; status=1; }
check_equal() { # what, got, expected
  if [ "$2" != "$3" ]; then printf 'FAIL %s:\n%s\n  expected:\n%s\n' "$1" "$2" "$3"; status=1; fi
}

version=$(sed -n 's/^project([a-z_]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
knowledge=$root/examples/emg/knowledge.bin
signal=$(sed -n 1000p examples/emg/signals.csv | tr , ' ')
# "class_status": 1, "class_name": "Scissors", "class_proba": [0.92, ...] -> 1 Scissors 0.92 ...
report_to_line() {
  tr -d '\r' | sed -n 's/.*"class_status": \([0-9]*\), "class_name": "\([^"]*\)", "class_proba": \[\([^]]*\)\].*/\1 \2 \3/p' | tr -d ,
}

# --- Install into a temporary prefix --------------------------------------
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
prefix=$work/prefix
cmake --install build/release --prefix "$prefix" >/dev/null
# shellcheck disable=SC2086
expected=$("$prefix/bin/ombrel_emulator" ombr_classification --knowledge_path "$knowledge" --array $signal | report_to_line)
[ -n "$expected" ] || fail "the installed emulator printed no classification"
# man finds the page from the prefix's bin/ on PATH, as for /usr/local.
man_page_covers() { # what, man's output
  for section in SYNOPSIS OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES OMBREL_THREADS; do
    grep -q "$section" <<<"$2" || fail "$1: no $section"
  done
}
man_page_covers "man ombrel_emulator after cmake --install" \
  "$(PATH="$prefix/bin:$PATH" MANPATH= man -P cat ombrel_emulator 2>&1)"

# --- Consumers: CMake package and pkg-config -------------------------------
cmake -S tests/package -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" -j "$jobs" >/dev/null
for program in classify_c classify_cpp; do
  # shellcheck disable=SC2086
  check_equal "$program (CMake package)" "$("$work/consumer/$program" "$knowledge" $signal)" "$expected"
done
if readelf -d "$work/consumer/classify_c" | grep -q 'NEEDED.*libstdc++'; then
  fail "the C program linked through Ombrel::classifier needs the C++ runtime"
fi

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
check_equal "pkg-config version" "$(pkg-config --modversion ombrel-classifier)" "$version"
check_equal "CMake package version" \
  "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$prefix/lib/cmake/OmbrelClassifier/OmbrelClassifierConfigVersion.cmake")" "$version"
# shellcheck disable=SC2046
cc -std=c11 -pedantic -Wall -Wextra -Werror tests/package/classify.c \
  $(pkg-config --cflags --libs ombrel-classifier) -o "$work/classify_pc"
# shellcheck disable=SC2086
check_equal "classify.c (pkg-config)" "$("$work/classify_pc" "$knowledge" $signal)" "$expected"

# --- .deb -------------------------------------------------------------------
rm -rf build/release/packages
(cd build/release && cpack -G DEB >/dev/null)
deb=$(echo build/release/packages/*.deb)
check_equal ".deb files" "$(dpkg-deb --contents "$deb" | awk '$6 !~ /\/$/ {print $6}' | sort)" "$(sort <<EOF2
./usr/bin/ombrel_emulator
./usr/include/ombrel/classifier.h
./usr/include/ombrel/classifier_context.h
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierConfig.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierConfigVersion.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierTargets-release.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierTargets.cmake
./usr/lib/libombrel_classifier.a
./usr/lib/x86_64-linux-gnu/pkgconfig/ombrel-classifier.pc
./usr/share/doc/ombrel/LICENSE
./usr/share/doc/ombrel/README.md
./usr/share/doc/ombrel/changelog.gz
./usr/share/doc/ombrel/copyright
./usr/share/man/man1/ombrel_emulator.1.gz
EOF2
)"
check_equal ".deb version" "$(dpkg-deb -f "$deb" Version)" "$version"
# Only shared libraries the emulator loads: the C and C++ runtimes.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort | tr '\n' ' ')
check_equal ".deb dependencies" "$depends" "libc6 libgcc-s1 libstdc++6 "
dpkg-deb -x "$deb" "$work/deb"
man_page_covers "man ombrel_emulator from the .deb" "$(MANPATH="$work/deb/usr/share/man" man -P cat ombrel_emulator 2>&1)"
# shellcheck disable=SC2046
cc -std=c11 -Werror tests/package/classify.c \
  $(PKG_CONFIG_PATH="$work/deb/usr/lib/x86_64-linux-gnu/pkgconfig" pkg-config --cflags --libs ombrel-classifier) \
  -o "$work/classify_deb"
# shellcheck disable=SC2086
check_equal "classify.c (the .deb's pkg-config file)" "$("$work/classify_deb" "$knowledge" $signal)" "$expected"
# Tags at the levels error and warning; lintian's notes about running as
# root go to standard error.
check_equal "lintian on the .deb" "$(lintian --fail-on none "$deb" 2>/dev/null | grep -E '^[EW]: ')" ""

# --- Windows .zip -----------------------------------------------------------
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
rm -rf build/windows/packages
(cd build/windows && cpack -G ZIP >/dev/null)
zip=$(echo build/windows/packages/*.zip)
top=$(basename "$zip" .zip)
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$root/$zip")
for f in bin/ombrel_emulator.exe lib/libombrel_classifier.a include/ombrel/classifier.h include/ombrel/classifier_context.h README.md LICENSE; do
  [ -f "$work/zip/$top/$f" ] || fail "the .zip holds no $top/$f"
done
cp "$knowledge" "$work/zip/knowledge.bin"
x86_64-w64-mingw32-gcc-posix -std=c11 -Werror tests/package/classify.c -I"$work/zip/$top/include" \
  "$work/zip/$top/lib/libombrel_classifier.a" -static -o "$work/zip/classify.exe"
(
  source tools/wine_env.sh
  cd "$work/zip"
  wine "$top/bin/ombrel_emulator.exe" ombr_get_info </dev/null >/dev/null 2>&1 || true
  # shellcheck disable=SC2086
  check_equal "ombrel_emulator.exe from the .zip" \
    "$(wine "$top/bin/ombrel_emulator.exe" ombr_classification --knowledge_path knowledge.bin --array $signal | report_to_line)" "$expected"
  # shellcheck disable=SC2086
  check_equal "classify.c linked against the .zip's archive" \
    "$(wine classify.exe knowledge.bin $signal | tr -d '\r')" "$expected"
  exit "$status"
) || status=1

[ "$status" -eq 0 ] && echo "package tests passed"
exit "$status"
