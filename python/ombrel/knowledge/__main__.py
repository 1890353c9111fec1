import sys

from .command import main

sys.exit(main(prog="python3 -m ombrel.knowledge"))
