"""`python3 -m ombrel.device`; run() is also the installed command's entry."""
from ombrel.commands.device_command import main
from ombrel.commands.interruption import run_command


def run():
    run_command(main)


if __name__ == "__main__":
    run()
