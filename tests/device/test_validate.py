"""Board validation under QEMU: python3 -m ombrel.device validate against
the validation firmware (examples/device/validate) on the emulated MPS2
AN386 board, bit-identical on the device test's knowledges and signals, and
each fault of a run named: bytes lost or changed on the link in either
direction (a proxy on 127.0.0.1 between the tool and QEMU's UART socket), a
firmware holding another knowledge, a board that stops, and one that resets.

tools/test_device.sh builds the firmwares and runs this module with
OMBREL_DEVICE_DIR (its build directory) and OMBREL_VALIDATE_FIRMWARE (the
preset's firmware, holding the EMG knowledge)."""
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
from pathlib import Path

import pytest

from conftest import EMG, ROOT

DEVICE = Path(os.environ.get("OMBREL_DEVICE_DIR", ROOT / "build/cortex-m4/device"))
FIRMWARE = Path(os.environ.get("OMBREL_VALIDATE_FIRMWARE",
                               ROOT / "build/cortex-m4/examples/device/validate/validate.elf"))
pytestmark = pytest.mark.skipif(not FIRMWARE.is_file() or not shutil.which("qemu-system-arm"),
                                reason="needs the cortex-m4 preset's build and qemu-system-arm")

# The host's frames of 16 signals (sync, type "C", length ...) and where
# the third begins.
SIGNAL_FRAME_START = b"\xa5\x5aC"
WINDOW_FRAME = 2 + 3 + 6 + 16 * 256 + 4
THIRD_WINDOW = 2 * WINDOW_FRAME


def validate(*words):
    return subprocess.run([sys.executable, "-m", "ombrel.device", "validate", *map(str, words)],
                          capture_output=True, text=True, timeout=1800)


def test_emg_example_bit_identical(tmp_path):
    result = validate("--qemu", FIRMWARE, EMG / "knowledge.bin", EMG / "signals.csv", "--clock-hz", "80e6",
                      "--json", tmp_path / "report.json", "--html", tmp_path / "report.html")
    assert result.returncode == 0, result.stdout + result.stderr
    assert "\n3489 of 3489 signals bit-identical\n" in result.stdout
    assert "instructions per inference (instructions counted by QEMU under -icount, not cycles)" in result.stdout
    report = json.loads((tmp_path / "report.json").read_text())
    assert report["passed"] and report["compared"] == report["identical"] == 3489
    assert report["board"]["knowledge_sha256"] == report["desktop"]["knowledge_sha256"]
    counter = report["counter"]
    # tools/device_cost.sh counts 11,500 instructions per call with N = 23,
    # about 20,000 when a tanh takes the fallback.
    assert 9000 < counter["min"] <= counter["median"] < 13000 < counter["max"] < 30000
    assert counter["inferences_per_second"]["median"] == pytest.approx(80e6 / counter["median"])
    page = (tmp_path / "report.html").read_text()
    assert "3489 of 3489 bit-identical" in page and "<script" not in page


@pytest.mark.parametrize("name", ["emg", "n0", "n11", "n23"])
def test_special_signals_bit_identical(name):
    firmware, knowledge = ((FIRMWARE, EMG / "knowledge.bin") if name == "emg" else
                           (DEVICE / ("validate_%s.elf" % name), DEVICE / ("knowledge_%s.bin" % name)))
    result = validate("--qemu", firmware, knowledge, DEVICE / "special_signals.csv")
    assert result.returncode == 0, result.stdout + result.stderr
    assert "\n512 of 512 signals bit-identical\n" in result.stdout
    # The reader's warning about NaN and infinities reaches standard error.
    assert "warning: 198 signals hold NaN or infinity, the first on line 3" in result.stderr


class Proxy:
    """Passes the bytes between one client on 127.0.0.1 and QEMU's UART
    socket. to_board / to_host: {offset: action}, action "drop", "flip" or
    a monitor command that QEMU carries out before the byte at offset is
    passed on. Offsets to the board count from the first signal frame's
    first byte (hello requests before it may be repeated), to the host from
    the start."""

    def __init__(self, board_port, monitor_port=None, to_board=None, to_host=None):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.board_port, self.monitor_port = board_port, monitor_port
        self.to_board, self.to_host = dict(to_board or {}), dict(to_host or {})
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        host, _ = self.server.accept()
        board = socket.create_connection(("127.0.0.1", self.board_port))
        threading.Thread(target=self._pass, args=(board, host, self.to_host, None), daemon=True).start()
        self._pass(host, board, self.to_board, SIGNAL_FRAME_START)

    def _monitor(self, command):
        """Runs a monitor command and returns once QEMU has carried it out
        (its prompt comes back)."""
        with socket.create_connection(("127.0.0.1", self.monitor_port)) as monitor:
            said = b""
            for prompts in (1, 2):
                while said.count(b"(qemu)") < prompts:
                    said += monitor.recv(4096) or b"(qemu)" * 2
                if prompts == 1:
                    monitor.sendall(command.encode() + b"\n")

    def _pass(self, source, sink, actions, start):
        try:
            self._pass_bytes(source, sink, actions, start)
        except OSError:   # the other end closed: the run is over
            pass

    def _pass_bytes(self, source, sink, actions, start):
        seen, offset = b"", None if start else 0
        while data := source.recv(65536):
            out = bytearray()
            for byte in data:
                if offset is None:
                    seen += bytes([byte])
                    offset = len(start) - 1 if seen.endswith(start) else None
                action = actions.pop(offset, None) if offset is not None else None
                offset = None if offset is None else offset + 1
                if action == "flip":
                    byte ^= 0x10
                elif action not in ("drop", None):
                    self._monitor(action)
                if action != "drop":
                    out.append(byte)
            sink.sendall(out)


@pytest.fixture
def board():
    """QEMU running the EMG firmware, with a monitor on a local socket."""
    from ombrel.device.link import Qemu
    def monitor(ports):
        return ["-chardev", "socket,id=monitor,host=127.0.0.1,port=%d,server=on,wait=off" % ports[0],
                "-mon", "chardev=monitor,mode=readline"]
    with Qemu(FIRMWARE, monitor, spare_ports=1) as qemu:
        yield qemu, qemu.spare_ports[0]


FAULTS = {
    "byte lost to the board": ({"to_board": {THIRD_WINDOW + 100: "drop"}},
                               "(refused)", "its bytes stopped coming before its end"),
    "byte changed to the board": ({"to_board": {THIRD_WINDOW + 100: "flip"}},
                                  "(refused)", "its CRC did not match"),
    "byte lost to the host": ({"to_host": {1200: "drop"}}, "(corrupt)", "the link"),
    "byte changed to the host": ({"to_host": {1200: "flip"}}, "(corrupt)", "the link"),
    "board stops": ({"to_board": {THIRD_WINDOW: "stop"}}, "(timeout)", "the board stopped answering"),
    "board resets": ({"to_board": {THIRD_WINDOW: "system_reset"}}, "(reset)", "the board reset during the run"),
}
# Seconds the tool waits for an answer: longer than the board takes to give
# up on a frame whose bytes stopped (ports/mps2-an386/port.c); for the board
# that stops, the tool's default, which a busy host's QEMU meets on start.
TIMEOUTS = {"board stops": 10}


@pytest.mark.parametrize("fault", FAULTS)
def test_link_fault_named(board, fault):
    (qemu, monitor), (actions, kind, words) = board, FAULTS[fault]
    proxy = Proxy(qemu.port, monitor, **actions)
    result = validate("--port", "socket://127.0.0.1:%d" % proxy.port, "--timeout", TIMEOUTS.get(fault, 30),
                      EMG / "knowledge.bin", EMG / "signals.csv", "--end", "160")
    assert result.returncode == 1
    error = result.stderr.strip().splitlines()[-1]
    assert kind in error and words in error, result.stderr
    compared = int(error.split("compared before it: ")[1].split(" of 160")[0])
    # A fault on the way to the board comes with the third window.
    assert compared == 32 if "to_board" in actions else 0 <= compared < 160


def test_firmware_with_another_knowledge():
    result = validate("--qemu", DEVICE / "validate_n11.elf", EMG / "knowledge.bin", EMG / "signals.csv")
    assert result.returncode == 1
    assert "(knowledge)" in result.stderr and "the board holds another knowledge" in result.stderr
    assert "compared before it: 0 of 3489 signals" in result.stderr
