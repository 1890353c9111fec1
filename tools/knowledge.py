"""Write, read, inspect and import knowledge files of the Ombrel AI classifier.

A thin wrapper of the package ombrel.knowledge (python/ombrel/), so that
commands and imports from the source tree keep working:

    python3 tools/knowledge.py inspect examples/emg/knowledge.bin
    python3 tools/knowledge.py write --from-npz net.npz out.bin
    python3 tools/knowledge.py read out.bin --json out.json
    python3 tools/knowledge.py import model.onnx out.bin --check signals.csv

As a module (``import knowledge``) it offers the package's functions, and
write(path, means, scales, hidden_weights, ...) that stores arrays as given.
"""

import os
import sys

# The tree's package last: one already on the path (a build's copy with its
# engine, an installed one) is the one every module of the process imports.
sys.path.append(os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))

from ombrel.knowledge import *  # noqa: E402,F401,F403
from ombrel.knowledge import pack, write_bytes  # noqa: E402
from ombrel.commands.knowledge_command import main as _main  # noqa: E402
from ombrel.knowledge.inspection import _fmt  # noqa: E402,F401


def write(path, means, scales, hidden_weights, hidden_biases, output_weights,
          output_biases, **overrides):
    """Writes the arrays as given (see pack); returns the size in bytes."""
    return write_bytes(path, pack(means, scales, hidden_weights, hidden_biases,
                                  output_weights, output_biases, **overrides))


def main(argv=None):
    return _main(argv, prog="knowledge.py")


if __name__ == "__main__":
    sys.exit(main())
