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
Without them, the module is skipped.
"""
import os
import re
import subprocess
from pathlib import Path

import pytest

from conftest import EMG, ROOT

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
    for section in ("SYNOPSIS", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES", "OMBREL_THREADS"):
        assert section in page


def test_deb_contents_and_dependencies():
    deb = os.environ["OMBREL_PACKAGE_DEB"]
    listed = [row.split()[5] for row in output("dpkg-deb", "--contents", deb).splitlines()]
    assert sorted(f for f in listed if not f.endswith("/")) == sorted(DEB_FILES)
    # Only shared libraries the emulator loads: the C and C++ runtimes.
    depends = sorted(d.strip().split()[0] for d in output("dpkg-deb", "-f", deb, "Depends").split(","))
    assert depends == ["libc6", "libgcc-s1", "libstdc++6"]


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
