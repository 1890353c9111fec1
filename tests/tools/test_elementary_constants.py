"""The constants header of tanh and exp is what tools/elementary_constants.py
writes today, and its --check notices a header that differs by one digit."""
import subprocess
import sys

from conftest import ROOT

SCRIPT = ROOT / "tools" / "elementary_constants.py"
HEADER = ROOT / "library" / "engine" / "elementary_constants.h"


def check(header):
    return subprocess.run([sys.executable, str(SCRIPT), "--check", str(header)],
                          capture_output=True, text=True)


def test_header_is_current():
    result = check(HEADER)
    assert result.returncode == 0, result.stdout


def test_check_refuses_a_changed_constant(tmp_path):
    stale = tmp_path / "elementary_constants.h"
    stale.write_text(HEADER.read_text().replace("0x1.62e43p-6f", "0x1.62e42p-6f", 1))
    result = check(stale)
    assert result.returncode == 1 and "run it again" in result.stdout
