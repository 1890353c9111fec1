"""The command line: python3 -m ombrel.knowledge {write,read,inspect,import,export-c},
installed as ombrel-knowledge."""

from __future__ import annotations

import argparse
import io
import json
import os
import sys
from typing import Any, Optional, Sequence

import numpy as np

from . import export_c_command, import_command
from ..knowledge.binary import read, write_bytes, pack
from ..checks.run_warnings import knowledge_file_warnings
from ..file_paths import read_regular_bytes, replacing, shown_path
from ..knowledge.inspection import format_report
from ..knowledge.layout import ARRAY_NAMES, KnowledgeError
from .array_files import load_arrays


def _read_knowledge(path: str) -> Any:
    try:
        return read(path)
    except KnowledgeError as e:
        raise KnowledgeError("%s: not a usable knowledge: %s" % (path, e)) from None


def _cmd_write(args: argparse.Namespace) -> int:
    obj = load_arrays(args.source)
    extra = {}
    if "configuration" in obj:
        extra["configuration"] = obj["configuration"]
    size = write_bytes(args.output, pack(*(obj[name] for name in ARRAY_NAMES), **extra))
    print("wrote %s: %d bytes, %d hidden units"
          % (shown_path(args.output), size, np.asarray(obj["hidden_biases"]).size))
    return 0


def _cmd_read(args: argparse.Namespace) -> int:
    k = _read_knowledge(args.file)
    found = knowledge_file_warnings(read_regular_bytes(args.file, "the knowledge"), args.file)
    arrays = {name: getattr(k, name) for name in ARRAY_NAMES + ("configuration",)}
    if args.npz:
        packed = io.BytesIO()       # whole in memory first: a zip half written cannot be closed
        np.savez(packed, **arrays)
        with replacing(args.npz, "wb") as f:
            f.write(packed.getvalue())
    else:
        obj = {name: a.astype(np.float64).tolist() for name, a in arrays.items()}
        obj["stored_unit_count"] = k.stored_unit_count
        obj["warnings"] = found.to_list()
        with replacing(args.json or "-", "w", encoding="utf-8") as f:
            f.write(json.dumps(obj, indent=1, allow_nan=True) + "\n")
    _print_warnings(found)
    return 0


def _print_warnings(found) -> None:
    for line in found.lines():
        print(line, file=sys.stderr)


def _cmd_inspect(args: argparse.Namespace) -> int:
    try:
        data = read_regular_bytes(args.file, "the knowledge")
    except OSError as e:
        # The report's verdict on stdout, as for any refused file; the error line on stderr.
        print("knowledge: %s\ncannot read: %s\nverdict: refused: unreadable" % (shown_path(args.file), e.strerror))
        raise OSError(e.errno, e.strerror, args.file) from None
    ex, text = format_report(shown_path(args.file), data)
    sys.stdout.write(text)
    if ex.accepted:
        _print_warnings(knowledge_file_warnings(data, args.file))
    return 0 if ex.accepted else 1


def _os_error_line(e: OSError) -> str:
    if not e.filename and e.errno is not None and _stdout_failed():
        return "error: cannot write to standard output: %s" % (e.strerror or e)
    if e.filename is not None:
        return "error: %s: %s" % (shown_path(e.filename), e.strerror or e)
    return "error: %s" % (e.strerror or e)


def _stdout_failed() -> bool:
    """After a write error without a path: whether standard output is what
    failed. It is then replaced, so that the exit's own flush stays quiet."""
    try:
        sys.stdout.flush()
        return False
    except OSError:
        sys.stdout = open(os.devnull, "w")
        return True


def _parser(prog: Optional[str]) -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog=prog or "ombrel-knowledge",
        description="Write, read, inspect and import knowledge files of the Ombrel AI "
                    "classifier (little-endian float32; 608 + 276*N bytes for N hidden units).",
        epilog="Array names (npz keys or JSON members): means[64], scales[64], "
               "hidden_weights[64][N] (input-major), hidden_biases[N], "
               "output_weights[N][4] (unit-major), output_biases[4], and optionally "
               "configuration[19] (default: the library's expected values); write stores "
               "them as given. inspect exits with 1 when the library would refuse the file.")
    sub = p.add_subparsers(dest="command", required=True)
    w = sub.add_parser("write", help="write a knowledge from arrays in an .npz or .json file")
    w.add_argument("--from-npz", "--from-json", dest="source", required=True, metavar="ARRAYS",
                   help="arrays to write; a name ending in .json is read as JSON, anything else as npz")
    w.add_argument("output", help="knowledge file to create")
    r = sub.add_parser("read", help="dump a knowledge's arrays as JSON (default, to stdout) or npz")
    r.add_argument("file")
    g = r.add_mutually_exclusive_group()
    g.add_argument("--json", metavar="OUT", help="write JSON to OUT ('-' for stdout)")
    g.add_argument("--npz", metavar="OUT", help="write the arrays to an .npz file")
    i = sub.add_parser("inspect", help="summarise a knowledge and say whether the library accepts it")
    i.add_argument("file")
    import_command.add_parser(sub)
    export_c_command.add_parser(sub)
    return p


def main(argv: Optional[Sequence[str]] = None, prog: Optional[str] = None) -> int:
    p = _parser(prog)
    args = p.parse_args(argv)
    commands = {"write": _cmd_write, "read": _cmd_read, "inspect": _cmd_inspect,
                "import": import_command.run, "export-c": export_c_command.run}
    try:
        status = commands[args.command](args)
        sys.stdout.flush()
        return status
    except import_command.UsageError as e:
        p.error(str(e))
    except OSError as e:
        print(_os_error_line(e), file=sys.stderr)
        return 1
    except (KnowledgeError, ValueError, KeyError) as e:
        # The library's refusals word options for Python callers.
        print("error: %s" % str(e).replace("pad_classes=True", "--pad-classes"), file=sys.stderr)
        return 1
