"""The arrays the knowledge command reads from files: a knowledge's arrays
(write --from-npz, --from-json) and the standardisation given at import
(--means, --stds, --scales)."""

from __future__ import annotations

import json
from typing import Any

import numpy as np

from ..file_paths import refuse_unless_regular
from ..knowledge.layout import ARRAY_NAMES, KnowledgeError


def load_arrays(path: str) -> dict[str, Any]:
    """The named arrays of an .npz file, or of a JSON object."""
    refuse_unless_regular(path, "--from-npz")
    if path.endswith(".json"):
        with open(path) as f:
            try:
                obj = json.load(f)
            except ValueError as e:
                raise KnowledgeError("%s: not JSON (%s)" % (path, e)) from None
        if not isinstance(obj, dict):
            raise KnowledgeError("%s: not a JSON object of named arrays" % path)
    else:
        try:
            with np.load(path, allow_pickle=False) as z:
                obj = {name: z[name] for name in z.files}
        except (ValueError, EOFError, AttributeError):
            raise KnowledgeError("%s: not an .npz file of arrays (a name ending in .json is read "
                                 "as JSON)" % path) from None
    missing = [name for name in ARRAY_NAMES if name not in obj]
    if missing:
        raise KnowledgeError("%s lacks %s" % (path, ", ".join(missing)))
    return obj


# Names under which an .npz or .json file may hold each vector; a file of
# one array holds it whatever its name.
_VECTOR_KEYS = {"means": ("means", "mean", "mean_", "running_mean"),
                "stds": ("stds", "std", "scale_", "stddev"),
                "scales": ("scales", "scale", "multipliers")}


def load_vector(path: str, name: str) -> np.ndarray:
    """The 64 values of --means, --stds or --scales: an .npy or .npz file,
    JSON (a list, or an object with one member), or text of numbers
    separated by commas or white space."""
    refuse_unless_regular(path, "--" + name)
    lower = path.lower()
    if lower.endswith(".npy"):
        value = np.load(path, allow_pickle=False)
    elif lower.endswith(".npz") or lower.endswith(".json"):
        if lower.endswith(".npz"):
            with np.load(path, allow_pickle=False) as z:
                obj = {key: z[key] for key in z.files}
        else:
            with open(path) as f:
                obj = json.load(f)
        if isinstance(obj, dict):
            keys = [k for k in _VECTOR_KEYS[name] if k in obj] or (list(obj) if len(obj) == 1 else [])
            if not keys:
                raise KnowledgeError("%s holds %s; name the %s array one of %s"
                                     % (path, ", ".join(obj) or "nothing", name,
                                        ", ".join(_VECTOR_KEYS[name])))
            obj = obj[keys[0]]
        value = obj
    else:
        with open(path) as f:
            words = f.read().replace(",", " ").split()
        try:
            value = [float(w) for w in words]
        except ValueError as e:
            raise KnowledgeError("%s: %s" % (path, e)) from None
    try:
        a = np.asarray(value, np.float64).reshape(-1)
    except (TypeError, ValueError):
        raise KnowledgeError("%s: the %s are not numbers" % (path, name)) from None
    if a.size != 64:
        raise KnowledgeError("%s holds %d values; --%s takes one per input, 64" % (path, a.size, name))
    if name == "stds" and (a == 0).any():
        raise KnowledgeError("%s: 0 at input %d; an input without spread needs a std of 1 "
                             "(StandardScaler does so)" % (path, int(np.flatnonzero(a == 0)[0])))
    return a
