"""`python3 -m ombrel.evaluate`; run() is also the installed command's entry."""
from ..commands.evaluate_command import main
from ..commands.interruption import run_command


def run():
    run_command(main)


if __name__ == "__main__":
    run()
