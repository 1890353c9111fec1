"""Files as every tool of the package reads and writes them.

Reading: an input must be a regular file. A FIFO, device or directory is
refused at once, as the command refuses it: opening a FIFO would wait for a
writer. Writing: a file is written whole or not at all. Its bytes go to a
temporary file in the same folder, which is renamed into place once
complete; any failure removes it, so the path keeps what it held before.
A path that is not UTF-8 works and is shown escaped. This module imports
nothing of the package.
"""

import contextlib
import errno
import os
import stat
import sys
import tempfile


# The ending of the temporary files written beside their target.
TEMPORARY_SUFFIX = ".part"


def shown_path(path) -> str:
    """A path as text for messages and pages: bytes that are not UTF-8 and
    characters that do not print, escaped; never an error."""
    text = os.fsdecode(path) if isinstance(path, (bytes, os.PathLike)) else str(path)
    shown = text.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
    return "".join(c if c.isprintable() else c.encode("unicode_escape").decode("ascii") for c in shown)


def refuse_unless_regular(path, what="input"):
    """OSError at once when path names something other than a regular file
    (a FIFO, a device, a directory). A path that does not exist is left to
    the open, whose error names it."""
    try:
        mode = os.stat(path).st_mode
    except OSError:
        return
    if not stat.S_ISREG(mode):
        kind = ("a FIFO" if stat.S_ISFIFO(mode) else "a directory" if stat.S_ISDIR(mode)
                else "a device" if stat.S_ISCHR(mode) or stat.S_ISBLK(mode) else "not a regular file")
        raise OSError(errno.EINVAL, "%s is %s, never read: give the path of a file" % (what, kind), path)


def read_regular_bytes(path, what="input") -> bytes:
    """The bytes of a regular file; a FIFO, device or directory is refused
    before anything waits on it."""
    fd = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0))
    try:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            os.close(fd)
            fd = None
            refuse_unless_regular(path, what)
            raise OSError(errno.EINVAL, "%s is not a regular file" % what, path)
        with open(fd, "rb", closefd=False) as f:
            return f.read()
    finally:
        if fd is not None:
            os.close(fd)


def _file_mode(path):
    """What open() would leave: an existing file's own mode, or for a new
    one 0666 less the process's umask."""
    try:
        return stat.S_IMODE(os.stat(path).st_mode)
    except OSError:
        mask = os.umask(0)
        os.umask(mask)
        return 0o666 & ~mask


@contextlib.contextmanager
def _in_place(path, mode, **text):
    """An existing target that is not a regular file (a device such as
    /dev/null or /dev/full, a FIFO with a reader) is written as it is: it
    cannot be replaced. A FIFO without a reader fails at once."""
    fd = os.open(path, os.O_WRONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0))
    if hasattr(os, "set_blocking"):
        os.set_blocking(fd, True)
    with open(fd, mode, **text) as f:
        yield f


@contextlib.contextmanager
def replacing(path, mode="wb", **text):
    """A file object that writes path whole or not at all: '-' is standard
    output; otherwise a temporary file beside path, renamed over it when the
    block ends without an error (and the bytes are flushed to the disk),
    removed when it does not."""
    if path == "-":
        yield sys.stdout.buffer if "b" in mode else sys.stdout
        return
    path = os.fsdecode(path)
    with _named(path):
        try:
            in_place = not stat.S_ISREG(os.stat(path).st_mode)
        except FileNotFoundError:
            in_place = False
        if in_place:
            with _in_place(path, mode, **text) as f:
                yield f
            return
        fd, temporary = _temporary_beside(path)
        try:
            with open(fd, mode, **text) as f:
                yield f
                f.flush()
                os.fsync(f.fileno())
            os.chmod(temporary, _file_mode(path))
            os.replace(temporary, path)
        except BaseException:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
            raise


def _temporary_beside(path):
    folder, name = os.path.split(path)
    return tempfile.mkstemp(dir=folder or os.curdir, prefix="." + name[:64] + ".", suffix=TEMPORARY_SUFFIX)


@contextlib.contextmanager
def _named(path):
    """An OSError of writing is named by the path written, never by a
    temporary file nor by none; one that names another file stays so."""
    try:
        yield
    except OSError as error:
        if error.filename is not None and not os.fsdecode(error.filename).endswith(TEMPORARY_SUFFIX):
            raise
        raise OSError(error.errno, error.strerror or str(error), path) from None


def write_bytes_whole(path, data: bytes) -> int:
    """Writes data to path whole or not at all; returns its length."""
    with replacing(path, "wb") as f:
        f.write(data)
    return len(data)


def write_pair_whole(first_path, first: bytes, second_path, second: bytes):
    """Two files that go together (a .c and its .h): both are written to
    temporary files, and renamed into place only when both are complete;
    a failure leaves neither new file."""
    staged = []
    try:
        for path, data in ((os.fsdecode(first_path), first), (os.fsdecode(second_path), second)):
            with _named(path):
                fd, temporary = _temporary_beside(path)
                staged.append((temporary, path))
                with open(fd, "wb") as f:
                    f.write(data)
                    f.flush()
                    os.fsync(f.fileno())
                os.chmod(temporary, _file_mode(path))
        for temporary, path in staged:
            with _named(path):
                os.replace(temporary, path)
    finally:
        for temporary, _ in staged:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
