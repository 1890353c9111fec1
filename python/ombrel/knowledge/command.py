"""The command line: python3 -m ombrel.knowledge {write,read,inspect,import},
installed as ombrel-knowledge."""

from __future__ import annotations

import argparse
import json
import sys
from typing import Any, Optional, Sequence

import numpy as np

from .binary import read, write, write_bytes, pack
from .check import check, read_signals
from .inspection import format_report
from .layout import ARRAY_NAMES, KnowledgeError


def _load_arrays(path: str) -> dict[str, Any]:
    if path.endswith(".json"):
        with open(path) as f:
            obj = json.load(f)
    else:
        with np.load(path) as z:
            obj = {name: z[name] for name in z.files}
    missing = [name for name in ARRAY_NAMES if name not in obj]
    if missing:
        raise KnowledgeError("%s lacks %s" % (path, ", ".join(missing)))
    return obj


def _cmd_write(args: argparse.Namespace) -> int:
    obj = _load_arrays(args.source)
    extra = {}
    if "configuration" in obj:
        extra["configuration"] = obj["configuration"]
    size = write_bytes(args.output, pack(*(obj[name] for name in ARRAY_NAMES), **extra))
    print("wrote %s: %d bytes, %d hidden units"
          % (args.output, size, np.asarray(obj["hidden_biases"]).size))
    return 0


def _cmd_read(args: argparse.Namespace) -> int:
    k = read(args.file)
    arrays = {name: getattr(k, name) for name in ARRAY_NAMES + ("configuration",)}
    if args.npz:
        np.savez(args.npz, **arrays)
    else:
        obj = {name: a.astype(np.float64).tolist() for name, a in arrays.items()}
        obj["stored_unit_count"] = k.stored_unit_count
        text = json.dumps(obj, indent=1, allow_nan=True) + "\n"
        if args.json and args.json != "-":
            with open(args.json, "w") as f:
                f.write(text)
        else:
            sys.stdout.write(text)
    return 0


def _cmd_inspect(args: argparse.Namespace) -> int:
    try:
        with open(args.file, "rb") as f:
            data = f.read()
    except OSError as e:
        print("knowledge: %s\ncannot read: %s\nverdict: refused: unreadable" % (args.file, e.strerror))
        return 1
    ex, text = format_report(args.file, data)
    sys.stdout.write(text)
    return 0 if ex.accepted else 1


def _cmd_import(args: argparse.Namespace) -> int:
    from .conversion import from_arrays
    from .onnx_import import read_onnx
    # Everything is read and checked before the knowledge is written: a
    # refusal or a failed check leaves no file.
    try:
        source = read_onnx(args.model)
        notes = list(source.notes)
        floats = from_arrays(**source.arrays(), pad_classes=args.pad_classes, notes=notes)
    except KnowledgeError as e:
        raise KnowledgeError("%s: %s" % (args.model, e)) from None
    signals = read_signals(args.check) if args.check else None
    print("model: %s" % args.model)
    for line in source.description:
        print("  " + line)
    for line in notes:
        print("note: " + line)
    if signals is not None:
        result = check(floats, source.probabilities(signals[0]), *signals)
        for line in result.lines():
            print(line)
        if not result.passed:
            print("nothing written", file=sys.stderr)
            return 1
    size = write(args.output, floats)
    print("wrote %s: %d bytes, %d hidden units, %d classes of the model"
          % (args.output, size, source.hidden_biases.size, source.classes))
    return 0


def main(argv: Optional[Sequence[str]] = None, prog: Optional[str] = None) -> int:
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
    m = sub.add_parser(
        "import", help="convert an ONNX model (standardisation, Gemm or MatMul+Add, Tanh, "
                       "Gemm or MatMul+Add, optional Softmax) into a knowledge")
    m.add_argument("model", help="ONNX model file")
    m.add_argument("output", help="knowledge file to create")
    m.add_argument("--pad-classes", action="store_true",
                   help="give a model of 2 or 3 classes the missing classes, with probability 0")
    m.add_argument("--check", metavar="SIGNALS",
                   help="compare the knowledge, run as the library runs it, with the model "
                        "evaluated in float64 on every signal of this file; exit 1 when a class "
                        "differs where the model's two best probabilities are more than 1e-4 apart")
    args = p.parse_args(argv)
    commands = {"write": _cmd_write, "read": _cmd_read, "inspect": _cmd_inspect,
                "import": _cmd_import}
    try:
        return commands[args.command](args)
    except OSError as e:
        print("error: %s: %s" % (e.filename or "", e.strerror or e), file=sys.stderr)
        return 1
    except (KnowledgeError, ValueError, KeyError) as e:
        print("error: %s" % e, file=sys.stderr)
        return 1
