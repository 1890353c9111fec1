"""Runs ombrel_emulator with system calls made to fail, one at a time.

strace's fault injection makes the K-th call of one system call fail, for
every K from the program's first call on its own files to the last call of
a clean run: reads (EIO), writes to standard output (EIO, ENOSPC), opens
(ENOENT, EACCES, EMFILE), seeks and status queries (EIO).  Every run must
  - end with exit 0 only when standard output equals the clean run's;
    otherwise with exit 1 and, unless a write failed, an error block ("Error"
    at a line start) at the end of standard output;
  - never be killed by a signal;
  - put nothing on standard error except the write-failure line;
  - never refuse the (sound) knowledge as one that does not match.
The signal file is also changed while the program is stopped between its
steps: cut short after the check that its path still names it (the
scan-failure block), grown then (the lines added are not read) and replaced
between the open and that check (the block of a file that could not be
opened).  Finally a sweep
of address-space limits (ulimit -v) around the smallest that lets the
program start must give the knowledge refusal (status 125) where the
knowledge buffer cannot be allocated, and never a crash; on two threads,
limits where the threads or their blocks cannot be had must give the whole
report or an error block, never a partial report with exit 0.  The reads
fail at every call on one thread and on two; thread creation fails; invalid
thread settings, FIFOs and a warning that cannot be written are refused.
Needs strace (Debian package strace); ctest runs it on Release builds only.
"""

import os
import random
import re
import resource
import shutil
import signal
import subprocess
import tempfile
import time

import pytest

from conftest import CLI_DATA

pytestmark = pytest.mark.native

TIMEOUT = 60
WRITE_FAILURE = b"ombrel_emulator: could not write the report to standard output\n"
ERRORS = {"read": ("EIO",), "write": ("EIO", "ENOSPC"), "openat": ("ENOENT", "EACCES", "EMFILE"),
          "lseek": ("EIO",), "newfstatat": ("EIO",)}


class Failures:
    """The failed checks of a test's many runs, reported together."""
    def __init__(self):
        self.messages = []
        self.runs = 0

    def check(self, condition, what):
        if not condition:
            self.messages.append(what)

    def assert_none(self):
        assert not self.messages, "%d of %d runs failed:\n%s" % (len(self.messages), self.runs,
                                                                "\n".join(self.messages[:30]))


def run(command, stdin=None, env=None, preexec=None):
    result = subprocess.run(command, capture_output=True, timeout=TIMEOUT, env=env, preexec_fn=preexec)
    return result.returncode, result.stdout, result.stderr


def ends_with_error_block(stdout, clean):
    """An error block ends the output, after a part of the clean run's output:
    its first line starts with "Error" at a line start, or after the space
    that follows a record of a list of results left open."""
    match = re.search(rb"(?:^|\n ?)(Error[^\n]*\n(?:[^\n]*\n)*)$", stdout)
    return (match is not None and b"classification_summary" not in match.group(1)
            and clean.startswith(stdout[:match.start(1)].rstrip(b" ")))


def traced_calls(emulator_command, files, workdir, env=None):
    """Per system call name: the 1-based numbers of its calls, in a clean run,
    and the first of them that acts on one of `files`."""
    trace = os.path.join(workdir, "trace.txt")
    names = ",".join(ERRORS) + ",close"
    subprocess.run(["strace", "-y", "-o", trace, "-e", "trace=" + names] + emulator_command,
                   capture_output=True, timeout=TIMEOUT, check=True, env=env)
    calls = {}
    with open(trace, encoding="utf-8", errors="replace") as f:
        for line in f:
            match = re.match(r"(\w+)\((.*)", line)
            if not match or match.group(1) not in ERRORS and match.group(1) != "close":
                continue
            entry = calls.setdefault(match.group(1), [])
            entry.append(any(path in match.group(2) for path in files))
    return calls


def inject_all(emulator_command, files, clean, workdir, failures, label, name, env=None):
    calls = traced_calls(emulator_command, files, workdir, env)
    errors = ERRORS[name]
    seen = calls.get(name, [])
    if name == "write":
        first = 1          # every write of the program is its own
    elif True in seen:
        first = seen.index(True) + 1
    else:
        pytest.skip("the program makes no %s call on its files here" % name)
    for number in range(first, len(seen) + 2):
        for error in errors:
            command = ["strace", "-o", "/dev/null", "-e", "trace=" + name,
                       "-e", "inject=%s:error=%s:when=%d" % (name, error, number)] + emulator_command
            status, stdout, stderr = run(command, env=env)
            failures.runs += 1
            what = "%s: %s %s call %d: exit %d, stderr %r" % (label, name, error, number, status, stderr[:200])
            failures.check(status in (0, 1), what + " (killed or unexpected status)")
            # The knowledge is sound: refusing it as one that does not
            # match would pass a failed call off as a verdict on it.
            failures.check(b"do not match" not in stdout, what + " (knowledge refused as not matching)")
            if status == 0:
                failures.check(stdout == clean and stderr == b"", what + " (exit 0 with other output)")
            elif stderr == WRITE_FAILURE:
                failures.check(name == "write", what + " (write failure without a failed write)")
            else:
                failures.check(stderr == b"" and ends_with_error_block(stdout, clean),
                               what + " (no error block at the end)")


def stopped_run(emulator_command, call, number, change, env=None):
    """Runs the emulator under strace, stops it just after its `number`-th
    `call`, applies change() and lets it go on."""
    trace = tempfile.NamedTemporaryFile(delete=False)
    trace.close()
    process = subprocess.Popen(["strace", "-o", trace.name, "-e", "trace=" + call,
                                "-e", "inject=%s:signal=SIGSTOP:when=%d" % (call, number)] + emulator_command,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    deadline = time.monotonic() + TIMEOUT
    pid = None
    while time.monotonic() < deadline:
        with open(trace.name, encoding="utf-8", errors="replace") as f:
            text = f.read()
        if "stopped (SIGSTOP)" in text or "--- stopped by SIGSTOP ---" in text:
            with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
                pid = int(f.read().split()[0])
            break
        if process.poll() is not None:
            break
        time.sleep(0.02)
    if pid is not None:
        change()
        os.kill(pid, signal.SIGCONT)
    stdout, stderr = process.communicate(timeout=TIMEOUT)
    os.unlink(trace.name)
    return pid is not None, process.returncode, stdout, stderr


def own_reads(command, signals, workdir, env):
    """The 1-based numbers of the read calls on the signal file: those of a
    line count on a stream of its own (opened second), and the run's after
    the first close of a second stream (the count's, or the check that the
    path still names the file read)."""
    trace = os.path.join(workdir, "reads.txt")
    subprocess.run(["strace", "-y", "-o", trace, "-e", "trace=read,close"] + command,
                   capture_output=True, timeout=TIMEOUT, check=True, env=env)
    reads, run_fd, second_closed, count, run = 0, None, False, [], []
    with open(trace, encoding="utf-8", errors="replace") as f:
        for line in f:
            match = re.match(r"(read|close)\((\d+)<([^>]*)>", line)
            reads += line.startswith("read(")
            if not match or match.group(3) != signals:
                continue
            fd = int(match.group(2))
            run_fd = fd if run_fd is None else run_fd
            if match.group(1) == "close":
                second_closed = second_closed or fd != run_fd
            elif fd != run_fd:
                count.append(reads)
            elif second_closed:
                run.append(reads)
    return count, run


def changing_files(emulator, knowledge, signals, clean, workdir, failures, threads):
    """The check of the path (and the line count's own stream, where there is
    one), then the reading, on `threads` threads."""
    command = [emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", signals]
    with open(signals, "rb") as f:
        original = f.read()

    def restore():
        with open(signals, "wb") as f:
            f.write(original)

    def shrink():
        with open(signals, "r+b") as f:
            f.truncate(len(original) // 3)

    def grow():
        with open(signals, "ab") as f:
            f.write(original[:len(original) // 2])

    def replace():
        other = signals + ".new"
        with open(other, "wb") as f:
            f.write(original)
        os.replace(other, signals)

    header_end = clean.index(b"\t\"results\": [\n") + len(b"\t\"results\": [\n")
    run_out = b"Error: incompatibility between required and number of data in file"
    env = dict(os.environ, OMBREL_THREADS=threads)
    calls = traced_calls(command, [signals], workdir, env)
    count_close = calls["close"].index(True) + 1           # the path check's stream
    seeks = [i + 1 for i, own in enumerate(calls["lseek"]) if own]
    count_reads, run_reads = own_reads(command, signals, workdir, env)
    # A whole file's lines are counted as they are read: there is no count
    # of its own to stop in.
    during_count = [("shrunk during the count", "read", count_reads[0], shrink)] if count_reads else []
    for name, call, number, change in during_count + [
                                       ("shrunk after the count", "close", count_close, shrink),
                                       ("shrunk while read", "read", run_reads[0], shrink),
                                       ("grown after the count", "close", count_close, grow),
                                       ("grown while read", "read", run_reads[0], grow),
                                       ("replaced before the count", "lseek", seeks[-1], replace)]:
        restore()
        stopped, status, stdout, stderr = stopped_run(command, call, number, change, env)
        failures.runs += 1
        what = "%s threads, %s: exit %d, stderr %r, output ends %r" % (threads, name, status, stderr[:200],
                                                                      stdout[-120:])
        failures.check(stopped, what + ": the program never stopped")
        if name == "shrunk during the count":
            failures.check(status == 1 and stderr == b"" and stdout.startswith(run_out), what)
        elif name.startswith("shrunk"):
            failures.check(status == 1 and stderr == b"" and stdout.startswith(clean[:header_end]) and
                           run_out in stdout, what)
        elif name.startswith("grown"):
            failures.check(status == 0 and stdout == clean and stderr == b"", what)
        else:
            failures.check(status == 1 and stderr == b"" and
                           stdout == b"Error: could not open file !\nCheck path of file and/or name of file is correct.\n",
                           what)
    restore()


def threads_refused(emulator, knowledge, signals, clean, failures):
    """Worker threads that cannot be made: the run falls back to one thread
    and gives the whole report. An invalid thread setting is refused."""
    command = [emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", signals]
    for call in ("clone3",):
        traced = ["strace", "-f", "-o", "/dev/null", "-e", "trace=" + call,
                  "-e", "inject=%s:error=EAGAIN" % call] + command
        status, stdout, stderr = run(traced, env=dict(os.environ, OMBREL_THREADS="2"))
        failures.runs += 1
        failures.check(status == 0 and stdout == clean and stderr == b"",
                       "%s failing: exit %d, %d bytes, stderr %r" % (call, status, len(stdout), stderr[:200]))
    for setting in ("65", "0", "-1", "abc", "4x"):
        status, stdout, stderr = run(command, env=dict(os.environ, OMBREL_THREADS=setting))
        failures.runs += 1
        failures.check(status == 1 and stdout == b"" and stderr.startswith(b"ombrel_emulator: OMBREL_THREADS must be")
                       and ('"%s"' % setting).encode() in stderr,
                       "OMBREL_THREADS=%r: exit %d, stdout %r, stderr %r" % (setting, status, stdout[:80], stderr))


def other_kinds_of_file(emulator, knowledge, signals, workdir, failures):
    """A FIFO, for the signals or the knowledge, is refused at once as a file
    that could not be opened; a misalignment warning that cannot be written
    fails the run."""
    fifo = os.path.join(workdir, "fifo")
    os.mkfifo(fifo)
    for words, block in (([knowledge, "--file", fifo], b"Error: could not open file !\n"),
                         ([fifo, "--file", signals], b"Error: could not open knowledge file !\n")):
        try:
            status, stdout, stderr = run([emulator, "ombr_classification", "--knowledge_path"] + words)
        except subprocess.TimeoutExpired:
            status, stdout, stderr = None, b"", b"(blocked)"
        failures.runs += 1
        failures.check(status == 1 and stdout.startswith(block) and stderr == b"",
                       "FIFO %r: exit %s, stdout %r, stderr %r" % (words, status, stdout[:80], stderr))
    misaligned = os.path.join(workdir, "misaligned.csv")
    with open(misaligned, "w") as f:
        f.write(",".join(["1"] * 65) + "\n" + ",".join(["1"] * 63) + "\n")
    with open("/dev/full", "wb") as full:
        done = subprocess.run([emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", misaligned],
                              stdout=subprocess.DEVNULL, stderr=full, timeout=TIMEOUT)
    failures.runs += 1
    failures.check(done.returncode == 1, "warning written to /dev/full: exit %d" % done.returncode)


def memory_sweep(emulator, knowledge, signals, clean_file, failures):
    """Address-space limits from the smallest that lets the loader map the
    program upwards.  malloc is told to map every allocation of more than
    2 KiB on its own and to keep no spare heap, so that the limit falls
    between the knowledge file's stream and the knowledge buffer somewhere."""
    command = ["setarch", "-R", emulator, "ombr_classification", "--knowledge_path", knowledge, "--array", "1", "2"]
    env = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.mmap_threshold=2048:glibc.malloc.top_pad=0")
    clean = run(command, env=env)[1]

    def limited(kib):
        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (kib * 1024, kib * 1024))
        return run(command, env=env, preexec=limit)

    low, high = 1024, 1024 * 1024     # the loader fails at low and succeeds at high
    while high - low > 4:
        middle = (low + high) // 2
        if limited(middle)[0] == 127:
            low = middle
        else:
            high = middle
    refusals = 0
    refusal = b"Error: a knowledge that do not match the library has been loaded 125 !\n"
    for kib in range(high - 64, high + 256, 4):
        status, stdout, stderr = limited(kib)
        failures.runs += 1
        what = "ulimit -v %d: exit %d, stdout %r, stderr %r" % (kib, status, stdout[:100], stderr[:200])
        if status == 127:
            continue                    # the loader could not map the program: main never ran
        failures.check(status in (0, 1), what)
        if status == 0:
            failures.check(stdout == clean and stderr == b"", what)
        else:
            failures.check(stderr == b"" and stdout in (refusal, b"Error: could not open knowledge file !\n"
                                                        b"Check path of file and/or name of file is correct.\n"), what)
            refusals += stdout == refusal
    failures.check(refusals > 0, "no address-space limit gave the knowledge refusal (status 125)")

    # Two threads whose stacks or blocks cannot be had: the run reads on one
    # thread, or fails with an error block; never a partial report with exit 0.
    command[command.index("--array"):] = ["--file", signals]
    env["OMBREL_THREADS"] = "2"
    statuses = set()
    for kib in range(high, high + 40 * 1024, 512):
        status, stdout, stderr = limited(kib)
        failures.runs += 1
        statuses.add(status)
        what = "ulimit -v %d, two threads: exit %d, %d bytes, stderr %r" % (kib, status, len(stdout), stderr[:200])
        if status == 0:
            failures.check(stdout == clean_file and stderr == b"", what)
        elif status == 1:
            failures.check(stderr == b"" and (stdout.startswith(b"Error") or ends_with_error_block(stdout, clean_file)),
                           what)
        else:
            failures.check(status == 127, what)
    failures.check(0 in statuses, "no address-space limit let the two-thread run through")


COMMANDS = {
    "whole file, one thread": ["--file", "SIGNALS"],
    "whole file, two threads": ["--file", "SIGNALS"],
    "window": ["--file", "SIGNALS", "--begin", "2", "--end", "5999"],
    "array": ["--array", "1", "2", "3"],
}


@pytest.fixture(scope="module")
def setup(emulator, tmp_path_factory):
    """(emulator, knowledge, signals, the whole file's clean report)."""
    assert shutil.which("strace"), "strace is missing (Debian package strace)"
    # Several blocks of every reader: the line count's, the signal stream's
    # and the knowledge stream's.
    signals = str(tmp_path_factory.mktemp("faults") / "signals.csv")
    rng = random.Random(14)
    with open(signals, "w", encoding="ascii") as f:
        for _ in range(6000):
            f.write(",".join("%.2f" % rng.uniform(-120, 120) for _ in range(64)) + "\n")
    knowledge = str(CLI_DATA / "k23.bin")
    clean = run([emulator.path, "ombr_classification", "--knowledge_path", knowledge, "--file", signals])[1]
    return emulator.path, knowledge, signals, clean


@pytest.fixture
def failures():
    found = Failures()
    yield found
    found.assert_none()


@pytest.mark.parametrize("call", list(ERRORS))
@pytest.mark.parametrize("label", list(COMMANDS))
def test_failing_call(setup, tmp_path, failures, label, call):
    emulator, knowledge, signals, _ = setup
    command = [emulator, "ombr_classification", "--knowledge_path", knowledge] + \
        [signals if word == "SIGNALS" else word for word in COMMANDS[label]]
    # A read error gives the same outcome on one thread and on two.
    env = dict(os.environ, OMBREL_THREADS="1" if "one thread" in label else "2")
    status, clean, stderr = run(command, env=env)
    assert status == 0 and stderr == b""
    inject_all(command, [knowledge, signals], clean, str(tmp_path), failures, label, call, env)


@pytest.mark.parametrize("threads", ["1", "2"])
def test_signal_file_changes(setup, tmp_path, failures, threads):
    emulator, knowledge, signals, _ = setup
    signals = shutil.copy(signals, tmp_path / "signals.csv")
    clean = run([emulator, "ombr_classification", "--knowledge_path", knowledge, "--file", signals])[1]
    changing_files(emulator, knowledge, str(signals), clean, str(tmp_path), failures, threads)


def test_threads_refused(setup, failures):
    threads_refused(*setup, failures)


def test_other_kinds_of_file(setup, tmp_path, failures):
    other_kinds_of_file(*setup[:3], str(tmp_path), failures)


def test_address_space_limits(setup, failures):
    memory_sweep(*setup, failures)
