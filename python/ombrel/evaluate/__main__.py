from ..commands.evaluate_command import main
from ..commands.interruption import run_command

run_command(main)
