#!/usr/bin/env python3
"""The bundled EMG example, classified by the emulator itself, reaches the
held-out accuracy that examples/emg/README.md publishes.

  check_emg_accuracy.py EMULATOR [--wine]
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(ROOT, "examples", "emg")


def main():
    command = [os.path.abspath(sys.argv[1])]
    if "--wine" in sys.argv[2:]:
        command = ["wine"] + command
    command += ["ombr_classification", "--knowledge_path", "knowledge.bin", "--file", "signals.csv"]
    done = subprocess.run(command, cwd=EXAMPLE, capture_output=True)
    report = done.stdout.decode("ascii").replace("\r\n", "\n")
    classes = [int(c) for c in re.findall(r'"class_status": (\d+)', report)]
    with open(os.path.join(EXAMPLE, "labels.txt")) as f:
        labels = [int(x) for x in f.read().split()]
    with open(os.path.join(EXAMPLE, "README.md")) as f:
        published = re.search(r"held-out accuracy: ([0-9.]+)% \((\d+) of (\d+)\)", f.read())
    failures = []
    if done.returncode != 0:
        failures.append("exit status %d" % done.returncode)
    if len(classes) != len(labels):
        failures.append("%d records for %d labels" % (len(classes), len(labels)))
    correct = sum(1 for c, label in zip(classes, labels) if c == label)
    if published is None:
        failures.append("README.md publishes no held-out accuracy")
    elif (correct, len(labels)) != (int(published.group(2)), int(published.group(3))):
        failures.append("emulator: %d of %d correct; README publishes %s of %s"
                        % (correct, len(labels), published.group(2), published.group(3)))
    print("held-out accuracy through the emulator: %d of %d (%.2f%%)"
          % (correct, len(labels), 100.0 * correct / max(1, len(labels))))
    for failure in failures:
        print("FAIL:", failure)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
