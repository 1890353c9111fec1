from ..commands.interruption import run_command
from ..commands.knowledge_command import main

run_command(main, prog="python3 -m ombrel.knowledge")
