"""The compiled engine, with an error that says how to get it."""


def engine():
    try:
        from . import _classifier
    except ImportError as error:
        raise ImportError(
            "ombrel's compiled engine (ombrel._classifier) is missing: build the project with "
            "CMake and put <build dir>/python on PYTHONPATH, or run "
            "'pip install --no-build-isolation ./python' from a clone") from error
    return _classifier
