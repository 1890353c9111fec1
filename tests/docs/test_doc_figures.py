"""Measured figures on the documentation pages stand between markers that
name the script writing them, and that script writes them there."""
import re
import subprocess
import sys

import pytest

from markdown_pages import PAGES, ROOT

# <!-- begin SCRIPT TABLE --> ... <!-- end SCRIPT TABLE -->
MARKER = re.compile(r"^<!-- (begin|end) (\S+) ([^>]*?) -->$", re.M)


def marked_tables():
    found = []
    for page in PAGES:
        text = page.read_text(encoding="utf-8")
        for m in MARKER.finditer(text):
            if m.group(1) == "begin":
                name = "%s %s" % m.group(2, 3)
                assert "<!-- end %s -->" % name in text, "%s: '%s' never ends" % (page.name, name)
                found.append((page, m.group(2), name))
    return found


@pytest.mark.parametrize("page,script,name", marked_tables(), ids=lambda v: str(v))
def test_a_script_writes_each_table(page, script, name):
    source = (ROOT / script).read_text()
    assert "write_doc_table.py" in source and '"%s"' % name in source, (
        "%s does not write '%s' into %s" % (script, name, page.name))


def test_write_doc_table_replaces_only_between_its_markers(tmp_path):
    page = tmp_path / "page.md"
    page.write_text("a\n<!-- begin x y -->\nold\n<!-- end x y -->\nb\n<!-- begin x z -->\nkept\n<!-- end x z -->\n")
    tool = [sys.executable, str(ROOT / "tools" / "write_doc_table.py"), str(page)]
    subprocess.run(tool + ["x y"], input="| new |\n", text=True, check=True, capture_output=True)
    text = page.read_text()
    assert re.fullmatch(r"a\n<!-- begin x y -->\nMeasured \S+ \S+ UTC on [^\n]+\.\n\n\| new \|\n"
                        r"<!-- end x y -->\nb\n<!-- begin x z -->\nkept\n<!-- end x z -->\n", text), text
    refused = subprocess.run(tool + ["x w"], input="| new |\n", text=True, capture_output=True)
    assert refused.returncode != 0 and page.read_text() == text
