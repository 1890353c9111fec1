"""The compiled engine, with an error that says how to get it, or why the one
that is there does not load."""
import importlib

HOW_TO_BUILD = (
    "build it with the project: 'cmake --preset release && cmake --build --preset release' "
    "from a clone, then put build/release/python on PYTHONPATH; or run "
    "'pip install --no-build-isolation ./python' from a clone")


def engine():
    name = __package__ + "._classifier"
    try:
        return importlib.import_module(name)
    except ModuleNotFoundError as error:
        if error.name != name:
            raise
        raise ImportError("ombrel's compiled engine (ombrel._classifier) is not installed beside "
                          "this package: " + HOW_TO_BUILD) from None
    except ImportError as error:
        # The module is there but does not load: a missing symbol, another
        # Python's build, a wrong architecture. Its own message says which.
        raise ImportError("ombrel's compiled engine %s is there but does not load: %s; rebuild it for "
                          "this Python: %s" % (error.path or name, error, HOW_TO_BUILD)) from error
