#!/usr/bin/env python3
"""Writes a manual page (man(7) markup) from a documentation page.

  man_page.py PAGE OUTPUT --name NAME --summary TEXT --version VERSION [--skip HEADING]...
              [--see-also TEXT]

The page's "## " sections become the manual's sections (their headings in
capitals), "### " subsections stay subsections; the text before the first
section (what the page is for) and the sections given with --skip are left
out. Paragraphs, lists, code blocks, tables, `code`, **bold** and links (as
their text) are rendered; --see-also gives the SEE ALSO section's text
(markdown spans allowed), in place of a skipped one; an OUTPUT ending in .gz is compressed as Debian
packages keep manual pages (gzip -9n: no name, no time)."""
import argparse
import gzip
import re


def escape(text):
    text = text.replace("\\", "\\e")
    return text


def inline(text):
    """Markdown spans to roff fonts; hyphens in code are minus signs."""
    text = escape(text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"`([^`]*)`", lambda m: "\\fB%s\\fR" % m.group(1).replace("-", "\\-"), text)
    text = re.sub(r"\*\*([^*]*)\*\*", r"\\fB\1\\fR", text)
    return text


def line_start(text):
    """A roff text line may not start with a control character."""
    return "\\&" + text if text[:1] in (".", "'") else text


def text_lines(lines):
    """Lines of one paragraph, with spans that run from line to line."""
    return [line_start(line) for line in inline("\n".join(lines)).split("\n")]


def table(rows):
    """A table as tagged paragraphs: the first cell as the tag, the others
    joined below it (manual pages are read at any width)."""
    out = []
    cells = [[c.strip() for c in row.strip().strip("|").split("|")] for row in rows]
    header, body = cells[0], [c for c in cells[2:]]
    for row in body:
        out.append(".TP")
        out.append(line_start(inline(row[0])))
        rest = ["%s: %s" % (h, v) if len(row) > 2 else v for h, v in zip(header[1:], row[1:]) if v]
        out.append(line_start(inline("; ".join(rest) + ("." if rest and not rest[-1].endswith(".") else ""))))
    return out


def convert(markdown, name, summary, version, skip):
    lines = markdown.split("\n")
    out = ['.TH %s 1 "" "ombrel %s" "User Commands"' % (name.upper(), version),
           ".nh", ".ad l", ".SH NAME", "%s \\- %s" % (name, escape(summary))]
    i, section, paragraph = 0, None, []

    def flush():
        if paragraph:
            out.append(".PP")
            out.extend(text_lines(paragraph))
            paragraph.clear()

    while i < len(lines):
        line = lines[i]
        heading = re.match(r"^(#{1,3})\s+(.*)$", line)
        if heading:
            flush()
            level, title = len(heading.group(1)), heading.group(2).strip()
            if level == 2:
                section = None if title in skip else title
                if section:
                    out.append(".SH %s" % escape(title.upper()))
            elif level == 3 and section:
                out.append(".SS %s" % inline(title))
            i += 1
            continue
        if section is None:
            i += 1
            continue
        if line.startswith("```"):
            flush()
            block = []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                block.append(lines[i])
                i += 1
            out.extend([".PP", ".nf", ".RS 4"])
            out.extend(line_start(escape(b).replace("\t", "        ").replace("-", "\\-")) for b in block)
            out.extend([".RE", ".fi"])
            i += 1
            continue
        if line.startswith("|"):
            flush()
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(lines[i])
                i += 1
            out.extend(table(rows))
            continue
        item = re.match(r"^(\s*)- (.*)$", line)
        if item:
            flush()
            depth = len(item.group(1)) // 2
            text = [item.group(2)]
            i += 1
            while i < len(lines) and lines[i].strip() and not re.match(r"^\s*- ", lines[i]) \
                    and lines[i].startswith(" "):
                text.append(lines[i].strip())
                i += 1
            out.extend([".RS %d" % (4 * depth)] if depth else [])
            out.append(".IP \\(bu 2")
            out.extend(text_lines(text))
            out.extend([".RE"] if depth else [])
            continue
        if not line.strip():
            flush()
        else:
            paragraph.append(line.strip())
        i += 1
    flush()
    return "\n".join(out) + "\n"


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("page")
    p.add_argument("output")
    p.add_argument("--name", required=True)
    p.add_argument("--summary", required=True)
    p.add_argument("--version", required=True)
    p.add_argument("--skip", action="append", default=[])
    p.add_argument("--see-also")
    args = p.parse_args()
    with open(args.page, encoding="utf-8") as f:
        text = convert(f.read(), args.name, args.summary, args.version, set(args.skip))
    if args.see_also:
        text += "\n".join([".SH SEE ALSO", *text_lines([args.see_also])]) + "\n"
    data = text.encode("utf-8")
    if args.output.endswith(".gz"):
        with open(args.output, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", filename="",
                                                           compresslevel=9, mtime=0) as f:
            f.write(data)
    else:
        with open(args.output, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
