"""`python3 -m ombrel.evaluate` runs the evaluation command
(ombrel.commands.evaluate_command). The function that scores class ids is
ombrel.evaluate, from ombrel.evaluation."""
