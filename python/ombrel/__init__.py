"""Ombrel AI classifier tools for Python.

``ombrel.knowledge`` writes, reads, inspects and imports knowledge files
(numpy only; ONNX and scikit-learn are imported when their importers are
used).  Importing this package loads nothing else, so it works whether or
not a compiled part sits beside it.
"""

__version__ = "1.0.0"
