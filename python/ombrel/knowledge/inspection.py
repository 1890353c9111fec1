"""Inspection: what the library makes of a knowledge file, line by line."""

from __future__ import annotations

import math
from typing import NamedTuple, Optional, Sequence

import numpy as np

from .layout import (CONFIGURATION_LENGTH, EXPECTED_CONFIGURATION, HEADER_FLOATS,
                     HIDDEN_CAPACITY, INPUT_LENGTH, byte_size, float_count, loaded_floats, sections,
                     split, unit_count_from)


class Examination(NamedTuple):
    accepted: bool
    reasons: list[str]
    lines: list[str]


def _same_float32(found: float, expected: float) -> bool:
    return bool(np.float32(found) == np.float32(expected))      # NaN never equal


def _fmt(value: float) -> str:
    v = float(value)
    if math.isnan(v):
        return "nan"
    if math.isinf(v):
        return "inf" if v > 0 else "-inf"
    if v == int(v) and abs(v) < 1e16:
        return "-0" if (v == 0 and math.copysign(1, v) < 0) else "%d" % v
    return str(np.float32(v))          # shortest text that reads back as this float32


def examine(data: bytes) -> Examination:
    """Check file contents the way the library loads them.

    Returns (accepted, reasons, report lines)."""
    lines: list[str] = []
    reasons: list[str] = []
    size = len(data)
    lines.append("file size: %d bytes (%d floats%s)"
                 % (size, size // 4, " + %d bytes" % (size % 4) if size % 4 else ""))
    n = _unit_count(data, lines, reasons)
    if n is None:
        return _verdict(lines, reasons)
    lines.append(_size_line(size, n))
    k = split(loaded_floats(data, float_count(n)), n)
    lines.append("sections (float index, byte offset, floats):")
    for name, start, count in sections(n):
        end_byte = 4 * (start + count)
        note = ""
        if count and 4 * start >= size:
            note = "  [missing: zeros]"
        elif end_byte > size:
            note = "  [cut short: %d of %d bytes in the file]" % (size - 4 * start, 4 * count)
        lines.append("  %-15s %6d %7d %6d%s" % (name, start, 4 * start, count, note))
    body = np.concatenate([k.hidden_weights.ravel(), k.hidden_biases,
                           k.output_weights.ravel(), k.output_biases])
    _value_counts(lines, k.means, k.scales, body)
    _configuration(lines, reasons, k.configuration)
    return _verdict(lines, reasons)


def _unit_count(data: bytes, lines: list[str], reasons: list[str]) -> Optional[int]:
    """N, with its report line; None (the lines and reason of the refusal
    given) when the file holds no usable unit count."""
    size = len(data)
    if size == 0:
        reasons.append("empty file")
        lines.append("unit count: none: the file is empty")
        return None
    if size < 4 * HEADER_FLOATS:
        reasons.append("too short to hold the unit count")
        lines.append("unit count: none: the file ends before the unit count at byte %d "
                     "(%d bytes, at least %d needed)" % (4 * (HEADER_FLOATS - 1), size, 4 * HEADER_FLOATS))
        return None
    header = loaded_floats(data, HEADER_FLOATS)
    stored = header[HEADER_FLOATS - 1]
    n = unit_count_from(stored)
    if n is not None:
        lines.append("unit count: %d (stored %s): accepted" % (n, _fmt(stored)))
        return n
    reasons.append("unusable unit count")
    lines.append("unit count: stored %s: refused (the library accepts a finite "
                 "count from 0 to %d, truncated toward zero)" % (_fmt(stored), HIDDEN_CAPACITY))
    lines.append("sections (float index, byte offset, floats):")
    for name, start, count in sections(0)[:3]:
        lines.append("  %-15s %6d %7d %6d" % (name, start, 4 * start, count))
    lines.append("  (the other sections cannot be placed without a unit count)")
    _value_counts(lines, header[:INPUT_LENGTH], header[INPUT_LENGTH:2 * INPUT_LENGTH], [])
    return None


def _size_line(size: int, n: int) -> str:
    expected = byte_size(n)
    if size == expected:
        return "expected size: %d bytes for %d units: matches" % (expected, n)
    if size < expected:
        return ("expected size: %d bytes for %d units: file is %d bytes short; "
                "the missing tail loads as zeros" % (expected, n, expected - size))
    return ("expected size: %d bytes for %d units: %d extra bytes after the "
            "knowledge are ignored" % (expected, n, size - expected))


def _configuration(lines: list[str], reasons: list[str], configuration: np.ndarray) -> None:
    differing = [(i, e, float(configuration[i]))
                 for i, e in enumerate(EXPECTED_CONFIGURATION)
                 if not _same_float32(configuration[i], e)]
    if not differing:
        lines.append("configuration: matches")
        return
    reasons.append("configuration mismatch")
    lines.append("configuration: mismatch at %d of %d indices"
                 % (len(differing), CONFIGURATION_LENGTH))
    for i, e, found in differing:
        lines.append("  index %d: expected %s, found %s" % (i, _fmt(e), _fmt(found)))


def _value_counts(lines: list[str], means: np.ndarray, scales: np.ndarray,
                  body: Sequence[float]) -> None:
    allv = np.concatenate([means, scales, np.asarray(body, np.float32)])
    lines.append("values (means to output biases): %d NaN, %d infinite, %d zero scales"
                 % (int(np.isnan(allv).sum()), int(np.isinf(allv).sum()),
                    int((scales == 0).sum())))
    for what, where in (("mean not finite", ~np.isfinite(means)),
                        ("scale not finite", ~np.isfinite(scales)),
                        ("zero scale (the input has no effect)", scales == 0)):
        at = np.flatnonzero(where)
        if at.size:
            shown = ", ".join(str(i) for i in at[:16]) + (", ..." if at.size > 16 else "")
            lines.append("  %s at input %s" % (what, shown))


def _verdict(lines: list[str], reasons: list[str]) -> Examination:
    if reasons:
        lines.append("verdict: refused: " + "; ".join(reasons))
    else:
        lines.append("verdict: accepted")
    return Examination(not reasons, reasons, lines)


def format_report(path: str, data: bytes) -> tuple[Examination, str]:
    ex = examine(data)
    return ex, "\n".join(["knowledge: %s" % path] + ex.lines) + "\n"


