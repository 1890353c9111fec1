"""Checks above the knowledge file format: a knowledge classified by the
compiled library against its source (import_check), and signals against a
knowledge's standardisation (standardisation). ombrel.knowledge, the format,
knows nothing of the engine; the commands and the checked import routes call
these."""
