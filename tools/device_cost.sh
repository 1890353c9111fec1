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
# libm and libgcc included; the markers' own overhead is subtracted. Each
# instruction is charged to the stage of the function it lies in.
# The tables go into docs/performance.md (tools/write_doc_table.py).
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/cortex-m4/device
device=tests/device
[ -f "$out/device_inputs.c" ] || { echo "error: run tools/test_device.sh first" >&2; exit 1; }
cpu_flags=$(sed -n 's/^ *"\(-mcpu=[^"]*\)")$/\1/p' cmake/arm-none-eabi-cortex-m4.cmake)
library=build/cortex-m4/library/libombrel_classifier.a
# The interpreter the build found (cmake/python.cmake), as bench/run.sh.
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt 2>/dev/null || true)
python=${python:-python3}
{

link() { # name, extra flags...
  local name=$1; shift
  # shellcheck disable=SC2086
  arm-none-eabi-gcc $cpu_flags -O2 -std=c11 -Ilibrary -I"$device" -I"$out" -nostartfiles \
    -T "$device/mps2-an386.ld" -Wl,--gc-sections -Wl,-Map="$out/$name.map" \
    "$device/startup.c" "$device/semihosting.c" "$@" "$library" -lm -o "$out/$name.elf"
}
link footprint_bare -DBARE --specs=nano.specs "$device/footprint.c"
link footprint_run --specs=nano.specs "$device/footprint.c"
link footprint_passes -DWITH_KNOWLEDGE_PASSES --specs=nano.specs --specs=nosys.specs "$device/footprint.c"
link cost "$device/cost.c" "$out/device_inputs.c" "$out"/knowledge_{emg,n0,n11,n23}.c

echo "arm-none-eabi-size (text = code + rodata):"
arm-none-eabi-size "$out"/footprint_{bare,run,passes}.elf
"$python" - "$out" <<'PY'
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
table = ["| Firmware calls | Flash (text + rodata + data) | RAM (data + bss) | of which the library's own objects |",
         "|---|---|---|---|"]
for name, label, cell in (("footprint_run", "classifier_init + classifier_run",
                           "`classifier_init`, `classifier_run`"),
                          ("footprint_passes", "  + knowledge_size, knowledge_load",
                           "and `knowledge_size`, `knowledge_load`")):
    flash, ram = sizes(name)
    own = library_share(name)
    print("%-36s firmware - bare: flash %6d B, RAM %5d B; library objects alone: flash %5d B, RAM %4d B"
          % (label, flash - bare[0], ram - bare[1], own[0], own[1]))
    table.append("| %s | {:,} B | {:,} B | flash {:,} B, RAM {:,} B |".format(
        flash - bare[0], ram - bare[1], *own) % cell)
open("%s/footprint.md" % out, "w").write("\n".join(table) + "\n\n")
PY

symbol() { arm-none-eabi-nm "$out/cost.elf" | awk -v s="$1" '$3 == s { print $1 }'; }
begin=$(symbol cost_begin)
end=$(symbol cost_end)
timeout 600 qemu-system-arm -M mps2-an386 -cpu cortex-m4 -display none -monitor none -serial none \
  -semihosting-config enable=on,target=native -singlestep -d exec,nochain -D "$out/cost.log" \
  -kernel "$out/cost.elf"
arm-none-eabi-nm -S --defined-only "$out/cost.elf" >"$out/cost.symbols"
"$python" - "$out/cost.log" "$begin" "$end" "$out/cost.symbols" <<'PY'
import bisect, collections, re, sys
log, begin, end = sys.argv[1], int(sys.argv[2], 16), int(sys.argv[3], 16)

# Every function's address range, so that each executed instruction is
# charged to the stage of the function it lies in.
functions = []
for line in open(sys.argv[4]):
    fields = line.split()
    if len(fields) == 4 and fields[2] in "tTwW":
        functions.append((int(fields[0], 16), int(fields[1], 16), fields[3]))
functions.sort()
starts = [f[0] for f in functions]
STAGES = (("standardisation", ("standardise_signal", "feature_window", "memcpy")),
          ("hidden layer", ("hidden_layer", "pre_activations")),
          ("activations (tanh)", ("float_tanh", "tanh_single", "tanh_nearest")),
          ("output layer", ("output_layer",)),
          ("soft-max (exp)", ("softmax_decision", "float_exp", "exp_single", "exp_nearest", "fminf",
                              "fpclassify")),
          ("software double (fallback)", ("exp_accurate", "__aeabi_", "df3", "df2", "dfsf")))

# The exp core that tanh and exp share is charged to the stage that calls it.
SHARED = ("exp_parts",)
last_stage = None

def stage(pc):
    global last_stage
    i = bisect.bisect_right(starts, pc) - 1
    name = functions[i][2] if i >= 0 and pc < functions[i][0] + functions[i][1] else "?"
    if any(part in name for part in SHARED) and last_stage:
        return last_stage
    for label, parts in STAGES:
        if any(part in name for part in parts):
            last_stage = label
            return label
    last_stage = None
    return "call, checks and glue"

counts, per_stage, counting, n = [], [], False, 0
for line in open(log):
    m = re.match(r"Trace \d+: \S+ \[[0-9a-f]+/([0-9a-f]+)/", line)
    if not m:
        continue
    pc = int(m.group(1), 16) & ~1
    if pc == begin:
        counting, n, stages = True, 0, collections.Counter()
    elif pc == end and counting:
        counts.append(n)
        per_stage.append(stages)
        counting = False
    elif counting:
        n += 1
        stages[stage(pc)] += 1
overhead, runs = counts[0], counts[1:]
print("marker overhead: %d instructions" % overhead)
half = len(runs) // 2
columns = []
for label, part, split in (("N = 0", runs[:half], per_stage[1:half + 1]),
                           ("N = 23 (EMG knowledge)", runs[half:], per_stage[half + 1:])):
    part = [c - overhead for c in part]
    print("instructions per classifier_run, %s, %d EMG signals: mean %.0f, min %d, max %d"
          % (label, len(part), sum(part) / len(part), min(part), max(part)))
    total = sum(split, collections.Counter())
    stages = [(name, total[name] / len(split)) for name, _ in STAGES + (("call, checks and glue", ()),)]
    for name, mean in stages:
        print("  %-28s mean %6.0f" % (name, mean))
    spread = ("every signal" if min(part) == max(part)
              else "{:,} to {:,}".format(min(part), max(part)))
    columns.append(["{:,.0f} ({})".format(sum(part) / len(part), spread)]
                   + ["{:,.0f}".format(mean) for _, mean in stages])
rows = ["**`classifier_run`, mean of 16 EMG signals**"] + [name for name, _ in STAGES] + ["call, checks and glue"]
table = ["| Instructions per call | N = 0 | N = 23 (the EMG example's) |", "|---|---|---|"]
table += ["| %s | %s | %s |" % (row, a, b) for row, a, b in zip(rows, *columns)]
open(log.rsplit("/", 1)[0] + "/cost.md", "w").write("\n".join(table) + "\n")
PY
} | tee "$out/device_cost.txt"

cat "$out/footprint.md" "$out/cost.md" | "$python" tools/write_doc_table.py docs/performance.md \
  "tools/device_cost.sh device" --tool arm-none-eabi-gcc --tool qemu-system-arm
