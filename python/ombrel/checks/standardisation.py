"""Whether signals look standardised by a knowledge.

A network is trained on standardised inputs: after the standardisation each
input has a mean near 0 and a spread near 1. When the standardisation was
done outside the exported graph, the knowledge holds means 0 and scales 1,
and both the import check (which runs the same graph on the same raw
signals) and the classes look fine while real use is wrong. The rule that
catches it: after the knowledge's standardisation, more than half of the 64
inputs have a mean beyond +-MEAN_LIMIT or a spread (standard deviation)
outside SPREAD_RANGE, over at least MIN_SIGNALS signals. Correctly
standardised data sits far inside (means within +-0.1, spreads 0.75 to 1.15
on the bundled EMG example); a single dead or odd input never fires it.
"""

from __future__ import annotations

from typing import Optional, Union

import numpy as np

from ..knowledge.binary import read_bytes
from ..knowledge.layout import Knowledge

MEAN_LIMIT = 3.0
SPREAD_RANGE = (0.1, 10.0)
MIN_SIGNALS = 20
WORST_SHOWN = 3


def standardisation_warning(k: Union[Knowledge, np.ndarray, bytes], signals: np.ndarray,
                            name: str, fix: str) -> Optional[list[str]]:
    """The warning's lines when `signals` do not look standardised by the
    knowledge, else None. name: what the signals are called; fix: how to
    give the standardisation, in the caller's terms."""
    if not isinstance(k, Knowledge):
        k = read_bytes(k)
    x = np.asarray(signals, np.float64)
    if len(x) < MIN_SIGNALS:
        return None
    with np.errstate(all="ignore"):
        z = (x - k.means.astype(np.float64)) * k.scales.astype(np.float64)
        z[~np.isfinite(z)] = np.nan
        mean, spread = np.nanmean(z, axis=0), np.nanstd(z, axis=0)
        low, high = SPREAD_RANGE
        off = (np.abs(mean) > MEAN_LIMIT) | (spread < low) | (spread > high)
        off &= ~np.isnan(mean)
        if 2 * int(off.sum()) <= x.shape[1]:
            return None
        badness = np.fmax(np.fmax(np.abs(mean) / MEAN_LIMIT, spread / high),
                          low / np.fmax(spread, 1e-300))
    worst = [i for i in np.argsort(-np.nan_to_num(badness, nan=-1.0), kind="stable")
             if off[i]][:WORST_SHOWN]
    return [
        "%s do not look standardised by the knowledge: after its standardisation, %d of %d "
        "inputs have a mean beyond +-%g or a spread outside [%g, %g] (%s)"
        % (name, int(off.sum()), x.shape[1], MEAN_LIMIT, low, high,
           "; ".join("input %d: mean %.3g, spread %.3g" % (i, mean[i], spread[i]) for i in worst)),
        "the standardisation may not be in the exported graph, or these are not the signals "
        "the model was trained on",
        "fix: %s" % fix,
    ]


IMPORT_FIX = ("import the model again with the standardisation it was trained with: every "
              "import takes means=M and stds=S (ombrel.import_sklearn, import_onnx, import_arrays; "
              "--means M --stds S on the command line); if it was trained on signals as they "
              "come, say so with raw_inputs=True (--raw-inputs), and the knowledge's card keeps "
              "this warning silent")
