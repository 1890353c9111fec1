"""The table of powers of five that the long-decimal conversion multiplies
by is what tools/powers_of_five.py writes, and each entry is 5^q rounded
down to 128 bits (exactly 5^q for q >= 0), checked here with integers."""
import re
import subprocess
import sys

from conftest import ROOT

HEADER = ROOT / "frontend" / "text" / "powers_of_five.h"
ENTRY = re.compile(r"\{0x([0-9A-F]{16})u, 0x([0-9A-F]{16})u, (-?\d+)\}, // 5\^(-?\d+)")


def test_header_is_current():
    subprocess.run([sys.executable, str(ROOT / "tools" / "powers_of_five.py"), "--check"], check=True)


def test_each_entry_brackets_its_power():
    entries = ENTRY.findall(HEADER.read_text())
    assert len(entries) == 38 + 64 + 1
    for high, low, exponent, q in entries:
        p, e, q = int(high, 16) << 64 | int(low, 16), int(exponent), int(q)
        assert 2 ** 127 <= p < 2 ** 128
        # p * 2^e <= 5^q < (p + 1) * 2^e, in integers: scale both sides by 5^-q and 2^-e.
        five_num, five_den = (5 ** q, 1) if q >= 0 else (1, 5 ** -q)
        two_num, two_den = (2 ** e, 1) if e >= 0 else (1, 2 ** -e)
        assert p * two_num * five_den <= five_num * two_den < (p + 1) * two_num * five_den
        # The conversion takes the entries of q >= 0 as exact.
        assert q < 0 or p * two_num == five_num * two_den
