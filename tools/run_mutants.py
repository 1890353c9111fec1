"""Applies each deliberate slip of tests/mutants/ to a scratch copy of the
tree, builds what it names and runs its tests: every mutant must make one of
them fail. A mutant that every test lets through is a survivor: the tests
miss that fault.

    python3 tools/run_mutants.py              # every patch in tests/mutants/
    python3 tools/run_mutants.py NAME...      # tests/mutants/NAME.patch only

A patch starts with header lines, then a diff against the tree (git diff):

    Mutant: what the slip does
    Build: CMake targets to build after applying it (may be empty)
    Test: a command run from the copy's root; more Test: lines may follow

The copy (tracked and new files, as the tree is now) lives in
build/mutants/tree, its build folder kept between runs; it is configured
with the release preset and built once per run; then each patch is applied,
its targets built, its tests run, and the patch reverted.
Prints one line per mutant and a count; exits with 1 when a mutant survives,
or a patch does not apply or build.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MUTANTS = os.path.join(ROOT, "tests", "mutants")
TEST_SECONDS = 900


class Mutant:
    def __init__(self, path):
        self.path = path
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.what, self.targets, self.tests = "", [], []
        with open(path) as f:
            for line in f:
                if line.startswith("diff "):
                    break
                key, _, value = line.partition(":")
                if key == "Mutant":
                    self.what = value.strip()
                elif key == "Build":
                    self.targets += value.split()
                elif key == "Test":
                    self.tests.append(value.strip())
        if not self.tests:
            sys.exit("%s: no 'Test:' line: say which tests must catch this mutant" % path)


def copy_tree(destination):
    """The tracked and new (not ignored) files of the tree, as they are now."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, capture_output=True, check=True).stdout
    for name in filter(None, listed.decode().split("\0")):
        source = os.path.join(ROOT, name)
        if os.path.isfile(source):
            target = os.path.join(destination, name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            # New times: no object built from a mutant outlives it.
            shutil.copyfile(source, target)
            shutil.copymode(source, target)


def environment():
    env = dict(os.environ)
    if shutil.which("ccache"):
        env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
        env.setdefault("CMAKE_C_COMPILER_LAUNCHER", "ccache")
        # Paths relative to the build folder: the copy's objects are the tree's.
        env.setdefault("CCACHE_BASEDIR", os.path.dirname(ROOT))
    # The copy's package and programs, never those of the tree or an install.
    for name in ("PYTHONPATH", "OMBREL_EMULATOR", "OMBREL_PYTHON_DIR", "OMBREL_CLASSIFY_ROWS"):
        env.pop(name, None)
    return env


def run(command, cwd, env, shell=False, timeout=None):
    """(exit status, output); a command that runs out of time fails."""
    try:
        done = subprocess.run(command, cwd=cwd, env=env, shell=shell, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return done.returncode, done.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return -1, "timed out after %d s" % timeout


def build(copy, targets, env, jobs):
    return run(["cmake", "--build", "build/release", "-j", str(jobs), "--target", *targets], copy, env)


def prepare(copy, mutants, env, jobs):
    """The copy, configured and built for every mutant's targets."""
    # Its build folder stays from one run to the next; every source is new.
    for entry in os.listdir(copy) if os.path.isdir(copy) else ():
        path = os.path.join(copy, entry)
        if entry == "build":
            continue
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    copy_tree(copy)
    status, output = run(["cmake", "--preset", "release"], copy, env)
    if status == 0:
        targets = sorted({t for m in mutants for t in m.targets} | {"ombrel_python"})
        status, output = build(copy, targets, env, jobs)
    if status != 0:
        sys.exit("the unchanged copy does not build:\n" + output[-3000:])


def try_mutant(mutant, copy, env, jobs):
    """'killed', 'SURVIVED', or why the mutant could not be tried; and the
    output that says more."""
    # The copy is no repository: git apply must not take the tree's (around
    # build/mutants/) for its own, where it would skip every path as outside.
    apply_env = dict(env, GIT_CEILING_DIRECTORIES=os.path.dirname(os.path.abspath(copy)))
    status, output = run(["git", "apply", mutant.path], copy, apply_env)
    if status == 0:     # applied indeed: the reverse applies
        status, output = run(["git", "apply", "--check", "-R", mutant.path], copy, apply_env)
    if status != 0:
        return "DOES NOT APPLY", output
    try:
        status, output = build(copy, mutant.targets + ["ombrel_python_files"], env, jobs)
        if status != 0:
            return "DOES NOT BUILD", output
        for test in mutant.tests:
            status, output = run(test, copy, env, shell=True, timeout=TEST_SECONDS)
            if status != 0:
                return "killed", output
        return "SURVIVED", output
    finally:
        run(["git", "apply", "-R", mutant.path], copy, apply_env)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("names", nargs="*", help="mutants to try (default: every patch in tests/mutants/)")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("JOBS", "2")), help="build jobs")
    parser.add_argument("--copy", default=os.path.join(ROOT, "build", "mutants", "tree"),
                        help="scratch copy of the tree (its sources made again on every run)")
    args = parser.parse_args(argv)
    paths = sorted(glob.glob(os.path.join(MUTANTS, "*.patch")))
    if args.names:
        known = {os.path.splitext(os.path.basename(p))[0]: p for p in paths}
        unknown = [n for n in args.names if n not in known]
        if unknown:
            parser.error("no tests/mutants/%s.patch" % ", ".join(unknown))
        paths = [known[n] for n in args.names]
    mutants = [Mutant(p) for p in paths]
    env = environment()
    prepare(args.copy, mutants, env, args.jobs)
    bad = 0
    for mutant in mutants:
        started = time.monotonic()
        verdict, output = try_mutant(mutant, args.copy, env, args.jobs)
        print("%-14s %-40s %5.0f s  %s" % (verdict, mutant.name, time.monotonic() - started, mutant.what),
              flush=True)
        if verdict != "killed":
            bad += 1
            print("  " + "\n  ".join(output.rstrip().split("\n")[-15:]), flush=True)
    print("%d mutants: %d killed, %d not" % (len(mutants), len(mutants) - bad, bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
