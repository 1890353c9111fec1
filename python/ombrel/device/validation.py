"""A validation run: the board classifies the signals window by window,
and every answer is compared with the library's on the desktop."""

import hashlib
import secrets
import time
from dataclasses import dataclass, field
from typing import Optional

import numpy as np

from . import protocol
from .protocol import DeviceFault

# Signals per frame at most (the board's window may be smaller).
WINDOW = 16
# Times the hello is asked for again after a start-up hello crossed the
# request (a board that reset as the port opened).
HELLO_ATTEMPTS = 3
RESTART_SECONDS = 2.0


@dataclass
class Expected:
    """What the desktop library gives for the signals asked."""
    knowledge_path: str
    knowledge_sha256: str
    units: int
    library_id: str
    lines: np.ndarray          # int64 (n,)
    signals: np.ndarray        # float32 (n, 64)
    class_ids: np.ndarray      # uint8 (n,)
    bits: np.ndarray           # uint32 (n, 4): the probabilities' bit patterns


@dataclass
class Outcome:
    expected: Expected
    hello: Optional[protocol.Hello] = None
    answers: list = field(default_factory=list)   # (status, class id, 4 bits, counter) per signal
    fault: Optional[DeviceFault] = None
    seconds: float = 0.0
    sent: int = 0
    received: int = 0

    @property
    def compared(self):
        return len(self.answers)

    def mismatches(self):
        """Indices of the signals compared whose answer differs."""
        e = self.expected
        return [i for i, (status, class_id, *bits, _counter) in enumerate(self.answers)
                if status != 0 or class_id != e.class_ids[i] or tuple(bits) != tuple(e.bits[i])]

    @property
    def passed(self):
        return self.fault is None and self.compared == len(self.expected.lines) and not self.mismatches()


def expected(classifier, knowledge_path, signals, lines, library_id):
    with open(knowledge_path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    c = classifier.classify(signals)
    bits = np.ascontiguousarray(c.probabilities, np.float32).view(np.uint32)
    return Expected(knowledge_path, digest, int(classifier.unit_count_), library_id, np.asarray(lines),
                    signals, np.asarray(c.class_ids, np.uint8), bits)


def _fault_from_frame(kind, payload, what):
    if kind == "h":
        return DeviceFault("reset", "the board reset during the run: it sent its start-up hello in place "
                                    "of the %s" % what)
    if kind == "e":
        return DeviceFault("refused", "%s (%s): the link corrupts or loses bytes"
                           % (protocol.refusal(payload), what))
    return DeviceFault("protocol", "the board sent a %r frame in place of the %s" % (kind, what))


def handshake(port, reader):
    """The board's hello in answer to ours. A start-up hello is skipped; when
    it came, our request may have been lost while the board started, so it
    is sent again if no answer follows within RESTART_SECONDS."""
    for _ in range(HELLO_ATTEMPTS):
        nonce = secrets.randbits(32) | 1
        port.write(protocol.hello_request(nonce))
        wait = None
        while True:
            try:
                kind, payload = reader.next("hello", wait)
            except DeviceFault as fault:
                if wait is None or fault.kind != "timeout":
                    raise
                break
            if kind != "h":
                raise _fault_from_frame(kind, payload, "hello")
            hello = protocol.parse_hello(payload)
            if hello.nonce == nonce:
                return hello
            if hello.nonce == 0:
                wait = min(RESTART_SECONDS, reader.timeout)
    raise DeviceFault("reset", "the board keeps restarting: %d start-up hellos and no answer to a hello"
                      % HELLO_ATTEMPTS)


def check_hello(hello, e):
    if hello.version != protocol.PROTOCOL_VERSION:
        raise DeviceFault("protocol", "the board speaks protocol %d, this tool %d: build the firmware "
                                      "from this release" % (hello.version, protocol.PROTOCOL_VERSION))
    if hello.knowledge_sha256 != e.knowledge_sha256 or hello.units != e.units:
        raise DeviceFault("knowledge", "the board holds another knowledge: SHA-256 %s (N = %d), not "
                                       "that of %s (%s, N = %d); flash a firmware built with it"
                          % (hello.knowledge_sha256, hello.units, e.knowledge_path, e.knowledge_sha256, e.units))
    if hello.init_status != 0:
        raise DeviceFault("knowledge", "the board's library refused its knowledge (classifier_init "
                                       "status %d)" % hello.init_status)


def _exchange(port, reader, start, rows, lines):
    what = "answer for lines %d to %d" % (lines[start], lines[start + len(rows) - 1])
    port.write(protocol.classify_request(start, rows))
    kind, payload = reader.next(what)
    if kind != "r":
        raise _fault_from_frame(kind, payload, what)
    first, answers = protocol.parse_results(payload)
    if first != start or len(answers) != len(rows):
        raise DeviceFault("protocol", "the board answered %d signals from number %d in place of the %s"
                          % (len(answers), first, what))
    return answers


def run(port, e, timeout, progress=None):
    """Validates the board on port against e; never raises DeviceFault:
    the outcome holds the fault and what was compared before it."""
    outcome = Outcome(e)
    reader = protocol.FrameReader(port, timeout)
    began = time.monotonic()
    try:
        port.reset_input_buffer()
        outcome.hello = handshake(port, reader)
        check_hello(outcome.hello, e)
        window = max(1, min(WINDOW, outcome.hello.window))
        for start in range(0, len(e.lines), window):
            rows = e.signals[start:start + window]
            outcome.answers += _exchange(port, reader, start, rows, e.lines)
            outcome.sent += len(protocol.classify_request(start, rows))
            if progress is not None:
                progress(outcome.compared, len(e.lines))
    except DeviceFault as fault:
        outcome.fault = fault
    outcome.seconds = time.monotonic() - began
    outcome.received = reader.received
    return outcome
