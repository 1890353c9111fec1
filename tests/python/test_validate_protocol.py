"""The validation firmware's protocol, on the desktop: validate.c and
frame.c built with a port on standard input and output
(validate_desktop_port.c), fed random sequences of frames, whole or
damaged, and noise between them. Its answers, read by the host's reader
(ombrel.device.protocol), must be exactly those predicted: the library's
bits for each window, the hello for each request, and a refusal naming the
reason for each damaged frame. zlib's CRC-32 is the reference for the
board's."""
import io
import os
import select
import shutil
import struct
import subprocess
import sys
import zlib

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from conftest import EMG, PYTHON_DIR, ROOT

CC = shutil.which("gcc")
LIBRARY = PYTHON_DIR.parent / "library" / "libombrel_classifier.a"
VALIDATE = ROOT / "examples" / "device" / "validate"


@pytest.fixture(scope="module")
def board(tmp_path_factory):
    if CC is None or not LIBRARY.is_file():
        pytest.skip("needs gcc and the build's library")
    out = tmp_path_factory.mktemp("validate")
    subprocess.run([sys.executable, "-m", "ombrel.knowledge", "export-c", str(EMG / "knowledge.bin"),
                    "--name", "validate_knowledge", "--output-dir", str(out)], check=True, capture_output=True)
    subprocess.run([CC, "-std=c11", "-O2", "-ffp-contract=off", "-Wall", "-Wextra", "-Wconversion", "-Werror",
                    "-I", str(ROOT / "library"), "-I", str(VALIDATE), "-I", str(out),
                    str(VALIDATE / "validate.c"), str(VALIDATE / "frame.c"),
                    str(ROOT / "tests" / "python" / "validate_desktop_port.c"), str(out / "validate_knowledge.c"),
                    str(LIBRARY), "-lm", "-o", str(out / "validate")], check=True)
    return out / "validate"


def frame(kind, payload, length=None):
    head = struct.pack("<BH", kind, len(payload) if length is None else length)
    return b"\xa5\x5a" + head + payload + struct.pack("<I", zlib.crc32(head + payload))


def window(first, bits):
    return struct.pack("<IH", first, len(bits)) + bits.astype("<u4").tobytes()


# A window: its signal count and the seed of its random bit patterns.
signals = st.tuples(st.sampled_from([1, 2, 16]), st.integers(0, 2**32 - 1))
events = st.one_of(
    st.tuples(st.just("signals"), signals),
    st.tuples(st.just("hello"), st.integers(0, 2**32 - 1)),
    st.tuples(st.just("damaged"), signals, st.integers(0, 10**6)),
    st.tuples(st.just("count"), st.sampled_from([0, 17, 2])),
    st.tuples(st.just("unknown"), st.sampled_from(b"Ahrx")),
    st.tuples(st.just("too long"), st.integers(4 + 16 * 256 + 3, 0xFFFF)),
)


def sent_and_expected(event, first, classifier):
    """The bytes of one event and the answer predicted: (type, payload
    check) where the check is the payload itself or a refusal's reason."""
    kind, *rest = event
    if kind == "hello":
        return frame(ord("H"), struct.pack("<I", rest[0])), ("h", rest[0])
    if kind in ("signals", "damaged"):
        count, seed = rest[0]
        bits = np.random.default_rng(seed).integers(0, 2**32, (count, 64), dtype=np.uint32)
        data = frame(ord("C"), window(first, bits))
        if kind == "damaged":
            at = 5 + rest[1] % (len(data) - 5)   # in the payload or the CRC
            data = data[:at] + bytes([data[at] ^ 0x40]) + data[at + 1:]
            return data, ("e", (1, ord("C"), 6 + 256 * len(bits)))
        c = classifier.classify(bits.view(np.float32))
        rows = [(0, int(k), *map(int, p.view(np.uint32)), 0) for k, p in zip(c.class_ids, c.probabilities)]
        return data, ("r", (first, rows))
    if kind == "count":
        bits = np.zeros((1, 64), np.uint32)
        payload = struct.pack("<IH", first, rest[0]) + bits.tobytes()
        return frame(ord("C"), payload), ("e", (5, ord("C"), len(payload)))
    if kind == "unknown":
        return frame(rest[0], b"xyz"), ("e", (4, rest[0], 3))
    return b"\xa5\x5aC" + struct.pack("<H", rest[0]), ("e", (2, ord("C"), rest[0]))


@settings(max_examples=40, deadline=None)
@given(st.lists(st.tuples(events, st.binary(max_size=6)), max_size=8), st.booleans())
def test_board_answers_every_frame(board, sequence, truncate_last):
    import ombrel
    from ombrel.device import protocol
    classifier = ombrel.Classifier(EMG / "knowledge.bin")
    stream, expected = b"", [("h", 0)]
    for number, (event, noise) in enumerate(sequence):
        data, answer = sent_and_expected(event, number, classifier)
        stream += noise.replace(b"\xa5", b"") + data
        expected.append(answer)
    if truncate_last:
        stream += frame(ord("C"), window(0, np.zeros((1, 64), np.uint32)))[:100]
        expected.append(("e", (3, ord("C"), 262)))
    done = subprocess.run([str(board)], input=stream, capture_output=True, timeout=60)
    assert done.returncode == 0
    reader = protocol.FrameReader(io.BytesIO(done.stdout), timeout=0)
    for kind, check in expected:
        got, payload = reader.next("the predicted answer")
        assert got == kind
        if kind == "h":
            hello = protocol.parse_hello(payload)
            assert (hello.nonce, hello.units, hello.init_status, hello.window) == (check, 23, 0, 16)
        elif kind == "r":
            assert protocol.parse_results(payload) == (check[0], check[1])
        else:
            assert struct.unpack("<BBH", payload) == check
    assert reader.received == len(done.stdout)


class PipePort:
    """The desktop firmware as a pyserial-like port."""

    def __init__(self, program):
        self.process = subprocess.Popen([str(program)], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def write(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def read(self, count):
        ready, _, _ = select.select([self.process.stdout], [], [], 0.1)
        return os.read(self.process.stdout.fileno(), count) if ready else b""

    def reset_input_buffer(self):
        pass

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=60)


def test_run_reports_each_difference(board):
    """A whole run against the desktop firmware, the desktop's expected bits
    changed for two signals: those two, and only they, are reported, with
    both bit patterns, and the run fails."""
    import ombrel
    from ombrel.device import report, validation
    classifier = ombrel.Classifier(EMG / "knowledge.bin")
    X, lines = ombrel.read_signals(EMG / "signals.csv", 1, 40)
    e = validation.expected(classifier, str(EMG / "knowledge.bin"), X, lines, "desktop")
    board_bits = e.bits.copy()
    e.bits[5, 2] ^= 1
    e.class_ids[33] = e.class_ids[33] % 4 + 1
    port = PipePort(board)
    try:
        outcome = validation.run(port, e, timeout=30)
    finally:
        port.close()
    assert outcome.fault is None and outcome.compared == 40 and not outcome.passed
    assert outcome.mismatches() == [5, 33]
    text = "\n".join(report.text(report.as_json(outcome, "signals.csv")))
    assert "38 of 40 signals bit-identical" in text
    assert ("line 6 differs: board status 0, class %d, probabilities %s; desktop class %d, probabilities %s"
            % (e.class_ids[5], " ".join("%08x" % b for b in board_bits[5]), e.class_ids[5],
               " ".join("%08x" % b for b in e.bits[5]))) in text
    assert "line 34 differs" in text
