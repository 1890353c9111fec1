"""`python3 -m ombrel.knowledge`; run() is also the installed command's entry."""
from ..commands.interruption import run_command
from ..commands.knowledge_command import main


def run():
    # Run as a module, argv[0] is this file's path: the usage line names the
    # module; an installed command keeps its own name.
    run_command(main, prog="python3 -m ombrel.knowledge" if __name__ == "__main__" else None)


if __name__ == "__main__":
    run()
