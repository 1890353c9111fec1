"""Validation of a board against the library on the desktop, over the
board's serial port: the firmware in examples/device/validate answers
frames of signals, and

    python3 -m ombrel.device validate --port /dev/ttyACM0 knowledge.bin signals.csv

compares every answer bit for bit (ombrel.commands.device_command)."""
