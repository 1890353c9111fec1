"""Every relative link of README.md and docs/ names a file of the tree, and
every anchor a heading of the page it points into."""
from urllib.parse import unquote

import pytest

from markdown_pages import PAGES, ROOT, anchors, links


@pytest.mark.parametrize("page", PAGES, ids=lambda p: str(p.relative_to(ROOT)))
def test_relative_links_resolve(page):
    broken = []
    for line, target in links(page):
        if ":" in target.split("/")[0]:        # http:, https:, mailto:
            continue
        path, _, anchor = unquote(target).partition("#")
        destination = (page.parent / path).resolve() if path else page
        if not destination.exists():
            broken.append("line %d: %s: no such file" % (line, target))
        elif anchor and destination.suffix == ".md" and anchor not in anchors(destination):
            broken.append("line %d: %s: no heading with this anchor" % (line, target))
    assert not broken, "\n".join(broken)


def test_anchor_rules():
    from markdown_pages import slug
    assert slug("Which python3") == "which-python3"
    assert slug("`classifier_run` alone, in C++!") == "classifier_run-alone-in-c"
    assert slug("Keras / TensorFlow") == "keras--tensorflow"
