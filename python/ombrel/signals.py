"""Signal files read exactly as the command reads them."""

import operator
import os
import re
import warnings

from ._engine import engine
from .file_paths import shown_path
from .report_warnings import PANDAS_FIX, ReportWarning, SignalFileWarning

_INT64 = 2 ** 63 - 1


class SignalFileError(ValueError):
    """A signal file the command would stop on.

    message: the error block the command prints; line: the line whose signal
    could not be read (counted from 1), or None when the failure is not a
    line's; hint: the fix when the cause is known (a data frame's header
    and row index), or None."""

    def __init__(self, message, path, line=None, hint=None):
        self.message = message
        self.path = path
        self.line = line
        self.hint = hint
        text = message if line is None else "%s\n(line %d)" % (message, line)
        super().__init__(text if hint is None else "%s\n%s" % (text, hint))


class SignalAlignmentWarning(SignalFileWarning):
    """Signals of the file stop starting at line starts: the first line that
    holds other than 64 values (a label column left in, a short line, an
    empty line) shifts every later signal. The values are read as the
    command reads them, shifted; the command prints the same words on
    standard error."""


# What DataFrame.to_csv() writes first by default: an empty index name and
# the column names 0 to 63.
_FRAME_HEADER = re.compile(rb",?0(?:,[0-9]+){63}\r?\n")


def _frame_hint(path):
    """The fix when line 1 is a data frame's header (with its index
    column), which the command cannot read as values."""
    try:
        with open(path, "rb") as f:
            first = f.readline(4096)
    except OSError:
        return None
    if _FRAME_HEADER.fullmatch(first) and first.strip(b",\r\n").split(b",") == [b"%d" % k for k in range(64)]:
        return "line 1 holds a data frame's column names (and its row index): " + PANDAS_FIX
    return None


def _bound(name, value):
    if value is None:
        return None
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError("%s must be a line number (an integer), not %r" % (name, value)) from None
    return max(-_INT64, min(_INT64, value))


def _threads(threads):
    if threads is None:
        return None
    try:
        return operator.index(threads)
    except TypeError:
        raise TypeError("threads must be a whole number from 1 to 64 or None, not %r" % (threads,)) from None


def read_signals(path, begin=None, end=None, threads=None):
    """Signals of lines begin to end (counted from 1; by default the whole
    file) as the command classifies them: returns (X float32 (n, 64), line
    numbers int64 (n,)).

    A line is what ends with a line feed; each signal is the next 64 values,
    each followed by one separator. Raises SignalFileError where the command
    fails, with its message. Warns, in the command's words on standard error
    and with the file's path, with a SignalFileWarning (kind, line, count)
    for each of: lines without 64 values (SignalAlignmentWarning), column
    numbers as a first line, signals with NaN or infinity, and a last line
    without a line feed.

    The file is read on `threads` threads (1 to 64); by default as many as
    the command takes (OMBREL_THREADS, else the cores this process may use).
    Other Python threads run meanwhile; Ctrl-C stops the read between two
    blocks of the file."""
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("embedded null byte in the signal file's path %r" % (path,))
    x, lines, message, line, found = engine().read_signals(
        encoded, _bound("begin", begin), _bound("end", end), _threads(threads))
    for kind, first, count, text in found:
        category = SignalAlignmentWarning if kind == "value-count" else SignalFileWarning
        warnings.warn(category(ReportWarning(kind, text, first, count), shown_path(path)), stacklevel=2)
    if message is not None:
        # The command's block names the path as given: bytes, shown escaped
        # where they are not UTF-8.
        text = message.decode("utf-8", "backslashreplace").rstrip("\n")
        raise SignalFileError(text, os.fsdecode(path), line, _frame_hint(path) if line == 1 else None)
    return x, lines
