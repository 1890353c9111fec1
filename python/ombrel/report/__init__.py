"""The evaluation report as one self-contained HTML page (page), and the
evaluation's picture (plot, with matplotlib)."""

from .page import Run, page_data, render, traced_signals, write_html_report, write_runs

__all__ = ["Run", "page_data", "render", "traced_signals", "write_html_report", "write_runs"]
