"""python3 -m ombrel.knowledge import: an ONNX model converted, checked on the
library against the model in float64, and written with its card."""

from __future__ import annotations

import argparse
import sys
from typing import Any, Optional

import numpy as np

from ..checks.import_check import read_signals
from ..checks.run_warnings import knowledge_file_warnings
from ..file_paths import refuse_unless_regular, shown_path
from ..knowledge.binary import write
from ..knowledge.layout import KnowledgeError
from .array_files import load_vector


class UsageError(Exception):
    """A wrong combination of options: exit 2, as argparse does."""


def _label_value(word: str):
    """A --labels word as the label it names: an integer, a number, or text."""
    for kind in (int, float):
        try:
            return kind(word)
        except ValueError:
            pass
    return word


def _words(values: Optional[list[str]]) -> Optional[list[str]]:
    """One comma list or several words, as a list of words."""
    if values is None:
        return None
    return [w.strip() for w in values[0].split(",")] if len(values) == 1 else list(values)


def _convert(args: argparse.Namespace) -> Any:
    from ..knowledge.onnx import convert_onnx
    if args.stds is not None and args.scales is not None:
        raise UsageError("give --stds (divisors) or --scales (multipliers), not both")
    outside = {name: load_vector(getattr(args, name), name)
               for name in ("means", "stds", "scales") if getattr(args, name) is not None}
    labels = _words(args.labels)
    try:
        return convert_onnx(args.model, pad_classes=args.pad_classes, notes=[], raw_inputs=args.raw_inputs,
                            labels=None if labels is None else [_label_value(w) for w in labels],
                            class_names=_words(args.class_names), **outside)
    except KnowledgeError as e:
        raise KnowledgeError("%s: %s" % (args.model, e)) from None


def run(args: argparse.Namespace) -> int:
    from ..checks.checked_import import require_engine
    from ..checks.self_check import ImportCheckError, self_check
    from ..checks.standardisation import IMPORT_FIX, standardisation_warning
    if not args.no_check:
        require_engine("--no-check")
    # Everything is read and checked before the knowledge is written: a
    # refusal or a failed check leaves no file.
    refuse_unless_regular(args.model, "the model")
    if args.check:
        refuse_unless_regular(args.check, "--check")
    imported = _convert(args)
    signals = None
    if args.check:
        alignment: list[str] = []
        signals = read_signals(args.check, alignment)
        for text in alignment:
            print("warning: %s" % text, file=sys.stderr)
    card = imported.floats.card
    print("model: %s" % args.model)
    for line in imported.description:
        print("  " + line)
    for line in card.notes:
        print("note: " + line)
    if args.no_check:
        imported.floats.card = card.replace(check={"skipped": "--no-check"})
    else:
        try:
            figures, result = self_check(imported, *(signals or (None, None)),
                                         where="signals of %s" % args.check if args.check else None)
        except ImportCheckError as e:
            print("\n".join(e.result.lines()))
            print("error: %s: %s\nnothing written" % (args.model, e), file=sys.stderr)
            return 1
        print("check: %s" % figures["probes"])
        print("\n".join(result.lines()))
        imported.floats.card = card.replace(check=figures)
    if signals is not None and card.standardisation != "raw":
        for line in standardisation_warning(imported.floats, signals[0], "the signals of %s" % args.check,
                                            IMPORT_FIX) or ():
            print("warning: " + line, file=sys.stderr)
    size = write(args.output, imported.floats)
    print("wrote %s: %d bytes, %d hidden units, %d classes of the model"
          % (shown_path(args.output), size, imported.folded["hidden_biases"].size,
             imported.folded["output_biases"].size))
    if args.check:
        for line in knowledge_file_warnings(np.asarray(imported.floats, "<f4").tobytes(), args.output).lines():
            print(line, file=sys.stderr)
    return 0


def add_parser(sub: Any) -> None:
    m = sub.add_parser(
        "import", help="convert an ONNX model (standardisation, Gemm or MatMul+Add, Tanh, "
                       "Gemm or MatMul+Add, optional Softmax) into a knowledge")
    m.add_argument("model", help="ONNX model file")
    m.add_argument("output", help="knowledge file to create")
    m.add_argument("--pad-classes", action="store_true",
                   help="give a model of 2 or 3 classes the missing classes, with probability 0")
    m.add_argument("--check", metavar="SIGNALS",
                   help="compare the knowledge, classified by the library, with the model "
                        "evaluated in float64 on every signal of this file (by default, on "
                        "signals drawn from the model's fitted statistics); exit 1, writing "
                        "nothing, when a class differs where the model's two best probabilities "
                        "are more than 1e-4 apart or a probability differs by more than 1e-5; "
                        "warn when the signals do not look standardised by the knowledge")
    m.add_argument("--no-check", action="store_true",
                   help="write the knowledge without comparing it with the model (for a package "
                        "without its compiled engine); its card says it was not checked")
    m.add_argument("--labels", metavar="LABEL", nargs="+",
                   help="the model's class of each output, in output order, as one comma list or "
                        "words (for example 6,7,8,9): kept in the knowledge's card, so that "
                        "evaluate reads labels in these values")
    m.add_argument("--class-names", metavar="NAME", nargs="+",
                   help="a name per class id 1 to 4, one comma list or four words (default: the "
                        "labels)")
    m.add_argument("--raw-inputs", action="store_true",
                   help="the model was trained on signals as they come, without a "
                        "standardisation: the card says so and no standardisation warning is given")
    for name, text in (("means", "subtracted from each input"),
                       ("stds", "then divided by (StandardScaler's scale_, a std)"),
                       ("scales", "then multiplied by (instead of --stds)")):
        m.add_argument("--" + name, metavar="FILE",
                       help="64 values %s, for a model trained on signals standardised outside "
                            "its graph: .npy, .npz, .json or text" % text)
