"""Every file a tool writes is whole or absent: on a full disk, at /dev/full
and when the second of export-c's pair cannot be renamed, nothing new is left
and one line names the path and the reason. Inputs that are not regular
files are refused at once. Paths that are not UTF-8 work and show escaped.
export-c's C names: an accepted name compiles beside every standard header
and classifier.h, in C and C++ (hypothesis); the taken ones are refused."""
import errno
import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from conftest import EMG, ROOT
from ombrel.commands import knowledge_command
from ombrel.knowledge import c_names, read

K = str(EMG / "knowledge.bin")
S = str(EMG / "signals.csv")
L = str(EMG / "labels.txt")
TIMEOUT = 20


def tool(*words, **kw):
    return subprocess.run([sys.executable, "-m", *map(os.fsdecode, words)], capture_output=True,
                          timeout=TIMEOUT, **kw)


def arrays_npz(directory):
    k = read(K)
    path = os.path.join(directory, "arrays.npz")
    np.savez(path, **{name: getattr(k, name) for name in ("means", "scales", "hidden_weights",
                                                          "hidden_biases", "output_weights", "output_biases")})
    return path


# (tool words with OUT for the written path, files named from OUT)
WRITERS = {
    "knowledge write": (["ombrel.knowledge", "write", "--from-npz", "ARRAYS", "OUT.bin"], ["OUT.bin"]),
    "knowledge read --json": (["ombrel.knowledge", "read", K, "--json", "OUT.json"], ["OUT.json"]),
    "knowledge read --npz": (["ombrel.knowledge", "read", K, "--npz", "OUT.npz"], ["OUT.npz"]),
    "export-c": (["ombrel.knowledge", "export-c", K, "--name", "emg", "--output-dir", "DIR"], ["emg.c", "emg.h"]),
    "evaluate --json": (["ombrel.evaluate", K, S, L, "--json", "OUT.json"], ["OUT.json"]),
    "evaluate --html": (["ombrel.evaluate", K, S, L, "--html", "OUT.html"], ["OUT.html"]),
    "evaluate --plot": (["ombrel.evaluate", K, S, L, "--plot", "OUT.png"], ["OUT.png"]),
}


def words_for(name, directory, arrays):
    words, outputs = WRITERS[name]
    fill = lambda w: (w.replace("ARRAYS", arrays).replace("DIR", directory)
                      .replace("OUT", os.path.join(directory, "OUT")))
    return [fill(w) for w in words], [os.path.join(directory, o.replace("OUT", "OUT")) for o in outputs]


@pytest.fixture
def full_folder(tmp_path):
    """A folder on a small file system filled to its last byte, holding an
    old copy of every output; skipped where no file system can be mounted."""
    folder = tmp_path / "full"
    folder.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(folder)],
                      capture_output=True).returncode != 0:
        pytest.skip("needs to mount a tmpfs (root)")
    try:
        yield str(folder)
    finally:
        subprocess.run(["umount", str(folder)], check=True)


def fill(folder):
    for name in ("OUT.bin", "OUT.json", "OUT.npz", "emg.c", "emg.h", "OUT.html", "OUT.png"):
        with open(os.path.join(folder, name), "w") as f:
            f.write("old\n")
    fd = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(fd, b"\0" * 512):
            pass
    except OSError as error:
        assert error.errno == errno.ENOSPC
    finally:
        os.close(fd)


@pytest.mark.parametrize("name", sorted(WRITERS))
def test_a_full_disk_leaves_every_file_as_it_was(full_folder, tmp_path, name):
    words, outputs = words_for(name, full_folder, arrays_npz(tmp_path))
    fill(full_folder)
    before = sorted(os.listdir(full_folder))
    done = tool(*words, cwd=ROOT, text=True)
    assert done.returncode == 1
    lines = [line for line in done.stderr.splitlines() if line.startswith("error")]
    assert len(lines) == 1 and "No space left on device" in lines[0], done.stderr
    assert "Traceback" not in done.stderr
    assert any(os.path.basename(o) in lines[0] for o in outputs)
    assert sorted(os.listdir(full_folder)) == before
    for name in before:
        if name != "filler":
            assert open(os.path.join(full_folder, name)).read() == "old\n"


def test_export_c_renames_neither_file_unless_both_can_be(tmp_path, monkeypatch):
    for suffix in (".c", ".h"):
        (tmp_path / ("emg" + suffix)).write_text("old\n")
    real = os.replace

    def second_fails(src, dst):
        if str(dst).endswith(".h"):
            raise OSError(errno.EIO, "Input/output error")
        real(src, dst)
    monkeypatch.setattr(os, "replace", second_fails)
    status = knowledge_command.main(["export-c", K, "--name", "emg", "--output-dir", str(tmp_path)])
    assert status == 1
    assert sorted(os.listdir(tmp_path)) == ["emg.c", "emg.h"]
    # The .c renamed before the failure is the new one, whole; the .h is the old one.
    assert (tmp_path / "emg.h").read_text() == "old\n"


@pytest.mark.parametrize("words", [
    ["ombrel.evaluate", K, S, L],
    ["ombrel.knowledge", "read", K],
])
def test_a_full_standard_output_is_one_line_and_status_1(words):
    with open("/dev/full", "w") as full:
        done = subprocess.run([sys.executable, "-m", *words], stdout=full, stderr=subprocess.PIPE, text=True,
                              timeout=TIMEOUT)
    assert done.returncode == 1
    assert len(done.stderr.splitlines()) == 1 and "No space left on device" in done.stderr, done.stderr


@pytest.mark.parametrize("words", [
    ["ombrel.knowledge", "inspect", "FIFO"], ["ombrel.knowledge", "read", "FIFO"],
    ["ombrel.knowledge", "export-c", "FIFO", "--name", "k"], ["ombrel.knowledge", "write", "--from-npz", "FIFO", "o.bin"],
    ["ombrel.knowledge", "import", "FIFO", "o.bin"], ["ombrel.evaluate", "FIFO", S, L],
    ["ombrel.evaluate", K, "FIFO", L], ["ombrel.evaluate", K, S, "FIFO"],
    ["ombrel.evaluate", K, S, L, "--html", "o.html", "--compare", "FIFO"],
], ids=lambda w: " ".join(w[:3]) + (" --compare" if "--compare" in w else ""))
def test_a_fifo_given_as_an_input_is_refused_at_once(tmp_path, words):
    fifo = str(tmp_path / "in.fifo")
    os.mkfifo(fifo)
    done = tool(*[fifo if w == "FIFO" else w for w in words], cwd=tmp_path, text=True)
    assert done.returncode == 1, done.stderr
    assert "in.fifo" in done.stderr and "Traceback" not in done.stderr
    assert sorted(os.listdir(tmp_path)) == ["in.fifo"]


def test_paths_that_are_not_utf8_work_and_show_escaped(tmp_path):
    folder = os.fsencode(tmp_path)
    knowledge = folder + b"/k\xff.bin"
    shutil.copy(K, knowledge)
    done = tool("ombrel.knowledge", "export-c", knowledge, "--name", "emg", "--output-dir", folder + b"/d\xfe")
    assert done.returncode == 1 and b"d\\xfe" in done.stderr and not os.path.exists(folder + b"/d\xfe")
    os.mkdir(folder + b"/d\xfe")
    done = tool("ombrel.knowledge", "export-c", knowledge, "--name", "emg", "--output-dir", folder + b"/d\xfe")
    assert done.returncode == 0 and b"d\\xfe" in done.stdout
    assert b"k\\xff.bin" in open(folder + b"/d\xfe/emg.c", "rb").read()
    page, figures = folder + b"/p\xfd.html", folder + b"/j\xfd.json"
    done = tool("ombrel.evaluate", knowledge, S, L, "--html", page, "--json", figures)
    assert done.returncode == 0, done.stderr
    assert b"k\\\\xff.bin" in open(page, "rb").read() and os.path.getsize(figures) > 0
    done = tool("ombrel.knowledge", "read", knowledge, "--json", folder + b"/r\xfc.json")
    assert done.returncode == 0 and os.path.getsize(folder + b"/r\xfc.json") > 0
    bad = folder + b"/s\xfb.csv"
    open(bad, "w").write("1,x\n")
    done = tool("ombrel.evaluate", knowledge, bad)
    assert done.returncode == 1 and b"s\\xfb.csv" in done.stderr and len(done.stderr.splitlines()) == 1


# ---------------------------------------------------------------------------
# export-c's names.

HEADERS = ("assert complex ctype errno fenv float inttypes limits locale math setjmp signal stdalign stdarg "
           "stdbool stddef stdint stdio stdlib string time wchar").split()
USE = """%s
#include "classifier.h"
#include "%s.h"
const float* first_of_it(void) { return %s; }
int count_of_it(void) { return %s_FLOAT_COUNT + %s_HIDDEN_UNITS; }
"""


def test_the_names_of_classifier_h_are_those_refused():
    text = (ROOT / "library" / "classifier.h").read_text()
    text = re.sub(r"/\*.*?\*/|//[^\n]*", "", text, flags=re.S)
    declared = set(re.findall(r"#define (\w+)", text))
    declared |= set(re.findall(r"\b([A-Z_]+)\s*=", text))
    declared |= set(re.findall(r"typedef [^;]*\b(\w+);", text))
    declared |= set(re.findall(r"\b(\w+)\s*\(", text)) - {"defined"}
    declared |= set(re.findall(r"extern const [\w* ]*?\b(\w+)\[", text))
    assert declared == c_names.CLASSIFIER_H


NAMES = st.one_of(st.from_regex(r"[a-zA-Z][a-zA-Z0-9_]{0,10}", fullmatch=True),
                  st.sampled_from(sorted(c_names.KEYWORDS | c_names.STANDARD | c_names.CLASSIFIER_H)),
                  st.sampled_from(["int", "main", "sin", "INFINITY", "_x", "a__b", "emg", "x_t", "INT8_MAX",
                                   "ombrel_classifier", "input_length", "errno", "stdin", "flt"]))


@pytest.mark.skipif(shutil.which("gcc") is None or shutil.which("g++") is None, reason="needs gcc and g++")
@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(NAMES)
def test_an_accepted_name_compiles_beside_every_header(tmp_path, name):
    problem = c_names.name_problem(name)
    done = tool("ombrel.knowledge", "export-c", K, "--name", name, "--output-dir", str(tmp_path), text=True)
    if problem is not None:
        assert done.returncode == 1 and problem in done.stderr
        assert not (tmp_path / (name + ".c")).exists() and not (tmp_path / (name + ".h")).exists()
        return
    assert done.returncode == 0, done.stderr
    includes = "".join("#include <%s.h>\n" % h for h in HEADERS)
    (tmp_path / "use.c").write_text(USE % (includes, name, name, name.upper(), name.upper()))
    lib = str(ROOT / "library")
    for compiler, std, extra in (("gcc", "-std=c11", [str(tmp_path / (name + ".c"))]),
                                 ("g++", "-std=c++20", ["-x", "c++"])):
        compiled = subprocess.run([compiler, std, "-pedantic", "-Wall", "-Wextra", "-Werror", "-fsyntax-only",
                                   "-I", lib, "-I", str(tmp_path), *extra, str(tmp_path / "use.c")],
                                  capture_output=True, text=True)
        assert compiled.returncode == 0, (compiler, name, compiled.stderr[:2000])


def test_a_replaced_file_keeps_its_mode_and_a_new_one_follows_the_umask(tmp_path):
    from ombrel.file_paths import write_bytes_whole
    old = tmp_path / "old.bin"
    old.write_bytes(b"old")
    old.chmod(0o640)
    write_bytes_whole(old, b"new")
    mask = os.umask(0o027)
    try:
        write_bytes_whole(tmp_path / "new.bin", b"new")
    finally:
        os.umask(mask)
    assert old.read_bytes() == b"new" and (old.stat().st_mode & 0o777) == 0o640
    assert ((tmp_path / "new.bin").stat().st_mode & 0o777) == 0o640
    assert sorted(os.listdir(tmp_path)) == ["new.bin", "old.bin"]
