import sys

from ..commands.evaluate_command import main

sys.exit(main())
