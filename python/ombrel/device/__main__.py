import sys

from ombrel.commands.device_command import main

sys.exit(main())
