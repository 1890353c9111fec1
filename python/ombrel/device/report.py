"""A validation run's report: the text the tool prints, its JSON and its
HTML page (in the evaluation report's style)."""

import html
import json

import numpy as np

from ..file_paths import replacing

UNIT_NOTES = {"instructions": "instructions counted by QEMU under -icount, not cycles",
              "cycles": "core clock cycles (DWT cycle counter)"}


def _bits(words):
    return " ".join("%08x" % w for w in words)


def counter_figures(outcome, clock_hz=None):
    """min, median, max of the counter per inference, and inferences per
    second at clock_hz (at the median and at the max); None when nothing
    was compared."""
    if not outcome.answers:
        return None
    counts = np.array([a[-1] for a in outcome.answers], np.int64)
    figures = {"unit": outcome.hello.counter_unit, "min": int(counts.min()),
               "median": float(np.median(counts)), "max": int(counts.max())}
    if clock_hz:
        figures["clock_hz"] = clock_hz
        figures["inferences_per_second"] = {"median": clock_hz / max(figures["median"], 1),
                                            "max": clock_hz / max(figures["max"], 1)}
    return figures


def mismatch_records(outcome):
    e = outcome.expected
    records = []
    for i in outcome.mismatches():
        status, class_id, *bits, counter = outcome.answers[i]
        records.append({"line": int(e.lines[i]),
                        "board": {"status": status, "class_id": class_id, "probabilities": ["%08x" % b for b in bits]},
                        "desktop": {"status": 0, "class_id": int(e.class_ids[i]),
                                    "probabilities": ["%08x" % b for b in e.bits[i]]}})
    return records


def as_json(outcome, signals_path, clock_hz=None):
    e, h = outcome.expected, outcome.hello
    seconds = max(outcome.seconds, 1e-9)
    return {
        "passed": outcome.passed,
        "fault": None if outcome.fault is None else {"kind": outcome.fault.kind, "message": str(outcome.fault)},
        "board": None if h is None else {k: getattr(h, k) for k in (
            "board", "library_id", "knowledge_sha256", "units", "init_status", "counter_unit", "window",
            "compiler", "flags")},
        "desktop": {"library_id": e.library_id, "knowledge": e.knowledge_path,
                    "knowledge_sha256": e.knowledge_sha256, "units": e.units},
        "signals": {"path": signals_path, "asked": len(e.lines),
                    "lines": [int(e.lines[0]), int(e.lines[-1])] if len(e.lines) else None},
        "compared": outcome.compared,
        "identical": outcome.compared - len(outcome.mismatches()),
        "mismatches": mismatch_records(outcome),
        "counter": counter_figures(outcome, clock_hz),
        "link": {"seconds": outcome.seconds, "signals_per_second": outcome.compared / seconds,
                 "bytes_sent": outcome.sent, "bytes_received": outcome.received},
    }


def _number(value):
    return "{:,.0f}".format(value)


def counter_lines(counter):
    if counter is None:
        return []
    lines = ["%s per inference (%s): min %s, median %s, max %s" % (
        counter["unit"], UNIT_NOTES.get(counter["unit"], counter["unit"]),
        _number(counter["min"]), _number(counter["median"]), _number(counter["max"]))]
    if "clock_hz" in counter:
        rate = counter["inferences_per_second"]
        assumed = "" if counter["unit"] == "cycles" else ", if each instruction took one cycle"
        lines.append("inferences per second at %s Hz%s: %s at the median, %s at the max"
                     % (_number(counter["clock_hz"]), assumed, _number(rate["median"]), _number(rate["max"])))
    return lines


def text(report):
    """The lines the tool prints."""
    b, d, s = report["board"], report["desktop"], report["signals"]
    out = []
    if b is not None:
        out.append("board: %s; library %s; %s; flags %s" % (b["board"], b["library_id"], b["compiler"], b["flags"]))
        if b["library_id"] != d["library_id"]:
            out.append("note: the desktop library is %s, the board's %s" % (d["library_id"], b["library_id"]))
    out.append("knowledge: %s, N = %d, SHA-256 %s" % (d["knowledge"], d["units"], d["knowledge_sha256"]))
    lines = "lines %d to %d" % tuple(s["lines"]) if s["lines"] else "no signal"
    out.append("signals: %s, %s (%d)" % (s["path"], lines, s["asked"]))
    for m in report["mismatches"]:
        out.append("line %d differs: board status %d, class %d, probabilities %s; desktop class %d, "
                   "probabilities %s" % (m["line"], m["board"]["status"], m["board"]["class_id"],
                                         " ".join(m["board"]["probabilities"]), m["desktop"]["class_id"],
                                         " ".join(m["desktop"]["probabilities"])))
    out.append("%d of %d signals bit-identical%s" % (
        report["identical"], s["asked"],
        "" if report["compared"] == s["asked"] else " (%d compared)" % report["compared"]))
    out += counter_lines(report["counter"])
    link = report["link"]
    out.append("link: %d signals in %.1f s, %.1f signals/s; %s bytes sent, %s received"
               % (report["compared"], link["seconds"], link["signals_per_second"],
                  _number(link["bytes_sent"]), _number(link["bytes_received"])))
    return out


def write_json(path, report):
    with replacing(path, "w", encoding="utf-8") as f:
        json.dump(report, f, indent=1)
        f.write("\n")
