"""The validation firmware's serial protocol, host side
(examples/device/validate/validate.c and frame.h describe the board's).

Frame: 0xA5 0x5A, type (1 byte), length (2 bytes), payload, CRC-32 (zlib's)
of type, length and payload; every integer little-endian."""

import struct
import time
import zlib
from dataclasses import dataclass

SYNC = b"\xa5\x5a"
PROTOCOL_VERSION = 1
SIGNAL_BYTES = 256
ANSWER = struct.Struct("<iH4II")   # status, class id, 4 probability bits, counter
COUNTER_UNITS = {0: "cycles", 1: "instructions"}
REFUSALS = {1: "its CRC did not match", 2: "it was longer than the board's buffer",
            3: "its bytes stopped coming before its end", 4: "the board does not know its type",
            5: "its length did not fit its type"}


class DeviceFault(Exception):
    """A run that could not go on. kind: "timeout", "reset", "knowledge",
    "corrupt", "refused", "closed" or "protocol"."""

    def __init__(self, kind, message):
        super().__init__(message)
        self.kind = kind


def frame(kind, payload=b""):
    """The bytes of one frame of type kind (a one-character str)."""
    head = struct.pack("<BH", ord(kind), len(payload))
    return SYNC + head + payload + struct.pack("<I", zlib.crc32(head + payload))


def hello_request(nonce):
    return frame("H", struct.pack("<I", nonce))


def classify_request(first, signals):
    """signals: float32 (count, 64); first: the number of the first."""
    return frame("C", struct.pack("<IH", first, len(signals)) + signals.astype("<f4").tobytes())


@dataclass
class Hello:
    nonce: int
    version: int
    counter_unit: str
    window: int
    units: int
    init_status: int
    library_id: str
    knowledge_sha256: str
    board: str
    compiler: str
    flags: str


def parse_hello(payload):
    try:
        nonce, version, unit, window, units, status = struct.unpack_from("<IBBHHi", payload)
        texts, at = [], 14
        for _ in range(5):
            size = payload[at]
            texts.append(payload[at + 1:at + 1 + size].decode("ascii", "replace"))
            at += 1 + size
    except (struct.error, IndexError):
        raise DeviceFault("protocol", "the board's hello is too short (%d bytes)" % len(payload)) from None
    return Hello(nonce, version, COUNTER_UNITS.get(unit, "unit %d" % unit), window, units, status, *texts)


def parse_results(payload):
    """(first, rows): rows of (status, class id, 4 probability bits, counter)."""
    if len(payload) < 6 or (len(payload) - 6) % ANSWER.size:
        raise DeviceFault("protocol", "an answer of %d bytes is no whole number of results" % len(payload))
    first, count = struct.unpack_from("<IH", payload)
    rows = [ANSWER.unpack_from(payload, 6 + i * ANSWER.size) for i in range(count)]
    if len(rows) * ANSWER.size != len(payload) - 6:
        raise DeviceFault("protocol", "an answer announces %d results but holds %d"
                          % (count, (len(payload) - 6) // ANSWER.size))
    return first, rows


def refusal(payload):
    reason, kind, length = struct.unpack_from("<BBH", payload.ljust(4, b"\0"))
    what = "a frame" if kind == 0 else "a %r frame of %d bytes" % (chr(kind), length)
    return "the board refused %s: %s" % (what, REFUSALS.get(reason, "reason %d" % reason))


class FrameReader:
    """Reads frames from a pyserial-like port (read(n) returning what came
    within the port's timeout). A frame must be whole within `timeout`
    seconds of its first byte; between frames it waits `timeout` too."""

    def __init__(self, port, timeout):
        self.port = port
        self.timeout = timeout
        self.received = 0

    def _read(self, count, deadline, kind, message):
        data = b""
        while len(data) < count:
            try:
                chunk = self.port.read(count - len(data))
            except Exception as error:   # pyserial's SerialException, an OSError
                raise DeviceFault("closed", "the link to the board closed (%s)" % error) from None
            self.received += len(chunk)
            data += chunk
            if len(data) < count and time.monotonic() > deadline:
                raise DeviceFault(kind, message)
        return data

    def next(self, waiting_for, timeout=None):
        """(type, payload) of the next frame. waiting_for names the answer
        awaited, for the timeout's message; timeout: the wait for its first
        byte, by default the reader's."""
        timeout = self.timeout if timeout is None else timeout
        deadline = time.monotonic() + timeout
        stopped = "the board stopped answering: no %s within %g s" % (waiting_for, timeout)
        previous, skipped = b"", 0
        while True:
            if skipped:
                stopped = ("no %s within %g s, only %d bytes that start no frame: the link corrupts "
                           "bytes" % (waiting_for, timeout, skipped))
            byte = self._read(1, deadline, "corrupt" if skipped else "timeout", stopped)
            if previous + byte == SYNC:
                break
            skipped += 1
            previous = byte
        truncated = ("a frame from the board stopped before its end (%s): bytes were lost on the link"
                     % waiting_for)
        deadline = time.monotonic() + self.timeout
        head = self._read(3, deadline, "corrupt", truncated)
        kind, length = struct.unpack("<BH", head)
        body = self._read(length + 4, deadline, "corrupt", truncated)
        payload, crc = body[:-4], struct.unpack("<I", body[-4:])[0]
        if zlib.crc32(head + payload) != crc:
            raise DeviceFault("corrupt", "a frame from the board failed its CRC (%s): "
                                         "the link corrupts bytes" % waiting_for)
        return chr(kind), payload
