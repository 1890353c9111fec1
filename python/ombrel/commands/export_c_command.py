"""export-c of python3 -m ombrel.knowledge: a knowledge file as C source and
its header (ombrel.knowledge.export_c), for a device without a file system.

Both files are written whole, or neither: a refused name or knowledge, or a
write that fails (a full disk), leaves what the folder held before.
"""

from __future__ import annotations

import argparse
import os

from ..file_paths import read_regular_bytes, shown_path, write_pair_whole
from ..knowledge.export_c import sources


def add_parser(sub: argparse._SubParsersAction) -> None:
    e = sub.add_parser("export-c", help="write a knowledge as C source (a const float array "
                                        "for flash) and its header")
    e.add_argument("file", help="knowledge file")
    e.add_argument("--name", required=True, help="C name of the array; the files are NAME.c and NAME.h")
    e.add_argument("--output-dir", default=".", metavar="DIR", help="where to write them (default: .)")


def run(args: argparse.Namespace) -> int:
    data = read_regular_bytes(args.file, "the knowledge")
    header, body = sources(data, args.name, args.file)
    base = os.path.join(args.output_dir, args.name)
    write_pair_whole(base + ".c", body.encode("utf-8"), base + ".h", header.encode("utf-8"))
    print("wrote %s.c and %s.h in %s: %d floats"
          % (args.name, args.name, shown_path(args.output_dir), len(data) // 4))
    return 0
