"""The package's commands in <build dir>/bin and the one line a python3
without numpy prints, with such a python3 (a virtual environment without
the system's packages) first on PATH and the current directory elsewhere."""
import os
import re
import subprocess
import sys

import pytest

from conftest import EMG, PYTHON_DIR, ROOT

BIN = PYTHON_DIR.parent / "bin"
sys.path.insert(0, str(ROOT / "tools"))
import python_commands  # noqa: E402


@pytest.fixture(scope="module")
def bare_python(tmp_path_factory):
    """PATH and PYTHONPATH with a python3 that lacks numpy first."""
    venv = tmp_path_factory.mktemp("bare") / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(venv)], check=True)
    return {**os.environ, "PATH": "%s:%s" % (venv / "bin", os.environ["PATH"]),
            "PYTHONPATH": str(PYTHON_DIR)}, venv / "bin" / "python3"


def run(command, env, cwd):
    return subprocess.run(command, env=env, cwd=cwd, capture_output=True, text=True, timeout=120)


def test_one_command_per_runnable_module_and_pip_installs_the_same():
    commands = python_commands.runnable_modules(ROOT / "python" / "ombrel")
    names = [c for c, _ in commands]
    assert {"ombrel-evaluate", "ombrel-knowledge"} <= set(names)
    assert sorted(p.name for p in BIN.glob("ombrel-*")) == names
    scripts = re.search(r"^\[project\.scripts\]\n(.*?)(?:\n\n|\Z)", (ROOT / "python/pyproject.toml").read_text(),
                        re.M | re.S).group(1)
    assert sorted(line.split("=")[0].strip() for line in scripts.splitlines()) == names


def test_commands_run_with_another_python3_first_on_path(bare_python, tmp_path):
    env, _ = bare_python
    inspected = run([str(BIN / "ombrel-knowledge"), "inspect", str(EMG / "knowledge.bin")], env, tmp_path)
    assert inspected.returncode == 0 and inspected.stdout.endswith("verdict: accepted\n"), inspected.stderr
    evaluated = run([str(BIN / "ombrel-evaluate"), str(EMG / "knowledge.bin"), str(EMG / "signals.csv"),
                     str(EMG / "labels.txt")], env, tmp_path)
    assert evaluated.returncode == 0, evaluated.stderr
    assert "accuracy: 86.21% (3008 of 3489)" in evaluated.stdout


@pytest.mark.parametrize("words", [["-m", "ombrel.evaluate"], ["-m", "ombrel.knowledge", "inspect", "k.bin"],
                                   ["-c", "import ombrel"]])
def test_python3_without_numpy_prints_one_line_naming_the_interpreter(bare_python, tmp_path, words):
    env, python = bare_python
    done = run(["python3", *words], env, tmp_path)
    interpreter = (PYTHON_DIR / "ombrel" / "interpreter.txt").read_text().split("\n")[0]
    assert done.returncode == 1 and done.stdout == ""
    assert done.stderr == "ombrel needs numpy, which %s lacks: run it with %s, the interpreter this build " \
                          "uses, or use the commands in %s\n" % (python, interpreter, BIN)


def test_a_caller_can_catch_the_missing_numpy(bare_python, tmp_path):
    env, _ = bare_python
    done = run(["python3", "-c", "try:\n import ombrel\nexcept ImportError as e:\n print('caught')"], env, tmp_path)
    assert (done.returncode, done.stdout, done.stderr) == (0, "caught\n", "")
