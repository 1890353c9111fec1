"""The installed library and its packages, used as another program would.

tools/test_package.sh builds, installs, packages and compiles the consumer
programs (this folder's classify.c and classify.cpp), then runs this module
with what it made, in the environment:
  OMBREL_PACKAGE_WORK  its work folder: prefix/ (the `cmake --install`),
                       consumer/ (classify_c and classify_cpp through the
                       CMake package), classify_pc (classify.c through
                       pkg-config), deb/ (the .deb's files), classify_deb
                       (through the .deb's pkg-config file), zip/ (the
                       Windows .zip unpacked, with classify.exe linked by
                       MinGW against its archive and knowledge.bin);
  OMBREL_PACKAGE_DEB   the .deb;  OMBREL_PACKAGE_ZIP_TOP  the .zip's top folder.
Without them, the module is skipped. Run as root, it also installs the .deb
with dpkg -i (when no ombrel package is installed yet) and purges it after.
"""
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import EMG, ROOT

sys.path.insert(0, str(ROOT / "tools"))
import python_commands  # noqa: E402

WORK = os.environ.get("OMBREL_PACKAGE_WORK")
pytestmark = pytest.mark.skipif(not WORK, reason="run by tools/test_package.sh")
WORK = Path(WORK or ".")
KNOWLEDGE = str(EMG / "knowledge.bin")
SIGNAL = (EMG / "signals.csv").read_text().splitlines()[999].split(",")
VERSION = re.search(r"^project\([a-z_]* VERSION ([0-9.]*)", (ROOT / "CMakeLists.txt").read_text(), re.M).group(1)
DEB_FILES = """./usr/bin/ombrel_emulator
./usr/include/ombrel/classifier.h
./usr/include/ombrel/classifier_context.h
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierConfig.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierConfigVersion.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierTargets-release.cmake
./usr/lib/cmake/OmbrelClassifier/OmbrelClassifierTargets.cmake
./usr/lib/libombrel_classifier.a
./usr/lib/x86_64-linux-gnu/pkgconfig/ombrel-classifier.pc
./usr/share/doc/ombrel/LICENSE
./usr/share/doc/ombrel/README.md
./usr/share/doc/ombrel/changelog.gz
./usr/share/doc/ombrel/copyright
./usr/share/man/man1/ombrel_emulator.1.gz""".split()
# The Python package's files (every one: a new kind of file the install
# rules leave out fails here) and commands, as the tree has them now.
COMMANDS = [c for c, _ in python_commands.runnable_modules(ROOT / "python" / "ombrel")]
DEB_FILES += ["./usr/lib/python3/dist-packages/%s" % p.relative_to(ROOT / "python").as_posix()
              for p in (ROOT / "python" / "ombrel").rglob("*") if p.is_file() and "__pycache__" not in p.parts]
DEB_FILES += ["./usr/share/doc/ombrel/docs/%s" % p.name for p in (ROOT / "docs").iterdir()
              if p.suffix in (".md", ".png")]
DEB_FILES += [f for c in COMMANDS for f in ("./usr/bin/" + c, "./usr/share/man/man1/%s.1.gz" % c)]
ENGINE = re.compile(r"\./usr/lib/python3/dist-packages/ombrel/_classifier\.cpython-3\d+-x86_64-linux-gnu\.so")


def output(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, check=True, **kwargs).stdout


def report_line(report):
    """The report's class status, name and probabilities as the consumer
    programs print them: "1 Scissors 0.92 ..."."""
    match = re.search(r'"class_status": (\d+), "class_name": "([^"]*)", "class_proba": \[([^]]*)\]',
                      report.replace("\r", ""))
    assert match, report[-300:]
    return "%s %s %s" % (match[1], match[2], match[3].replace(",", ""))


@pytest.fixture(scope="module")
def expected():
    """The installed emulator's classification of line 1000 of the example."""
    return report_line(output(str(WORK / "prefix/bin/ombrel_emulator"), "ombr_classification",
                              "--knowledge_path", KNOWLEDGE, "--array", *SIGNAL))


@pytest.mark.parametrize("program", ["consumer/classify_c", "consumer/classify_cpp", "classify_pc",
                                     "classify_deb"])
def test_consumer_program_classifies_like_the_emulator(expected, program):
    assert output(str(WORK / program), KNOWLEDGE, *SIGNAL).strip() == expected


def test_c_program_needs_no_cpp_runtime():
    assert "libstdc++" not in output("readelf", "-d", str(WORK / "consumer/classify_c"))


def test_versions():
    config = (WORK / "prefix/lib/cmake/OmbrelClassifier/OmbrelClassifierConfigVersion.cmake").read_text()
    assert re.search(r'^set\(PACKAGE_VERSION "(.*)"\)', config, re.M)[1] == VERSION
    pc_path = {"PKG_CONFIG_PATH": str(WORK / "prefix/lib/pkgconfig")}
    assert output("pkg-config", "--modversion", "ombrel-classifier", env={**os.environ, **pc_path}).strip() == VERSION
    assert output("dpkg-deb", "-f", os.environ["OMBREL_PACKAGE_DEB"], "Version").strip() == VERSION


@pytest.mark.parametrize("where", ["installed", "deb"])
def test_man_page(where):
    # man finds the page from the prefix's bin/ on PATH, as for /usr/local.
    env = dict(os.environ, PATH="%s:%s" % (WORK / "prefix/bin", os.environ["PATH"]), MANPATH="") \
        if where == "installed" else dict(os.environ, MANPATH=str(WORK / "deb/usr/share/man"))
    page = subprocess.run(["man", "-P", "cat", "ombrel_emulator"], capture_output=True, text=True, env=env).stdout
    for section in ("SYNOPSIS", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES", "OMBREL_THREADS",
                    "SEE ALSO", "/usr/share/doc/ombrel/docs/"):
        assert section in page


def test_deb_contents_and_dependencies():
    deb = os.environ["OMBREL_PACKAGE_DEB"]
    listed = [row.split()[5] for row in output("dpkg-deb", "--contents", deb).splitlines()]
    engines = [f for f in listed if ENGINE.fullmatch(f)]
    assert len(engines) == 1
    assert sorted(f for f in listed if not f.endswith("/") and f not in engines) == sorted(DEB_FILES)
    # Only shared libraries the emulator and the engine load (the C and C++
    # runtimes), the python3 the engine is built for, and numpy.
    depends = sorted(d.strip().split()[0] for d in output("dpkg-deb", "-f", deb, "Depends").split(","))
    assert depends == ["libc6", "libgcc-s1", "libstdc++6", "python3", "python3", "python3-numpy"]
    version = re.search(r"cpython-3(\d+)", engines[0])[1]
    assert "python3 (>= 3.%s~), python3 (<< 3.%d)" % (version, int(version) + 1) in \
        output("dpkg-deb", "-f", deb, "Depends")


def test_lintian():
    """No tag at the levels error and warning; lintian's notes about running
    as root go to standard error."""
    tags = subprocess.run(["lintian", "--fail-on", "none", os.environ["OMBREL_PACKAGE_DEB"]],
                          capture_output=True, text=True).stdout
    assert [t for t in tags.splitlines() if re.match(r"[EW]: ", t)] == []


@pytest.fixture(scope="module")
def zip_dir():
    top = WORK / "zip" / os.environ["OMBREL_PACKAGE_ZIP_TOP"]
    # wine's first start in a prefix may print set-up notes: not a result. Its
    # services outlive it holding what it was given: no pipe to wait on.
    subprocess.run(["wine", str(top / "bin/ombrel_emulator.exe"), "ombr_get_info"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return top


def test_zip_contents(zip_dir):
    for name in ("bin/ombrel_emulator.exe", "lib/libombrel_classifier.a", "include/ombrel/classifier.h",
                 "include/ombrel/classifier_context.h", "README.md", "LICENSE"):
        assert (zip_dir / name).is_file(), name


def test_zip_programs_under_wine(expected, zip_dir):
    at = {"cwd": WORK / "zip"}
    emulator = output("wine", str(zip_dir / "bin/ombrel_emulator.exe"), "ombr_classification", "--knowledge_path",
                      "knowledge.bin", "--array", *SIGNAL, **at)
    assert report_line(emulator) == expected
    assert output("wine", "classify.exe", "knowledge.bin", *SIGNAL, **at).replace("\r", "").strip() == expected


@pytest.fixture(scope="module")
def bare_path(tmp_path_factory):
    """PATH with a python3 that lacks numpy (a virtual environment without
    the system's packages) first."""
    venv = tmp_path_factory.mktemp("bare") / "venv"
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--without-pip", str(venv)], check=True)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    return dict(env, PATH="%s:%s" % (venv / "bin", env["PATH"]))


@pytest.fixture(scope="module")
def deb_installed():
    """The .deb installed with dpkg -i, and purged after the module."""
    if os.geteuid() != 0:
        pytest.skip("installing the .deb needs root")
    if subprocess.run(["dpkg", "-s", "ombrel"], capture_output=True).returncode == 0:
        pytest.skip("an ombrel package is installed already: not replaced by a test")
    output("dpkg", "-i", os.environ["OMBREL_PACKAGE_DEB"])
    yield Path("/usr")
    output("dpkg", "--purge", "ombrel")


@pytest.mark.parametrize("where", ["installed", "deb"])
def test_commands_with_another_python3_first_on_path(request, bare_path, tmp_path, where):
    prefix = WORK / "prefix" if where == "installed" else request.getfixturevalue("deb_installed")
    assert sorted(p.name for p in (prefix / "bin").glob("ombrel-*")) == COMMANDS
    inspected = output(str(prefix / "bin/ombrel-knowledge"), "inspect", KNOWLEDGE, env=bare_path, cwd=tmp_path)
    assert inspected.endswith("verdict: accepted\n")
    evaluated = output(str(prefix / "bin/ombrel-evaluate"), KNOWLEDGE, str(EMG / "signals.csv"),
                       str(EMG / "labels.txt"), env=bare_path, cwd=tmp_path)
    assert "accuracy: 86.21% (3008 of 3489)" in evaluated


def test_deb_package_imports_for_debian_python3(deb_installed, bare_path, expected, tmp_path):
    assert output("/usr/bin/python3", "-c", "import ombrel._classifier, ombrel; print(ombrel.__file__)",
                  env=bare_path, cwd=tmp_path).startswith("/usr/lib/python3/dist-packages/ombrel/")
    ids = output("/usr/bin/python3", "-c", "import ombrel, sys; print(ombrel.Classifier(sys.argv[1]).predict("
                 "[[float(v) for v in sys.argv[2:]]])[0])", KNOWLEDGE, *SIGNAL, env=bare_path, cwd=tmp_path)
    assert ids.strip() == expected.split()[0]
    page = subprocess.run(["man", "-P", "cat", "ombrel-evaluate"], capture_output=True, text=True,
                          env=dict(os.environ, MANPATH="/usr/share/man")).stdout
    assert "ombrel-evaluate" in page and "--compare" in page
