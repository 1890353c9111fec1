"""Knowledge files of the Ombrel AI classifier: write, read, inspect, and
import trained models (ONNX, scikit-learn, or arrays from any framework).

    floats = ombrel.knowledge.from_onnx("model.onnx")
    floats = ombrel.knowledge.from_sklearn(pipeline)
    floats = ombrel.knowledge.from_arrays(hidden_weights=..., ...)
    ombrel.knowledge.write("knowledge.bin", floats)

Command line: python3 -m ombrel.knowledge {write,read,inspect,import,export-c}
(ombrel.commands.knowledge_command). This package is the file format and
the converters into it; it knows nothing of the compiled engine: the checks
that classify with it live in ombrel.checks.
"""

from .binary import pack, read, read_bytes, write, write_bytes
from .conversion import ConversionWarning, from_arrays
from .onnx import from_onnx
from .sklearn_import import from_sklearn
from .inspection import Examination, examine, format_report
from .layout import (ARRAY_NAMES, CLASS_COUNT, CLASS_NAMES, CONFIGURATION_LENGTH,
                     EXPECTED_CONFIGURATION, FLOAT, HEADER_FLOATS, HIDDEN_CAPACITY,
                     INPUT_LENGTH, SOFTMAX_FACTOR, Knowledge, KnowledgeError, byte_size,
                     float_count, sections, unit_count_from)


__all__ = ["ARRAY_NAMES", "CLASS_COUNT", "CLASS_NAMES", "CONFIGURATION_LENGTH",
           "EXPECTED_CONFIGURATION", "FLOAT", "HEADER_FLOATS", "HIDDEN_CAPACITY", "INPUT_LENGTH",
           "SOFTMAX_FACTOR", "ConversionWarning", "Examination", "Knowledge",
           "KnowledgeError", "byte_size", "examine", "float_count", "format_report",
           "from_arrays", "from_onnx", "from_sklearn", "pack", "read", "read_bytes",
           "sections", "unit_count_from", "write",
           "write_bytes"]
