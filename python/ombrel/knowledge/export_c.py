"""A knowledge file as C source, for a device without a file system: what
`python3 -m ombrel.knowledge export-c knowledge.bin --name emg_knowledge`
(ombrel.commands.export_c_command) writes: emg_knowledge.h (the declaration, N, the float count and the
file's SHA-256) and
emg_knowledge.c (a const float array, 4-byte aligned, every float exact as a
hexadecimal literal, and a compile-time check of its length against N). A
firmware passes the array to classifier_init, which attaches it in place: it
stays in flash, read-only, and is never copied.
"""

from __future__ import annotations

import hashlib
import math
import os
import struct

from ..file_paths import shown_path
from .c_names import name_problem
from .inspection import examine
from .layout import KnowledgeError, HEADER_FLOATS, byte_size, unit_count_from


def _literal(value: float, index: int) -> str:
    if math.isnan(value):
        raise KnowledgeError("float %d is a NaN: a knowledge for a device holds numbers only" % index)
    if math.isinf(value):
        return "INFINITY" if value > 0 else "-INFINITY"
    mantissa, exponent = value.hex().split("p")  # exact: every float32 is a double
    return "%sp%sf" % (mantissa.rstrip("0").rstrip("."), exponent)


def sources(data: bytes, name: str, source: str) -> tuple[str, str]:
    """The header and the C source for a knowledge's bytes. Refuses a name
    that C, C++, the standard headers or classifier.h take (see c_names),
    and a knowledge the library refuses."""
    problem = name_problem(name)
    if problem:
        raise KnowledgeError(problem)
    if len(data) < 4 * HEADER_FLOATS:
        raise KnowledgeError("%s: %d bytes, too short to hold the unit count" % (source, len(data)))
    stored = struct.unpack_from("<f", data, 4 * (HEADER_FLOATS - 1))[0]
    units = unit_count_from(stored)
    if units is None:
        raise KnowledgeError("%s: unusable unit count %r" % (source, stored))
    if len(data) != byte_size(units):
        raise KnowledgeError("%s: %d bytes, but a knowledge of %d hidden units has %d"
                             % (source, len(data), units, byte_size(units)))
    verdict = examine(data)
    if not verdict.accepted:
        raise KnowledgeError("%s: the library refuses this knowledge (%s): nothing to export"
                             % (source, "; ".join(verdict.reasons)))
    values = struct.unpack("<%df" % (len(data) // 4), data)
    macro = name.upper()
    digest = hashlib.sha256(data).hexdigest()
    comment = ("/* %s: the knowledge %s (%d hidden units), SHA-256\n"
               " * %s.\n"
               " * Written by python3 -m ombrel.knowledge export-c; do not edit. */\n"
               % (name, shown_path(os.path.basename(os.fsdecode(source))), units, digest))
    header = (comment +
              "#ifndef %(m)s_H\n#define %(m)s_H\n\n"
              "#define %(m)s_HIDDEN_UNITS %(n)d\n"
              "/* 152 + 69 N: means, scales, N, weights and biases of both layers, configuration. */\n"
              "#define %(m)s_FLOAT_COUNT %(c)d\n"
              "/* The SHA-256 of the knowledge file, as lowercase hexadecimal. */\n"
              "#define %(m)s_SHA256 \"%(d)s\"\n\n"
              "#ifdef __cplusplus\nextern \"C\" {\n#endif\n"
              "extern const float %(name)s[%(m)s_FLOAT_COUNT];\n"
              "#ifdef __cplusplus\n}\n#endif\n\n#endif\n"
              % {"m": macro, "n": units, "c": len(values), "name": name, "d": digest})
    rows = [", ".join(_literal(v, start + i) for i, v in enumerate(values[start:start + 4]))
            for start in range(0, len(values), 4)]
    # The array's length comes from its initializer alone; the check compares
    # it with the N of the file, and the header, included after the
    # definition, is a conflicting declaration if its count differs.
    body = (comment +
            "#include <math.h>\n\n"
            "_Alignas(4) const float %(name)s[] = {\n    %(rows)s,\n};\n\n"
            "/* N = %(n)d hidden units: 152 + 69 N floats. */\n"
            "_Static_assert(sizeof %(name)s / sizeof %(name)s[0] == 152 + 69 * %(n)d,\n"
            "               \"%(name)s: not the float count of a knowledge of %(n)d hidden units\");\n\n"
            "#include \"%(name)s.h\"\n"
            % {"n": units, "name": name, "rows": ",\n    ".join(rows)})
    return header, body
