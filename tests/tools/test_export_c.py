"""export-c: the generated C compiles warning-free and holds the knowledge
file's floats bit for bit; its compile-time check refuses an array whose
length does not match N."""
import hashlib
import re
import shutil
import struct
import subprocess
import sys

import pytest

from conftest import EMG, ROOT
from ombrel.knowledge import EXPECTED_CONFIGURATION

CC = shutil.which("gcc") or shutil.which("cc")
FLAGS = ["-std=c11", "-pedantic", "-Wall", "-Wextra", "-Werror"]

DUMP = """#include "%(name)s.h"
#include <stdio.h>
int main(void)
{
    fputs(%(macro)s_SHA256, stderr);
    return fwrite(%(name)s, sizeof %(name)s[0], %(macro)s_FLOAT_COUNT, stdout)
        == %(macro)s_FLOAT_COUNT ? 0 : 1;
}
"""


def export(source, name, directory):
    return subprocess.run([sys.executable, "-m", "ombrel.knowledge", "export-c", str(source),
                           "--name", name, "--output-dir", str(directory)],
                          capture_output=True, text=True, cwd=ROOT)


def one_unit_knowledge():
    """N = 1 with the awkward floats: -0.0, a subnormal, infinities, extremes."""
    floats = [0.5] * 221
    floats[128] = 1.0
    floats[0:6] = [-0.0, 1e-45, float("inf"), -float("inf"), 3.4028234663852886e38, -1.17549435e-38]
    floats[-19:] = [float(v) for v in EXPECTED_CONFIGURATION]   # one the library accepts
    return struct.pack("<221f", *floats)


@pytest.mark.skipif(CC is None, reason="needs a C compiler")
@pytest.mark.parametrize("which", ["emg", "one_unit"])
def test_generated_c_holds_the_file(tmp_path, which):
    if which == "emg":
        source = EMG / "knowledge.bin"
    else:
        source = tmp_path / "one_unit.bin"
        source.write_bytes(one_unit_knowledge())
    name = which + "_knowledge"
    result = export(source, name, tmp_path)
    assert result.returncode == 0, result.stderr
    (tmp_path / "dump.c").write_text(DUMP % {"name": name, "macro": name.upper()})
    subprocess.run([CC, *FLAGS, "-I", str(tmp_path), str(tmp_path / "dump.c"),
                    str(tmp_path / (name + ".c")), "-lm", "-o", str(tmp_path / "dump")], check=True)
    dumped = subprocess.run([str(tmp_path / "dump")], capture_output=True, check=True)
    assert dumped.stdout == source.read_bytes()
    # The digest the header records is the file's, which a board reports.
    assert dumped.stderr.decode() == hashlib.sha256(dumped.stdout).hexdigest()


@pytest.mark.skipif(CC is None, reason="needs a C compiler")
@pytest.mark.parametrize("edit", [
    lambda text: text.replace("\n};", "\n    0.0f,\n};"),          # one float too many
    lambda text: re.sub(r", [^,\s]+,\n};", ",\n};", text, count=1),  # one too few
])
def test_length_is_checked_against_n(tmp_path, edit):
    assert export(EMG / "knowledge.bin", "emg", tmp_path).returncode == 0
    source = tmp_path / "emg.c"
    text = source.read_text()
    assert edit(text) != text
    source.write_text(edit(text))
    compiled = subprocess.run([CC, *FLAGS, "-I", str(tmp_path), "-c", str(source), "-o",
                               str(tmp_path / "emg.o")], capture_output=True, text=True)
    assert compiled.returncode != 0
    assert "not the float count of a knowledge" in compiled.stderr


@pytest.mark.parametrize("change, message", [
    (lambda data: data[:-4], "bytes, but a knowledge of 23 hidden units has"),
    (lambda data: data[:40] + struct.pack("<f", float("nan")) + data[44:], "float 10 is a NaN"),
])
def test_refusals(tmp_path, change, message):
    source = tmp_path / "bad.bin"
    source.write_bytes(change((EMG / "knowledge.bin").read_bytes()))
    result = export(source, "bad", tmp_path)
    assert result.returncode == 1 and message in result.stderr
    assert not (tmp_path / "bad.c").exists()
