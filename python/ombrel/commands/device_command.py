"""python3 -m ombrel.device validate: streams signals to a board running
the validation firmware, compares every answer with the library on the
desktop, and reports the differences and the cost per inference.

Exit status 0 only when every signal asked for was compared and all are
bit-identical; 1 otherwise, after a fault (named on standard error, with
what was compared before it) or on a mistake in the arguments."""

import argparse
import contextlib
import os
import sys

PROGRAM = "python3 -m ombrel.device"


def parser():
    p = argparse.ArgumentParser(prog=PROGRAM, description="Validate a board against the library on the "
                                                          "desktop over its serial port.")
    sub = p.add_subparsers(dest="command", required=True)
    v = sub.add_parser("validate", help="send signals to a board running examples/device/validate and "
                                        "compare its answers bit for bit")
    link = v.add_mutually_exclusive_group(required=True)
    link.add_argument("--port", help="serial device (/dev/ttyACM0) or pyserial URL (socket://localhost:5555)")
    link.add_argument("--qemu", metavar="FIRMWARE.elf", help="run the firmware on QEMU's mps2-an386 board "
                                                             "instead of a real one")
    v.add_argument("knowledge", help="the knowledge file the firmware was built with")
    v.add_argument("signals", help="signal file, read as the emulator reads it")
    v.add_argument("--begin", type=int, help="first line to send (counted from 1)")
    v.add_argument("--end", type=int, help="last line to send")
    v.add_argument("--clock-hz", type=float, metavar="HZ", help="the core clock, for inferences per second")
    v.add_argument("--baud", type=int, default=115200, help="baud rate of a serial device (default 115200)")
    v.add_argument("--timeout", type=float, default=10.0, metavar="SECONDS",
                   help="longest wait for an answer before the board counts as stopped (default 10)")
    v.add_argument("--json", metavar="OUT", help="write the report as JSON")
    v.add_argument("--html", metavar="OUT", help="write the report as an HTML page")
    return p


def _expected(args, found):
    """What the desktop library gives, or SystemExit with the error; the
    signal file's warnings go to found."""
    import ombrel
    from ombrel._engine import engine
    from ombrel.checks.run_warnings import read_with_warnings
    from ombrel.device.validation import expected
    try:
        classifier = ombrel.Classifier(args.knowledge)
        signals, lines = read_with_warnings(ombrel.read_signals, args.signals, found, begin=args.begin,
                                            end=args.end)
    except (OSError, ombrel.KnowledgeError, ombrel.SignalFileError) as error:
        raise SystemExit("error: %s" % error) from None
    if len(lines) == 0:
        raise SystemExit("error: %s holds no signal in the lines asked for" % args.signals)
    return expected(classifier, args.knowledge, signals, lines, engine().LIBRARY_ID)


def _board(args, stack):
    """The open port: the device or URL given, or QEMU started here."""
    from ombrel.device.link import Qemu, open_port
    if args.qemu is None:
        return open_port(args.port, args.baud)
    qemu = stack.enter_context(Qemu(args.qemu))
    return qemu.connect(args.baud)


def _write(path, writer, report):
    try:
        writer(path, report)
    except OSError as error:
        print("error: cannot write %s: %s" % (path, error.strerror or error), file=sys.stderr)
        return False
    return True


def validate(args):
    from ombrel.device import page, report as reports, validation
    from ombrel.device.protocol import DeviceFault
    from ombrel.report_warnings import WarningList
    found = WarningList()
    e = _expected(args, found)
    with contextlib.ExitStack() as stack:
        try:
            port = stack.enter_context(_board(args, stack))
        except DeviceFault as fault:
            raise SystemExit("error: %s" % fault) from None
        outcome = validation.run(port, e, args.timeout)
    report = dict(reports.as_json(outcome, os.fsdecode(args.signals), args.clock_hz), warnings=found.to_list())
    print("\n".join(reports.text(report)))
    for line in found.lines():
        print(line, file=sys.stderr)
    written = all(_write(path, writer, report) for path, writer in
                  ((args.json, reports.write_json), (args.html, page.write_html)) if path)
    if outcome.fault is not None:
        print("error: %s (%s); compared before it: %d of %d signals, %d bit-identical"
              % (outcome.fault, outcome.fault.kind, outcome.compared, len(e.lines), report["identical"]),
              file=sys.stderr)
    return 0 if outcome.passed and written else 1


def main(argv=None):
    args = parser().parse_args(argv)
    if args.clock_hz is not None and not args.clock_hz > 0:
        parser().error("--clock-hz must be a positive frequency")
    if args.timeout <= 0:
        parser().error("--timeout must be positive")
    try:
        return validate(args)
    except SystemExit as stop:
        if isinstance(stop.code, str):
            print(stop.code, file=sys.stderr)
            return 1
        raise
