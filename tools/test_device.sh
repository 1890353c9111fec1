#!/usr/bin/env bash
# Proves the library on a device: cross-builds it for a Cortex-M4F (preset
# cortex-m4), links the device test firmware against it, runs the firmware
# on an emulated MPS2 AN386 board under QEMU, and compares every line it
# prints (status, class id and the bits of the four probabilities, for
# every signal of tests/device/generate_inputs.py) with the same program
# built for the desktop against the release build's library.
#
# The knowledges reach the firmware through export-c, and the classification
# path is the library's own float-only tanh and exp. Also checks, from the
# firmware's linker map, that the library brings in neither knowledge pass
# (they use FILE*) and needs from outside only fminf, memcpy and the
# compiler's run-time helpers (software double precision for the rare
# arguments the float-only functions leave to it): no libm tanh or exp.
#
# Needs the Debian packages gcc-arm-none-eabi, libnewlib-arm-none-eabi,
# libstdc++-arm-none-eabi-dev (the C++ headers the library's sources include)
# and qemu-system-arm. Prints "N of N signals bit-identical"; exits 0 only when
# every line is identical and the checks pass.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
out=build/cortex-m4/device
device=tests/device
mkdir -p "$out"

cmake --preset cortex-m4 >/dev/null
cmake --build --preset cortex-m4 -j "$jobs"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ombrel_classifier ombrel_python
# The interpreter the build found (cmake/python.cmake), as bench/run.sh.
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt 2>/dev/null || true)
python=${python:-python3}

"$python" "$device/generate_inputs.py" "$out/device_inputs.c"
# The knowledges reach the firmware as a user's do: exported as C arrays.
cp examples/emg/knowledge.bin "$out/knowledge_emg.bin"
for name in emg n0 n11 n23; do
  PYTHONPATH=python "$python" -m ombrel.knowledge export-c "$out/knowledge_$name.bin" \
    --name "knowledge_$name" --output-dir "$out" >/dev/null
done

# The toolchain file's flags, so that the firmware is built as the library.
cpu_flags=$(sed -n 's/^ *"\(-mcpu=[^"]*\)")$/\1/p' cmake/arm-none-eabi-cortex-m4.cmake)
[ -n "$cpu_flags" ] || { echo "error: no flags found in cmake/arm-none-eabi-cortex-m4.cmake" >&2; exit 1; }
warnings="-std=c11 -Wall -Wextra -Wconversion -Wshadow -Wdouble-promotion -Wvla -Werror"
includes="-Ilibrary -I$device -I$out"
sources=("$device/classify_all.c" "$out/device_inputs.c" "$out"/knowledge_{emg,n0,n11,n23}.c)

# shellcheck disable=SC2086
arm-none-eabi-gcc $cpu_flags -O2 $warnings $includes -nostartfiles \
  -T "$device/mps2-an386.ld" -Wl,--gc-sections -Wl,-Map="$out/firmware.map" \
  "$device/startup.c" "$device/semihosting.c" "${sources[@]}" \
  build/cortex-m4/library/libombrel_classifier.a -lm -o "$out/firmware.elf"
# shellcheck disable=SC2086
gcc -O2 -ffp-contract=off $warnings $includes "$device/host_emit_line.c" "${sources[@]}" \
  build/release/library/libombrel_classifier.a -lm -o "$out/host_classify_all"

status=0

# The library objects the firmware linked, and what they need from outside.
"$python" - "$out/firmware.map" build/cortex-m4/library/libombrel_classifier.a <<'PY' || status=1
import re, subprocess, sys
map_text, archive = open(sys.argv[1]).read(), sys.argv[2]
table = map_text.split("Archive member included")[1].split("Memory Configuration")[0]
linked = set(re.findall(r"libombrel_classifier\.a\(([^)]+)\)", table))
defined, needed = set(), set()
member = None
for line in subprocess.run(["arm-none-eabi-nm", archive], capture_output=True, text=True,
                           check=True).stdout.splitlines():
    if line.endswith(":"):
        member = line[:-1]
    elif member in linked and line.split():
        kind, name = line.split()[-2:]
        (needed if kind == "U" else defined).add(name)
outside = sorted(n for n in needed - defined if not n.startswith("__aeabi_"))
passes = sorted(m for m in linked if m.startswith(("knowledge_load", "knowledge_size")))
print("library objects linked: %d; needed from outside: %s" % (len(linked), " ".join(outside)))
if passes:
    print("error: a firmware that never calls the knowledge passes links %s" % " ".join(passes))
allowed = {"fminf", "memcpy"}
if not set(outside) <= allowed:
    print("error: the classification path needs more than fminf and memcpy")
sys.exit(1 if passes or not set(outside) <= allowed else 0)
PY

qemu=0
rm -f "$out/device.txt"
timeout 300 qemu-system-arm -M mps2-an386 -cpu cortex-m4 -display none -monitor none \
  -serial none -chardev file,id=console,path="$out/device.txt" \
  -semihosting-config enable=on,target=native,chardev=console -kernel "$out/firmware.elf" || qemu=$?
if [ "$qemu" -ne 0 ]; then
  echo "error: the firmware ended with status $qemu$([ "$qemu" -eq 124 ] && echo ' (timeout)')" >&2
  status=1
fi
"$out/host_classify_all" >"$out/desktop.txt"

"$python" - "$out/device.txt" "$out/desktop.txt" <<'PY' || status=1
import sys

device = open(sys.argv[1]).read().splitlines()
desktop = open(sys.argv[2]).read().splitlines()
signals = [line for line in desktop if " init " not in line]
same = 0
differing = []
for a, b in zip(device, desktop):
    if a == b:
        same += " init " not in b
    else:
        differing.append((a, b))
if len(device) != len(desktop):
    differing.append(("%d lines" % len(device), "%d lines" % len(desktop)))
for a, b in differing[:10]:
    print("device:  %s\ndesktop: %s" % (a, b))
print("%d of %d signals bit-identical" % (same, len(signals)))
sys.exit(0 if not differing else 1)
PY
# The float-only tanh and exp on the device against glibc on the desktop, over
# 2^17 arguments (tests/device/elementary_sample.cpp).
for part in startup semihosting; do
  # shellcheck disable=SC2086
  arm-none-eabi-gcc $cpu_flags -O2 $warnings $includes -c "$device/$part.c" -o "$out/$part.o"
done
# shellcheck disable=SC2086
arm-none-eabi-g++ $cpu_flags -std=c++20 -O2 -fno-exceptions -fno-rtti -Wall -Wextra -Werror \
  $includes -nostartfiles -T "$device/mps2-an386.ld" -Wl,--gc-sections \
  "$device/elementary_sample.cpp" "$out/startup.o" "$out/semihosting.o" \
  build/cortex-m4/library/libombrel_classifier.a -o "$out/elementary_sample.elf"
# shellcheck disable=SC2086
gcc -O2 $warnings $includes -c "$device/host_emit_line.c" -o "$out/host_emit_line.o"
# shellcheck disable=SC2086
g++ -std=c++20 -O2 -ffp-contract=off -Wall -Wextra -Werror $includes -DOMBREL_GLIBC_REFERENCE \
  "$device/elementary_sample.cpp" "$out/host_emit_line.o" \
  build/release/library/libombrel_classifier.a -lm -o "$out/host_elementary_sample"
rm -f "$out/elementary_device.txt"
qemu=0
timeout 300 qemu-system-arm -M mps2-an386 -cpu cortex-m4 -display none -monitor none \
  -serial none -chardev file,id=console,path="$out/elementary_device.txt" \
  -semihosting-config enable=on,target=native,chardev=console \
  -kernel "$out/elementary_sample.elf" || qemu=$?
"$out/host_elementary_sample" >"$out/elementary_desktop.txt"
if [ "$qemu" -eq 0 ] && cmp -s "$out/elementary_device.txt" "$out/elementary_desktop.txt"; then
  echo "tanh and exp: 131072 arguments bit-identical with glibc;" \
    "$(tail -n 1 "$out/elementary_device.txt")"
else
  echo "error: the device's tanh and exp differ from glibc's (status $qemu):" >&2
  diff "$out/elementary_device.txt" "$out/elementary_desktop.txt" | head -5 >&2 || true
  status=1
fi
# Board validation over the UART (examples/device/validate): the preset's
# firmware holds the EMG knowledge; one more firmware per random knowledge,
# built the same way, and the special signals as a signal file
# (generate_inputs.py). tests/device/test_validate.py drives them with
# python3 -m ombrel.device validate --qemu, and injects the link's faults.
validate=examples/device/validate
for name in n0 n11 n23; do
  mkdir -p "$out/validate_$name"
  PYTHONPATH=python "$python" -m ombrel.knowledge export-c "$out/knowledge_$name.bin" \
    --name validate_knowledge --output-dir "$out/validate_$name" >/dev/null
  # shellcheck disable=SC2086
  arm-none-eabi-gcc $cpu_flags -O2 $warnings -Ilibrary -I"$device" -I"$validate" -I"$out/validate_$name" \
    "-DVALIDATE_FLAGS=\"$cpu_flags -O2\"" -nostartfiles -L"$validate/ports/mps2-an386" \
    -T "$validate/sections.ld" -Wl,--gc-sections "$validate/validate.c" "$validate/frame.c" \
    "$validate/ports/mps2-an386/port.c" "$out/validate_$name/validate_knowledge.c" \
    "$device/startup.c" "$device/semihosting.c" build/cortex-m4/library/libombrel_classifier.a -lm \
    -o "$out/validate_$name.elf"
done
# No dynamic memory: nothing of the C library's allocator is linked.
if arm-none-eabi-nm "$out"/validate_n0.elf build/cortex-m4/examples/device/validate/validate.elf |
   grep -E ' (malloc|_malloc_r|_sbrk|_sbrk_r|free)$'; then
  echo "error: the validation firmware links an allocator" >&2
  status=1
fi
# The port template compiles once its UART is filled in.
# shellcheck disable=SC2086
arm-none-eabi-gcc $cpu_flags -O2 $warnings -DUART_CONFIGURED -I"$validate" \
  -c "$validate/ports/template/port.c" -o "$out/template_port.o"
OMBREL_PYTHON_DIR=build/release/python OMBREL_DEVICE_DIR="$out" \
  OMBREL_VALIDATE_FIRMWARE=build/cortex-m4/examples/device/validate/validate.elf \
  "$python" -m pytest -q tests/device/test_validate.py || status=1
# The device example (examples/device), built by the preset: its output.
example=build/cortex-m4/examples/device/firmware.elf
rm -f "$out/example.txt"
if timeout 60 qemu-system-arm -M mps2-an386 -cpu cortex-m4 -display none -monitor none \
     -serial none -chardev file,id=console,path="$out/example.txt" \
     -semihosting-config enable=on,target=native,chardev=console -kernel "$example" &&
   cmp -s "$out/example.txt" examples/device/expected_output.txt; then
  echo "device example: $(cat "$out/example.txt")"
else
  echo "error: the device example printed something else than examples/device/expected_output.txt:" >&2
  cat "$out/example.txt" >&2
  status=1
fi
exit "$status"
