"""The serial link to a board: a pyserial port (a device such as
/dev/ttyACM0, or a URL such as socket://localhost:5555), or the emulated
MPS2 AN386 board that QEMU runs with its UART on a local socket."""

import contextlib
import os
import socket
import subprocess
import tempfile
import time

from .protocol import DeviceFault

# Seconds one read of the port waits at most: the reader's own deadlines
# are checked this often.
POLL_SECONDS = 0.1
# -icount shift=7: each instruction is 128 ns of the board's virtual time,
# so that its SysTick counts instructions (ports/mps2-an386/port.c).
QEMU_ARGUMENTS = ["-M", "mps2-an386", "-cpu", "cortex-m4", "-display", "none", "-monitor", "none",
                  "-icount", "shift=7", "-semihosting-config", "enable=on,target=native"]


def open_port(url, baud):
    """The pyserial port of url, or DeviceFault("closed") naming it."""
    try:
        import serial
    except ImportError:
        raise DeviceFault("closed", "pyserial is missing: install Debian's python3-serial") from None
    try:
        return serial.serial_for_url(url, baudrate=baud, timeout=POLL_SECONDS, write_timeout=10)
    except (serial.SerialException, OSError, ValueError) as error:
        raise DeviceFault("closed", "cannot open the port %s: %s" % (url, error)) from None


def free_ports(count=1):
    """count different TCP ports on 127.0.0.1 that nothing listens on now."""
    with contextlib.ExitStack() as stack:
        sockets = [stack.enter_context(socket.socket(socket.AF_INET, socket.SOCK_STREAM)) for _ in range(count)]
        for s in sockets:
            s.bind(("127.0.0.1", 0))
        return [s.getsockname()[1] for s in sockets]


class Qemu:
    """qemu-system-arm running `firmware` with UART0 on a TCP server at
    127.0.0.1:port; the board starts once a client connects. extra: more
    arguments, or a function of spare_ports (that many more free ports)
    giving them. Ends it on leaving the with block."""

    def __init__(self, firmware, extra=(), qemu="qemu-system-arm", spare_ports=0):
        if not os.path.isfile(firmware):
            raise DeviceFault("closed", "no firmware file %s" % firmware)
        self.port, *self.spare_ports = free_ports(1 + spare_ports)
        self.log = tempfile.TemporaryFile()
        chardev = "socket,id=uart,host=127.0.0.1,port=%d,server=on,wait=on" % self.port
        command = [qemu, *QEMU_ARGUMENTS, "-chardev", chardev, "-serial", "chardev:uart",
                   *(extra(self.spare_ports) if callable(extra) else extra), "-kernel", os.fspath(firmware)]
        try:
            self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.log,
                                            stderr=subprocess.STDOUT)
        except OSError as error:
            raise DeviceFault("closed", "cannot start %s: %s (Debian: qemu-system-arm)" % (qemu, error)) from None
        self.url = "socket://127.0.0.1:%d" % self.port

    def output(self):
        self.log.seek(0)
        return self.log.read().decode("utf-8", "replace").strip()

    def connect(self, baud, seconds=20.0):
        """The port once QEMU listens; DeviceFault when it ended first."""
        deadline = time.monotonic() + seconds
        while True:
            if self.process.poll() is not None:
                raise DeviceFault("closed", "qemu-system-arm ended with status %d before the board "
                                            "started: %s" % (self.process.returncode, self.output()))
            try:
                return open_port(self.url, baud)
            except DeviceFault:
                if time.monotonic() > deadline:
                    raise DeviceFault("closed", "qemu-system-arm did not open its UART socket") from None
                time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.log.close()
        return False
