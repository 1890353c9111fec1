"""Warnings that every report carries: what makes a result look valid when it
may not be. Each has a kind (one of KINDS), the first line it concerns (or
None), how many lines, signals or values it concerns (or None), and one
message that says what to change.

The same record travels everywhere: standard error of the commands, the
`warnings` list of evaluate's JSON, the banner of the HTML page, the plot's
title, and Python warnings (SignalFileWarning) from read_signals. This
module imports nothing of the package, so any layer may use it.
"""

import warnings
from dataclasses import dataclass
from typing import Optional

# kind -> a short name for titles and banners.
KINDS = {
    "value-count": "lines without 64 values",
    "no-final-line-feed": "last line not classified",
    "header-line": "column names read as a signal",
    "non-finite-signal": "NaN or infinity in signals",
    "non-finite-probability": "NaN or infinity in probabilities",
    "same-class-always": "the knowledge classifies everything the same way",
    "input-mismatch": "signals unlike what the knowledge expects",
    "stale-card": "stale knowledge card",
}

# The fix for a file written by pandas: neither the column names nor the
# row index are signal values.
PANDAS_FIX = "write the signals with DataFrame.to_csv(path, index=False, header=False)"


@dataclass(frozen=True)
class ReportWarning:
    kind: str
    message: str
    line: Optional[int] = None
    count: Optional[int] = None

    def __post_init__(self):
        if self.kind not in KINDS:
            raise ValueError("unknown warning kind %r; one of %s" % (self.kind, ", ".join(KINDS)))

    def to_dict(self) -> dict:
        return {"kind": self.kind, "line": self.line, "count": self.count, "message": self.message}


class SignalFileWarning(UserWarning):
    """A signal file read as the command reads it, whose result may not be
    what was meant (see ombrel.report_warnings.KINDS). `report` is the
    ReportWarning; kind, line and count are its fields."""

    def __init__(self, report: ReportWarning, path: str = ""):
        super().__init__(("%s: %s" % (path, report.message)) if path else report.message)
        self.report = report
        self.kind, self.line, self.count = report.kind, report.line, report.count


class WarningList:
    """The warnings of one run, in the order found; the same warning found
    twice is kept once."""

    def __init__(self, items=()):
        self.items = []
        self.extend(items)

    def add(self, kind, message, line=None, count=None) -> ReportWarning:
        w = ReportWarning(kind, message, None if line is None else int(line), None if count is None else int(count))
        self.extend([w])
        return w

    def extend(self, items):
        for w in items:
            if w not in self.items:
                self.items.append(w)

    def __iter__(self):
        return iter(self.items)

    def __len__(self):
        return len(self.items)

    def to_list(self) -> list:
        """JSON-ready: [{"kind", "line", "count", "message"}, ...]."""
        return [w.to_dict() for w in self.items]

    def lines(self, prefix="warning: ") -> list:
        return [prefix + w.message for w in self.items]

    def title(self) -> str:
        """One line for a figure's title: how many warnings and their kinds."""
        if not self.items:
            return ""
        kinds = []
        for w in self.items:
            if KINDS[w.kind] not in kinds:
                kinds.append(KINDS[w.kind])
        return "%d warning%s: %s" % (len(self.items), "" if len(self.items) == 1 else "s", "; ".join(kinds))

    def warn(self, path="", category=SignalFileWarning, stacklevel=3):
        """Each as a Python warning of `category` (a SignalFileWarning)."""
        for w in self.items:
            warnings.warn(category(w, path), stacklevel=stacklevel)


def caught(records) -> list:
    """The ReportWarnings of Python warnings caught with
    warnings.catch_warnings(record=True)."""
    return [r.message.report for r in records if isinstance(r.message, SignalFileWarning)]
