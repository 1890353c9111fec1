"""The documentation as the tests read it: README.md and docs/*.md, their
fenced blocks, their headings' anchors and their links."""
import re
from pathlib import Path
from typing import NamedTuple

ROOT = Path(__file__).resolve().parents[2]
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]

FENCE = re.compile(r"^(`{3,}|~{3,})\s*(.*)$")


class Block(NamedTuple):
    page: Path
    line: int          # of the opening fence, from 1
    language: str      # first word of the info string, "" when none
    markers: str       # the rest of the info string
    text: str

    @property
    def name(self):
        return "%s:%d" % (self.page.relative_to(ROOT), self.line)


def split_fences(text):
    """(prose lines with their numbers, blocks as (line, info, text)): a fence
    closes on a line of the same character, at least as long, and nothing
    else."""
    prose, blocks = [], []
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            prose.append((i + 1, lines[i]))
            i += 1
            continue
        fence, info, start = m.group(1), m.group(2).strip(), i
        body = []
        i += 1
        while i < len(lines) and not (lines[i].startswith(fence[0] * len(fence))
                                      and not lines[i].strip(fence[0]).strip()):
            body.append(lines[i])
            i += 1
        blocks.append((start + 1, info, "\n".join(body) + "\n"))
        i += 1
    return prose, blocks


def blocks(page):
    _, found = split_fences(page.read_text(encoding="utf-8"))
    result = []
    for line, info, text in found:
        language, _, markers = info.partition(" ")
        result.append(Block(page, line, language, markers.strip(), text))
    return result


def slug(heading):
    """The anchor a heading gets on the forge: formatting and punctuation
    dropped, lower case, spaces to hyphens."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = re.sub(r"[^\w\- ]", "", text.replace("`", "").strip().lower())
    return text.replace(" ", "-")


def anchors(page):
    seen, result = {}, set()
    prose, _ = split_fences(page.read_text(encoding="utf-8"))
    for _, line in prose:
        m = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if m:
            base = slug(m.group(1))
            n = seen.get(base, 0)
            seen[base] = n + 1
            result.add(base if n == 0 else "%s-%d" % (base, n))
    return result


def links(page):
    """(line, target) of every inline link outside code."""
    prose, _ = split_fences(page.read_text(encoding="utf-8"))
    result = []
    for number, line in prose:
        line = re.sub(r"`[^`]*`", "", line)
        for m in re.finditer(r"\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)", line):
            result.append((number, m.group(1)))
    return result
