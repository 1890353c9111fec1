from ombrel.commands.device_command import main
from ombrel.commands.interruption import run_command

run_command(main)
