"""The one requirement ombrel has of the interpreter that imports it: numpy.

Checked when the package is imported, so that `python3 -m ombrel.evaluate`,
`python3 -m ombrel.knowledge` and `import ombrel` under a python3 without
numpy (a pyenv or virtual-environment interpreter ahead of the system's on
PATH) say in one line which interpreter to use rather than end in a
traceback. The build writes interpreter.txt beside this file: the
interpreter it found and the directory of its ombrel-* commands.
"""
import importlib.util
import os
import sys


class InterpreterError(ImportError):
    """This python3 cannot run ombrel; the message says which one can."""


def _advice():
    try:
        with open(os.path.join(os.path.dirname(__file__), "interpreter.txt"), encoding="utf-8") as f:
            interpreter, commands = f.read().split("\n")[:2]
    except (OSError, ValueError):
        return "run it with a python3 that has numpy (on Debian: /usr/bin/python3, package python3-numpy)"
    return "run it with %s, the interpreter this build uses, or use the commands in %s" % (
        interpreter, commands)


def _one_line_hook(previous):
    def hook(kind, value, traceback):
        if isinstance(value, InterpreterError):
            print(value, file=sys.stderr)
        else:
            previous(kind, value, traceback)
    return hook


def require_numpy():
    """Raises InterpreterError (an ImportError) when numpy cannot be
    imported; left uncaught, it prints as its message alone."""
    if importlib.util.find_spec("numpy") is not None:
        return
    sys.excepthook = _one_line_hook(sys.excepthook)
    raise InterpreterError("ombrel needs numpy, which %s lacks: %s" % (sys.executable, _advice()))
