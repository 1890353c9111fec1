"""Every fenced sh, console, python, c and cmake block of README.md and docs/
runs against the build, page by page, in order, in a scratch directory of
the page's own (docs/testing.md says how a block is run and marked).

The build is OMBREL_BUILD_DIR (ctest sets it), else build/release; the
scratch directory holds copies of the source tree's examples/, tools/,
python/, tests/ and bench/ (so that no block writes into the tree), the
build as build/release, and bin/ with the build's ombrel_emulator and this
interpreter as python3, first on PATH."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from markdown_pages import PAGES, ROOT, blocks

BUILD = Path(os.environ.get("OMBREL_BUILD_DIR", ROOT / "build" / "release")).resolve()
RUN = {"sh", "console", "python", "c", "cmake"}
# Languages that would silently escape this test: write them as one of RUN.
MISNAMED = {"bash": "sh", "shell": "sh", "shell-session": "console", "py": "python",
            "python3": "python", "pycon": "python", "C": "c", "h": "c"}
BLOCK_SECONDS = 180
# Marker word: (what the block shows, what runs here instead).
SUBSTITUTIONS = {
    "dask-local": (re.compile(r'distributed\.Client\("tcp://[^"]*"\)'),
                   "distributed.Client(distributed.LocalCluster(n_workers=1, threads_per_worker=1, "
                   "processes=False, dashboard_address=None))"),
    "scratch-prefix": (re.compile(r"/opt/ombrel"), "{scratch}/opt/ombrel"),
}
SEPARATOR = "@@ombrel-doc-example@@"

ALL = [b for page in PAGES for b in blocks(page) if b.language in RUN or b.language in MISNAMED]


def markers(block):
    """(skip reason or None, file name or None, substitution words)."""
    text = block.markers
    reason = None
    if "skip:" in text:
        text, _, reason = text.partition("skip:")
        assert reason.strip(), "%s: 'skip:' needs a reason" % block.name
        reason = reason.strip()
    words = text.split()
    file = [w[5:] for w in words if w.startswith("file=")]
    subs = [w for w in words if not w.startswith("file=")]
    unknown = [w for w in subs if w not in SUBSTITUTIONS]
    assert not unknown, "%s: unknown markers %s (known: skip: REASON, file=NAME, %s)" % (
        block.name, unknown, ", ".join(SUBSTITUTIONS))
    return reason, (file[0] if file else None), subs


_scratch = {}


def scratch_for(page, tmp_path_factory):
    if page not in _scratch:
        d = tmp_path_factory.mktemp(page.stem)
        for name in ("examples", "tools", "python", "tests", "bench"):
            shutil.copytree(ROOT / name, d / name, symlinks=True,
                            ignore=shutil.ignore_patterns("__pycache__"))
        (d / "build").mkdir()
        (d / "build" / "release").symlink_to(BUILD)
        (d / "bin").mkdir()
        (d / "bin" / "python3").symlink_to(sys.executable)
        (d / "bin" / "ombrel_emulator").symlink_to(BUILD / "frontend" / "ombrel_emulator")
        _scratch[page] = d
    return _scratch[page]


@pytest.fixture(scope="session")
def installed(tmp_path_factory):
    """The build installed under a prefix of its own, for the C blocks."""
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)],
                   check=True, capture_output=True)
    return prefix


def environment(scratch, installed, python_path):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "OMBREL_THREADS")}
    env.update(PATH="%s:%s" % (scratch / "bin", env.get("PATH", "")), HOME=str(scratch),
               MPLBACKEND="Agg", MPLCONFIGDIR=str(scratch / ".matplotlib"),
               PKG_CONFIG_PATH=str(installed / "lib" / "pkgconfig"))
    if python_path:
        env["PYTHONPATH"] = str(scratch / "build" / "release" / "python")
    return env


def run(command, scratch, env, what):
    done = subprocess.run(command, cwd=scratch, env=env, capture_output=True, text=True,
                          timeout=BLOCK_SECONDS)
    assert done.returncode == 0, "%s exited with %d\n--- stdout\n%s--- stderr\n%s" % (
        what, done.returncode, done.stdout[-4000:], done.stderr[-4000:])
    return done


def console_commands(text):
    """[(command, expected output or None)] from "$ " lines and what follows
    them; a command line ending in a backslash continues on the next."""
    commands = []
    lines = text.rstrip("\n").split("\n")
    i = 0
    while i < len(lines):
        assert lines[i].startswith("$ "), "console line without '$ ' before it: %r" % lines[i]
        command = lines[i][2:]
        while command.endswith("\\") and i + 1 < len(lines):
            i += 1
            command = command[:-1] + lines[i]
        i += 1
        output = []
        while i < len(lines) and not lines[i].startswith("$ "):
            output.append(lines[i])
            i += 1
        commands.append((command, "\n".join(output) + "\n" if output else None))
    return commands


def run_console(block, scratch, env):
    """One shell runs the commands in turn (so `echo $?` sees the one
    before), with standard error where a terminal shows it."""
    commands = console_commands(block.text)
    script = "".join("%s\n__status=$?; printf '\\n%s %%d\\n' $__status; (exit $__status)\n"
                     % (command, SEPARATOR) for command, _ in commands)
    done = subprocess.run(["bash", "-c", "exec 2>&1\n" + script], cwd=scratch, env=env,
                          capture_output=True, text=True, timeout=BLOCK_SECONDS)
    pieces = re.split(r"\n%s (\d+)\n" % SEPARATOR, done.stdout)
    for n, (command, expected) in enumerate(commands):
        output, status = pieces[2 * n], int(pieces[2 * n + 1])
        if expected is not None:
            assert output == expected, "%s: output of `%s` differs:\n%s" % (block.name, command, output)
        else:
            assert status == 0, "%s: `%s` exited with %d:\n%s" % (block.name, command, status, output)


@pytest.mark.parametrize("block", ALL, ids=lambda b: b.name)
def test_doc_example(block, tmp_path_factory, installed):
    assert block.language not in MISNAMED, (
        "%s: write ```%s (the languages run here: %s)" % (block.name, MISNAMED[block.language], sorted(RUN)))
    reason, file, subs = markers(block)
    if reason:
        pytest.skip("%s: %s" % (block.name, reason))
    scratch = scratch_for(block.page, tmp_path_factory)
    text = block.text
    for word in subs:
        pattern, replacement = SUBSTITUTIONS[word]
        assert pattern.search(text), "%s: marker %s, but nothing to replace" % (block.name, word)
        text = pattern.sub(replacement.replace("{scratch}", str(scratch)), text)
    env = environment(scratch, installed, block.language == "python")
    if file:
        (scratch / file).write_text(text)
    else:
        assert block.language != "cmake", "%s: a cmake block needs file=NAME" % block.name
    if block.language == "sh" and not file:
        run(["bash", "-e", "-o", "pipefail", "-c", text], scratch, env, block.name)
    elif block.language == "console":
        run_console(block, scratch, env)
    elif block.language == "python" and not file:
        (scratch / "block.py").write_text(text)
        run([sys.executable, "block.py"], scratch, env, block.name)
    elif block.language == "c":
        source = scratch / (file or "block.c")
        source.write_text(text)
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "ombrel-classifier"], env=env,
                               check=True, capture_output=True, text=True).stdout.split()
        run(["cc", "-std=c11", "-Wall", "-Wextra", "-Werror", str(source), *flags, "-o", "block_c"],
            scratch, env, block.name + " (compiling)")
        run(["./block_c"], scratch, env, block.name)
