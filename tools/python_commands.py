"""Writes a command for every entry of the ombrel package that runs with
`python3 -m`, bound to one interpreter, so that nobody has to know which
python3 has the project's packages:

    python3 tools/python_commands.py python/ombrel build/release/bin \
        --interpreter /usr/bin/python3 --package-dir ../python

The entries are the names `python3 -m ombrel.NAME` runs: the package's
subpackages that hold __main__.py and its modules with an
`if __name__ == "__main__":` block. Each gets the command "ombrel-NAME"
(ombrel.knowledge -> ombrel-knowledge), so that the list follows the package
as entries are added. A command is a small Python script whose first line
names the interpreter; it puts the package directory (relative to the
command's own, after symbolic links) first on the path, for its own process
and the ones it starts, unless the interpreter looks there already
(/usr/lib/python3/dist-packages for Debian's), and runs the module as
`python3 -m` does. Commands this script wrote before for entries that are
gone are removed.

With --man-dir, also writes each command's manual page (section 1, gzip
-9n as Debian keeps them) from its --help text, run with the package as
written (so the package must import there).
"""
import argparse
import gzip
import os
import re
import subprocess
import sys

MARK = "# Written by tools/python_commands.py"


def runnable_modules(package_dir):
    """[(command, module)] sorted by command, for the package in package_dir
    (its directory name is the package's name): its subpackages that hold
    __main__.py and its modules with a main block, the names that
    `python3 -m PACKAGE.NAME` runs."""
    root = os.path.abspath(package_dir)
    package, found = os.path.basename(root), {}
    for name in sorted(os.listdir(root)):
        path = os.path.join(root, name)
        if os.path.isfile(os.path.join(path, "__init__.py")) and os.path.isfile(os.path.join(path, "__main__.py")):
            _add(found, package + "." + name)
        elif name.endswith(".py") and not name.startswith("_") and _has_main(path):
            _add(found, package + "." + name[:-3])
    return sorted(found.items())


def _has_main(path):
    with open(path, encoding="utf-8") as source:
        return re.search(r"^if __name__ == ['\"]__main__['\"]:", source.read(), re.M) is not None


def _add(found, module):
    command = "ombrel-" + module.rsplit(".", 1)[1].replace("_", "-")
    if command in found:
        sys.exit("python_commands.py: %s and %s would both be %s" % (found[command], module, command))
    found[command] = module


def wrapper(interpreter, module, package_dir):
    return """#!{interpreter}
{mark}: `python3 -m {module}` run by the interpreter that has the
# package's requirements, with the package in {package_dir} (relative to this file).
import os
import runpy
import sys

package = os.path.normpath(os.path.join(os.path.dirname(os.path.realpath(__file__)), {package_dir!r}))
if package not in sys.path:
    sys.path.insert(0, package)
    os.environ["PYTHONPATH"] = os.pathsep.join(p for p in (package, os.environ.get("PYTHONPATH")) if p)
runpy.run_module({module!r}, run_name="__main__", alter_sys=True)
""".format(interpreter=interpreter, mark=MARK, module=module, package_dir=package_dir)


def write_commands(commands, out_dir, interpreter, package_dir):
    os.makedirs(out_dir, exist_ok=True)
    for command, module in commands:
        path = os.path.join(out_dir, command)
        text = wrapper(interpreter, module, package_dir)
        if not os.path.exists(path) or open(path, encoding="utf-8").read() != text:
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        os.chmod(path, 0o755)
    wanted = {command for command, _ in commands}
    for name in os.listdir(out_dir):
        path = os.path.join(out_dir, name)
        if name.startswith("ombrel-") and name not in wanted and _written_here(path):
            os.remove(path)


def _written_here(path):
    try:
        with open(path, encoding="utf-8") as old:
            return MARK in old.read(400)
    except (OSError, UnicodeDecodeError):
        return False


def _roff(text):
    escaped = text.replace("\\", "\\e").replace("-", "\\-")
    return "\n".join(("\\&" + line) if line.startswith((".", "'")) else line for line in escaped.split("\n"))


def man_page(command, module, help_text, version):
    """A section-1 page: the help text as it is printed, under NAME."""
    help_text = help_text.replace("python3 -m " + module, command)
    usage, _, rest = help_text.partition("\n\n")
    summary, _, body = rest.partition("\n\n")
    return "\n".join([
        '.TH %s 1 "" "ombrel %s" "User Commands"' % (command.upper(), version),
        ".SH NAME", "%s \\- %s" % (_roff(command), _roff(" ".join(summary.split()))),
        ".SH SYNOPSIS", ".nf", _roff(" ".join(usage.replace("usage:", "", 1).split())), ".fi",
        ".SH DESCRIPTION", ".nf", _roff(body.rstrip()), ".fi",
        ".SH SEE ALSO", "ombrel_emulator(1)", ""])


def write_man_pages(commands, man_dir, package_parent, interpreter, version):
    os.makedirs(man_dir, exist_ok=True)
    env = dict(os.environ, PYTHONPATH=package_parent, COLUMNS="80")
    for command, module in commands:
        done = subprocess.run([interpreter, "-m", module, "--help"], env=env, capture_output=True,
                              text=True, check=False)
        if done.returncode != 0:
            sys.exit("python_commands.py: `%s -m %s --help` failed:\n%s" % (interpreter, module, done.stderr))
        page = man_page(command, module, done.stdout, version).encode("utf-8")
        with open(os.path.join(man_dir, command + ".1.gz"), "wb") as raw:
            with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as out:
                out.write(page)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("package", help="the package's source directory (python/ombrel)")
    parser.add_argument("out_dir", help="directory of the commands")
    parser.add_argument("--interpreter", required=True, help="absolute path of the python3 to run them")
    parser.add_argument("--package-dir", required=True,
                        help="directory holding the package, relative to the commands' directory")
    parser.add_argument("--man-dir", help="also write manual pages here")
    parser.add_argument("--version", default="", help="version named in the manual pages")
    args = parser.parse_args(argv)
    commands = runnable_modules(args.package)
    write_commands(commands, args.out_dir, args.interpreter, args.package_dir)
    if args.man_dir:
        write_man_pages(commands, args.man_dir, os.path.dirname(os.path.abspath(args.package)),
                        args.interpreter, args.version)
    return 0


if __name__ == "__main__":
    sys.exit(main())
