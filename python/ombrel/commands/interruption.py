"""How a command's process ends on Ctrl-C: as any command-line program
does, by the signal itself, without the interpreter's traceback. The shell
that ran it then sees an interrupted command (and stops a loop around it);
where a process cannot die by a signal (Windows), the status is 130, the
shells' number for it. Output files are never left half-written: the
writers remove their temporary files on the way out (file_paths)."""
import os
import signal
import sys

INTERRUPTED_STATUS = 128 + 2  # 128 + SIGINT's number, as shells report it


def run_command(main, **arguments):
    """sys.exit with main's status; on KeyboardInterrupt, the death above."""
    try:
        status = main(**arguments)
    except KeyboardInterrupt:
        sys.stderr.flush()
        if os.name == "posix":
            signal.signal(signal.SIGINT, signal.SIG_DFL)
            os.kill(os.getpid(), signal.SIGINT)
        sys.exit(INTERRUPTED_STATUS)
    sys.exit(status)
