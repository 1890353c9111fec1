"""The shape the code keeps: the Python package imports without a circle, its
file format (ombrel.knowledge) knows nothing of the engine above it, every
function of library/, frontend/ and python/ is under 60 lines, and no Python
module or script of the product (python/, tools/, bench/, examples/, fuzz/;
the report page's script files too) is over 300 lines.

Functions are measured from the source: Python's by its syntax tree (from
the def to its last line), C++'s and JavaScript's from the line of their
opening brace to the line of the matching closing one."""

import ast
import os
import re

from conftest import ROOT

PACKAGE = ROOT / "python" / "ombrel"
FUNCTION_LINES = 60           # a function has fewer
FILE_LINES = 300              # a Python module or script has at most
# What the file format may not reach, directly or through other modules.
ABOVE_THE_FORMAT = ("ombrel._engine", "ombrel.classifier", "ombrel.signals", "ombrel.checks",
                    "ombrel.commands", "ombrel.report", "ombrel.evaluation", "ombrel.dask")


def module_name(path):
    parts = list(path.relative_to(PACKAGE.parent).with_suffix("").parts)
    return ".".join(parts[:-1] if parts[-1] == "__init__" else parts)


def imported(path, name, known):
    """Modules of the package that `path` (module `name`) imports anywhere in
    it, with the packages that importing them runs first."""
    package = name if path.name == "__init__.py" else name.rpartition(".")[0]
    found = set()
    for node in ast.walk(ast.parse(path.read_text(), str(path))):
        if isinstance(node, ast.Import):
            targets = [a.name for a in node.names]
        elif isinstance(node, ast.ImportFrom):
            base = node.module or ""
            if node.level:
                anchor = package.rsplit(".", node.level - 1)[0] if node.level > 1 else package
                base = anchor + ("." + base if base else "")
            targets = [base] + [base + "." + a.name for a in node.names]
        else:
            continue
        for target in targets:
            parts = target.split(".")
            found |= {".".join(parts[:k]) for k in range(2, len(parts) + 1)} & known
    # A module's own packages run before it: they are not edges of its own.
    return {m for m in found if m != name and not name.startswith(m + ".")}


def import_graph():
    paths = {module_name(p): p for p in PACKAGE.rglob("*.py")}
    return {name: imported(path, name, set(paths)) for name, path in paths.items()}


def find_circle(graph):
    """A list of modules that import one another in a circle, or None."""
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                circle = visit(nxt, trail + [nxt])
                if circle:
                    return circle
        state[node] = "done"
        return None

    for start in sorted(graph):
        if start not in state:
            circle = visit(start, [start])
            if circle:
                return circle
    return None


def reach(graph, start):
    seen, stack = set(), [start]
    while stack:
        for nxt in graph[stack.pop()] - seen:
            seen.add(nxt)
            stack.append(nxt)
    return seen


def test_the_package_imports_without_a_circle_and_the_format_knows_no_engine():
    graph = import_graph()
    assert find_circle(graph) is None, " -> ".join(find_circle(graph))
    for name in graph:
        if name.startswith("ombrel.knowledge") and not name.endswith("__main__"):
            above = sorted(m for m in reach(graph, name) if m.startswith(ABOVE_THE_FORMAT))
            assert not above, "%s reaches %s" % (name, ", ".join(above))
    # ombrel.evaluate is a function; the package of that name only runs the command (-m).
    assert not [m for m in graph if "ombrel.evaluate" in graph[m]]
    # The planted circle is found: the check is live.
    assert find_circle({"a": {"b"}, "b": {"c"}, "c": {"a"}}) == ["a", "b", "c", "a"]


def braced_functions(text, opening):
    """(first line, lines) of each function: a line matching `opening` whose
    brace closes `lines` lines later, counted by braces outside strings,
    characters and comments."""
    code = re.sub(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'',
                  lambda m: re.sub(r"[^\n]", " ", m.group()), text, flags=re.S)
    lines = code.split("\n")
    for number, line in enumerate(lines):
        if not re.search(opening, line):
            continue
        depth = 0
        for end in range(number, len(lines)):
            depth += lines[end].count("{") - lines[end].count("}")
            if depth <= 0 and end > number or depth == 0 and "}" in lines[end]:
                yield number + 1, end - number + 1
                break


def long_functions():
    found = []
    for folder in ("library", "frontend", "python"):
        for path in sorted((ROOT / folder).rglob("*")):
            text = path.read_text(errors="replace") if path.is_file() else ""
            if path.suffix == ".py":
                for node in ast.walk(ast.parse(text, str(path))):
                    if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
                        found.append((path, node.lineno, node.end_lineno - node.lineno + 1))
            elif path.suffix in (".cpp", ".h", ".c"):
                # Definitions open their body on a line of its own.
                found += [(path, n, k) for n, k in braced_functions(text, r"^\s*\{\s*$")]
            elif path.suffix == ".js":
                found += [(path, n, k) for n, k in braced_functions(text, r"\bfunction\b.*\{\s*$|=>\s*\{\s*$")]
    return ["%s:%d: %d lines" % (p.relative_to(ROOT), n, k) for p, n, k in found if k >= FUNCTION_LINES]


def test_functions_and_python_files_stay_short():
    assert long_functions() == []
    scripts = [p for folder in ("python", "tools", "bench", "examples", "fuzz", ".ci")
               for p in (ROOT / folder).rglob("*") if p.suffix in (".py", ".sh", ".js")]
    long_files = ["%s: %d lines" % (p.relative_to(ROOT), len(p.read_text().split("\n")) - 1)
                  for p in scripts if len(p.read_text().split("\n")) - 1 > FILE_LINES]
    assert long_files == []
