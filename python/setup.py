"""The compiled engine, ombrel._classifier, for `pip install ./python`.

Built by the project's own CMake build, target ombrel_classifier_extension,
which holds the one list of the engine's sources (the library, the number
text and the command's file handling, as the emulator links them) and the
project's flags: no contraction of a*b+c into fused multiply-adds, no
fast-math, no code for the building machine only. The build runs for the
interpreter that runs pip, and needs CMake, a C++20 compiler and pybind11.

The C++ sources lie beside this directory in a clone: build from a clone.
Where they are absent (an sdist alone), the package installs without the
engine, and ombrel.Classifier says so; ombrel.knowledge needs no engine.
"""
import glob
import os
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TARGET = "ombrel_classifier_extension"
FORBIDDEN = ("-ffast-math", "-Ofast", "-funsafe-math-optimizations", "-march=native", "-mtune=native")


def _cmake_options():
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DPython3_EXECUTABLE=" + sys.executable,
               "-DOMBREL_BUILD_TESTS=OFF", "-DOMBREL_BUILD_BENCH=OFF"]
    try:
        import pybind11
        options.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
    except ImportError:
        pass          # CMake looks for pybind11's package files itself
    if shutil.which("ninja"):
        options += ["-G", "Ninja"]
    return options


class CMakeBuild(build_ext):
    """Configures the project in the build's temporary directory, builds the
    engine's target and puts the module where setuptools expects it."""

    def build_extension(self, ext):
        # CMake takes CFLAGS and CXXFLAGS from the environment.
        flags = shlex.split(" ".join(os.environ.get(name, "") for name in ("CFLAGS", "CXXFLAGS")))
        bad = sorted(set(flags) & set(FORBIDDEN))
        if bad:
            sys.exit("ombrel: %s would change the engine's results; remove it from CFLAGS/CXXFLAGS"
                     % " ".join(bad))
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        subprocess.run(["cmake", "-S", ROOT, "-B", build] + _cmake_options(), check=True)
        subprocess.run(["cmake", "--build", build, "--target", TARGET, "-j", str(os.cpu_count() or 1)],
                       check=True)
        built = glob.glob(os.path.join(build, "python", "ombrel", "_classifier*"))
        if len(built) != 1:
            sys.exit("ombrel: the CMake build made no engine (%s): is pybind11 installed for %s?"
                     % (TARGET, sys.executable))
        destination = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(destination), exist_ok=True)
        shutil.copyfile(built[0], destination)


def extensions():
    if not os.path.isfile(os.path.join(ROOT, "CMakeLists.txt")):
        print("ombrel: the project's sources are not beside python/ (build from a clone of the "
              "repository): installing without the compiled engine", file=sys.stderr)
        return []
    return [Extension("ombrel._classifier", sources=[])]


setup(ext_modules=extensions(), cmdclass={"build_ext": CMakeBuild})
