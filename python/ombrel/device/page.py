"""The validation run's HTML page: one self-contained file in the
evaluation report's layout and style sheet (header of facts, sections),
drawn without script."""

import html

from ..file_paths import replacing
from .report import counter_lines

MEANINGS = {"instructions": "Instructions, not cycles: QEMU models no pipeline, wait states or memory timing, "
                            "so a real Cortex-M4F takes more cycles than this (loads, divides, flash wait "
                            "states); the rate assumes one cycle each.",
            "cycles": "Core clock cycles of one classifier_run from the DWT cycle counter, wait states, "
                      "caches and bus stalls included."}


def _e(value):
    return html.escape(str(value))


def _facts(pairs):
    rows = "".join("<dt>%s</dt><dd>%s</dd>" % (_e(k), v) for k, v in pairs)
    return '<dl class="facts">%s</dl>' % rows


def _header(report):
    b, d, s = report["board"], report["desktop"], report["signals"]
    code = lambda v: "<code>%s</code>" % _e(v)   # noqa: E731
    board = [("Board", "not reached")] if b is None else [
        ("Board", _e(b["board"])), ("Library id", code(b["library_id"])),
        ("Knowledge SHA-256", code(b["knowledge_sha256"])), ("Hidden units", _e(b["units"])),
        ("Compiler", _e(b["compiler"])), ("Flags", code(b["flags"]))]
    desktop = [("Knowledge", code(d["knowledge"])), ("SHA-256", code(d["knowledge_sha256"])),
               ("Hidden units", _e(d["units"])), ("Desktop library id", code(d["library_id"])),
               ("Signals", code(s["path"])),
               ("Lines", "%d to %d" % tuple(s["lines"]) if s["lines"] else "none")]
    return ('<header><h1>Board validation report</h1><div class="grid">%s%s</div></header>'
            % (_facts(board), _facts(desktop)))


def _summary(report):
    verdict = ("<p class=\"is-right\">Every signal asked for was compared: all bit-identical.</p>"
               if report["passed"] else "")
    if report["fault"] is not None:
        verdict = '<p class="is-wrong">Stopped: %s</p>' % _e(report["fault"]["message"])
    elif not report["passed"]:
        verdict = '<p class="is-wrong">%d signals differ.</p>' % len(report["mismatches"])
    for w in report.get("warnings", ()):
        verdict += '<p class="filter-note">warning: %s</p>' % _e(w["message"])
    link = report["link"]
    return ('<section id="summary"><h2>Summary</h2><div class="big">%d of %d bit-identical</div>'
            '<p class="muted">%d compared; %.1f s over the link, %.1f signals/s, %d bytes sent, '
            '%d received</p>%s</section>'
            % (report["identical"], report["signals"]["asked"], report["compared"], link["seconds"],
               link["signals_per_second"], link["bytes_sent"], link["bytes_received"], verdict))


def _counter(report):
    counter = report["counter"]
    if counter is None:
        return ""
    items = "".join("<li>%s</li>" % _e(line) for line in counter_lines(counter))
    return ('<section id="counter"><h2>Cost per inference</h2><ul>%s</ul><p class="muted">%s</p></section>'
            % (items, _e(MEANINGS.get(counter["unit"], ""))))


def _mismatches(report):
    if not report["mismatches"]:
        return ""
    head = ("<tr><th>Line</th><th>Board status</th><th>Board class</th><th>Desktop class</th>"
            + "".join("<th>P%d board</th><th>P%d desktop</th>" % (k, k) for k in range(1, 5)) + "</tr>")
    rows = []
    for m in report["mismatches"]:
        cells = ["<td>%d</td><td>%d</td>" % (m["line"], m["board"]["status"])]
        same = m["board"]["class_id"] == m["desktop"]["class_id"]
        cells.append('<td class="%s">%d</td><td>%d</td>' % ("" if same else "is-wrong", m["board"]["class_id"],
                                                           m["desktop"]["class_id"]))
        for a, b in zip(m["board"]["probabilities"], m["desktop"]["probabilities"]):
            cells.append('<td class="mono %s">%s</td><td class="mono">%s</td>' % ("" if a == b else "is-wrong", a, b))
        rows.append("<tr>%s</tr>" % "".join(cells))
    return ('<section id="mismatches"><h2>Signals that differ</h2><div style="overflow-x: auto">'
            '<table><thead>%s</thead><tbody>%s</tbody></table></div></section>' % (head, "".join(rows)))


def render(report):
    from ..report.page import page_style
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<title>Board validation of %s</title>\n<style>\n%s</style>\n</head>\n<body>\n<main>\n%s\n</main>\n"
            "</body>\n</html>\n"
            % (_e(report["desktop"]["knowledge"]), page_style(),
               "\n".join((_header(report), _summary(report), _counter(report), _mismatches(report)))))


def write_html(path, report):
    with replacing(path, "w", encoding="utf-8") as f:
        f.write(render(report))
