import sys

from ..commands.knowledge_command import main

sys.exit(main(prog="python3 -m ombrel.knowledge"))
