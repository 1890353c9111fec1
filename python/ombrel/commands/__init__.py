"""The command lines: `python3 -m ombrel.knowledge` (knowledge_command),
`python3 -m ombrel.evaluate` (evaluate_command) and `python3 -m
ombrel.device` (device_command). The top layer of the package: nothing
below imports it."""
