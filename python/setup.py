"""The compiled engine, ombrel._classifier, for `pip install ./python`.

It is compiled from the repository's own C++ sources (library/,
frontend/text/, and the line counting, file opening and error blocks of
frontend/), which lie beside this directory in a clone: build from a clone.
Where they are absent (an sdist alone), the package installs without the
engine, and ombrel.Classifier says so; ombrel.knowledge needs no engine.

Exactness: no contraction of a*b+c into fused multiply-adds, no fast-math,
and no code for the building machine only.
"""
import glob
import os
import shlex
import sys
import sysconfig

from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SOURCES = ([os.path.join(HERE, "src", "classifier_module.cpp")]
           + sorted(glob.glob(os.path.join(ROOT, "library", "*", "*.cpp")))
           + sorted(glob.glob(os.path.join(ROOT, "frontend", "text", "*.cpp")))
           + [os.path.join(ROOT, "frontend", name) for name in ("line_count.cpp", "input_file.cpp",
                                                             "error_blocks.cpp", "output_writer.cpp")])
FORBIDDEN = ("-ffast-math", "-Ofast", "-funsafe-math-optimizations", "-march=native", "-mtune=native")


def extensions():
    if not all(os.path.isfile(path) for path in SOURCES[:1] + SOURCES[-2:]) or len(SOURCES) < 10:
        print("ombrel: the library's sources are not beside python/ (build from a clone of the "
              "repository): installing without the compiled engine", file=sys.stderr)
        return []
    flags = shlex.split(" ".join(filter(None, (sysconfig.get_config_var("CFLAGS"), os.environ.get("CFLAGS", ""),
                                               os.environ.get("CXXFLAGS", "")))))
    bad = sorted(set(flags) & set(FORBIDDEN))
    if bad:
        sys.exit("ombrel: %s would change the engine's results; remove it from CFLAGS/CXXFLAGS" % " ".join(bad))
    from pybind11.setup_helpers import Pybind11Extension
    return [Pybind11Extension(
        # setuptools takes sources relative to this directory only.
        "ombrel._classifier", [os.path.relpath(path, HERE) for path in SOURCES], cxx_std=20,
        include_dirs=[os.path.join(HERE, "src"), os.path.join(ROOT, "library"), os.path.join(ROOT, "frontend"),
                      os.path.join(ROOT, "frontend", "text")],
        extra_compile_args=["-O3", "-ffp-contract=off", "-fno-fast-math"])]


setup(ext_modules=extensions())
