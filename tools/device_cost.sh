#!/usr/bin/env bash
# Measures the library on the Cortex-M4F (after tools/test_device.sh has
# built the preset and the inputs): footprint with arm-none-eabi-size, and
# instructions per classifier_run counted by QEMU.
#
# Footprint: three firmwares, linked like the device test (--gc-sections):
# newlib-nano; a bare one, one calling classifier_init and classifier_run, and one also
# calling the knowledge passes (newlib-nano stdio); the library's own share
# is summed from the linker map.
# Instructions: QEMU runs the cost firmware one instruction per translation
# block (-singlestep) and logs every block executed (-d exec,nochain), so
# the log lines between the two markers are the instructions executed,
# libm and libgcc included; the markers' own overhead is subtracted.
# The figures are written into docs/performance.md (tools/write_doc_table.py).
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/cortex-m4/device
device=tests/device
[ -f "$out/device_inputs.c" ] || { echo "error: run tools/test_device.sh first" >&2; exit 1; }
cpu_flags=$(sed -n 's/^ *"\(-mcpu=[^"]*\)")$/\1/p' cmake/arm-none-eabi-cortex-m4.cmake)
library=build/cortex-m4/library/libombrel_classifier.a
{

link() { # name, extra flags...
  local name=$1; shift
  # shellcheck disable=SC2086
  arm-none-eabi-gcc $cpu_flags -O2 -std=c11 -Ilibrary -I"$device" -nostartfiles \
    -T "$device/mps2-an386.ld" -Wl,--gc-sections -Wl,-Map="$out/$name.map" \
    "$device/startup.c" "$device/semihosting.c" "$@" "$library" -lm -o "$out/$name.elf"
}
link footprint_bare -DBARE --specs=nano.specs "$device/footprint.c"
link footprint_run --specs=nano.specs "$device/footprint.c"
link footprint_passes -DWITH_KNOWLEDGE_PASSES --specs=nano.specs --specs=nosys.specs "$device/footprint.c"
link cost "$device/cost.c" "$out/device_inputs.c"

echo "arm-none-eabi-size (text = code + rodata):"
arm-none-eabi-size "$out"/footprint_{bare,run,passes}.elf
/usr/bin/python3 - "$out" <<'PY'
import re, subprocess, sys
out = sys.argv[1]

def sizes(name):
    text, data, bss = map(int, subprocess.run(["arm-none-eabi-size", "%s/%s.elf" % (out, name)],
        capture_output=True, text=True, check=True).stdout.splitlines()[1].split()[:3])
    # Flash holds .data's initial values too. RAM leaves out the caller's
    # knowledge buffer (152 + 69*23 floats, 6956 B), which is not the library's.
    buffer = 0 if name.endswith("bare") else 4 * (152 + 69 * 23)
    return text + data, data + bss - buffer

def library_share(name):
    memory_map = open("%s/%s.map" % (out, name)).read().split("Linker script and memory map")[1]
    flash = ram = 0
    for section, size in re.findall(
            r"^ (\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+) \S*libombrel_classifier\.a\(", memory_map, re.M):
        if section.startswith((".text", ".rodata")):
            flash += int(size, 16)
        elif section.startswith((".data", ".bss")):
            ram += int(size, 16)
    return flash, ram

bare = sizes("footprint_bare")
for name, label in (("footprint_run", "classifier_init + classifier_run"),
                    ("footprint_passes", "  + knowledge_size, knowledge_load")):
    flash, ram = sizes(name)
    own = library_share(name)
    print("%-36s firmware - bare: flash %6d B, RAM %5d B; library objects alone: flash %5d B, RAM %4d B"
          % (label, flash - bare[0], ram - bare[1], own[0], own[1]))
PY

symbol() { arm-none-eabi-nm "$out/cost.elf" | awk -v s="$1" '$3 == s { print $1 }'; }
begin=$(symbol cost_begin)
end=$(symbol cost_end)
timeout 600 qemu-system-arm -M mps2-an386 -cpu cortex-m4 -display none -monitor none -serial none \
  -semihosting-config enable=on,target=native -singlestep -d exec,nochain -D "$out/cost.log" \
  -kernel "$out/cost.elf"
/usr/bin/python3 - "$out/cost.log" "$begin" "$end" <<'PY'
import re, sys
log, begin, end = sys.argv[1], int(sys.argv[2], 16), int(sys.argv[3], 16)
counts, counting, n = [], False, 0
for line in open(log):
    m = re.match(r"Trace \d+: \S+ \[[0-9a-f]+/([0-9a-f]+)/", line)
    if not m:
        continue
    pc = int(m.group(1), 16) & ~1
    if pc == begin:
        counting, n = True, 0
    elif pc == end and counting:
        counts.append(n)
        counting = False
    elif counting:
        n += 1
overhead, runs = counts[0], counts[1:]
print("marker overhead: %d instructions" % overhead)
half = len(runs) // 2
for label, part in (("N = 0", runs[:half]), ("N = 23 (EMG knowledge)", runs[half:])):
    part = [c - overhead for c in part]
    print("instructions per classifier_run, %s, %d EMG signals: mean %.0f, min %d, max %d"
          % (label, len(part), sum(part) / len(part), min(part), max(part)))
PY
} | tee "$out/device_cost.txt"

python3 - "$out/device_cost.txt" <<'PY' | python3 tools/write_doc_table.py docs/performance.md \
  "tools/device_cost.sh device" --tool arm-none-eabi-gcc --tool qemu-system-arm
import re, sys
text = open(sys.argv[1]).read()
print("| Firmware calls | Flash (text + rodata + data) | RAM (data + bss) | of which the library's own objects |")
print("|---|---|---|---|")
for label, calls in (("classifier_init + classifier_run", "`classifier_init`, `classifier_run`"),
                     ("+ knowledge_size, knowledge_load", "and `knowledge_size`, `knowledge_load`")):
    m = re.search(re.escape(label) + r" +firmware - bare: flash +(\d+) B, RAM +(\d+) B; "
                  r"library objects alone: flash +(\d+) B, RAM +(\d+) B", text)
    print("| %s | {:,} B | {:,} B | flash {:,} B, RAM {:,} B |".format(*map(int, m.groups())) % calls)
print()
print("| Knowledge | Instructions per call |")
print("|---|---|")
for label, knowledge in (("N = 0", "N = 0"), ("N = 23 (EMG knowledge)", "N = 23 (the EMG example's)")):
    m = re.search(r"instructions per classifier_run, %s, (\d+) EMG signals: mean (\d+), min (\d+), max (\d+)"
                  % re.escape(label), text)
    signals, mean, low, high = map(int, m.groups())
    figure = ("{:,} on each of {} signals".format(mean, signals) if low == high else
              "mean {:,} ({:,} to {:,}, {} signals)".format(mean, low, high, signals))
    print("| %s | %s |" % (knowledge, figure))
PY
