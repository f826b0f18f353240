"""The methods of Analysis written in Python: its one-line repr and HTML table
(from the summary's own text), and its per-grid lists as numpy arrays and as a
pandas DataFrame.  The lists are read from to_dict() by their kind, so a list
the variable's object gains appears in both without a change here; their
float64 values come from the extension (_float64), each binary128 value
rounded once to the nearest double, never through its decimal text."""
import html
from decimal import Decimal

from . import _core

# Per-grid lists of words and of truth values; every other list holds numbers.
# A list not named here is judged by its entries (a study where a list of
# words is all None would give it as numbers): name each new one here.
WORDS = frozenset(("convergence", "U_source", "U_note", "model_LS"))
TRUTHS = frozenset(("gci_dependable", "asymptotic", "within_target"))
_NONFINITE = ("inf", "-inf", "nan")


def per_grid_lists(d, kind=list):
    """(name, entries) of every per-grid list of the variable's object d: the
    estimates' first, then the verdict's (one of which an estimate's list
    already names is called verdict_NAME).  kind: the type of the lists (the
    arrays of _float64() are named the same way)."""
    out = [(k, v) for k, v in d.items() if isinstance(v, kind) and k != "h"]
    taken = {k for k, _ in out} | {"h"}
    out += [("verdict_" + k if k in taken else k, v)
            for k, v in d["verdict"].items() if isinstance(v, kind)]
    return out


def kind_of(name, entries):
    """'words', 'truths' or 'numbers'."""
    if name in WORDS:
        return "words"
    if name in TRUTHS:
        return "truths"
    if any(isinstance(x, bool) for x in entries):
        return "truths"
    if any(isinstance(x, str) and x not in _NONFINITE for x in entries):
        return "words"
    return "numbers"


def to_float(x):
    """A number of to_dict() (Decimal, "inf", "-inf", "nan", None, bool) as a
    float, from its text; None is NaN.  The per-grid lists take theirs from
    _float64() instead, rounded once from binary128."""
    return float("nan") if x is None else float(x)


def to_decimal(x):
    return None if x is None else Decimal(x)


def _summary_fields(analysis):
    """The summary's first line and its lines by label (label -> [texts])."""
    first, *lines = analysis.summary().split("\n")
    fields = {}
    for line in lines:
        if line.startswith("  "):
            fields.setdefault(line[2:16].rstrip(), []).append(line[16:])
    return first, fields


def _repr(self):
    # <morvantide.Analysis 1 "u": 5 grids, Th = 1.00063 +/- 0.00078 (0.078 %) (UGCI),
    #  monotonic convergence>, all in the summary's words and digits.
    first, fields = _summary_fields(self)
    head = first[len("variable "):].rsplit(", finest h = ", 1)[0]
    convergence = fields["convergence"][0].split(", ")[0]
    return "<morvantide.Analysis %s, %s, %s>" % (head, fields["result"][0], convergence)


def _repr_html_(self):
    first, fields = _summary_fields(self)
    rows = "".join('<tr><th style="text-align:left">%s</th><td style="text-align:left">%s'
                   "</td></tr>" % (html.escape(label), html.escape(text))
                   for label, texts in fields.items() for text in texts)
    return ('<table class="morvantide-analysis"><caption style="text-align:left">%s</caption>'
            "%s</table>" % (html.escape(first), rows))


def _to_numpy(self):
    """h and every per-grid list of numbers or truth values (1.0, 0.0) as
    float64 arrays, missing values NaN; "convergence" as int64 codes, indices
    into "convergence_names" (morvantide.CONVERGENCE), the grids before the
    third 0, undetermined.  The same keys for every study; the other words
    (U_source, U_note, model_LS) are left to to_frame()."""
    import numpy as np
    floats = _floats(self, np)
    out = {"h": floats["h"]}
    for name, entries in per_grid_lists(self.to_dict()):
        if name == "convergence":
            codes = [0 if x is None else _core.CONVERGENCE.index(x) for x in entries]
            out[name] = np.array(codes, dtype=np.int64)
            out["convergence_names"] = np.array(_core.CONVERGENCE)
        elif kind_of(name, entries) != "words":
            out[name] = floats[name]
    return out


def _floats(analysis, np):
    """h and every per-grid list as float64 arrays by the names of
    per_grid_lists."""
    arrays = analysis._float64()
    return dict(per_grid_lists(arrays, np.ndarray), h=arrays["h"])


def _to_frame(self, exact=False):
    """The per-grid table as a pandas DataFrame, one row per grid (index
    "grid", 1 the coarsest): h, every per-grid list and the verdict's lists as
    columns.  Numbers are float64 (missing: NaN), or Decimal with exact=True
    (missing: None); truth values are pandas' nullable booleans, words str."""
    try:
        import pandas as pd
    except ImportError as e:
        raise ImportError("Analysis.to_frame needs pandas (Debian: python3-pandas; "
                          "pip: pandas)") from e
    import numpy as np
    floats = None if exact else _floats(self, np)
    columns = {"h": pd.Series([to_decimal(x) for x in self.h], dtype=object) if exact
               else pd.Series(floats["h"], dtype="float64")}
    for name, entries in per_grid_lists(self.to_dict()):
        kind = kind_of(name, entries)
        if kind == "words":
            columns[name] = pd.Series(entries, dtype=object)
        elif kind == "truths":
            columns[name] = pd.Series(entries, dtype="boolean")
        elif exact:
            columns[name] = pd.Series([to_decimal(x) for x in entries], dtype=object)
        else:
            columns[name] = pd.Series(floats[name], dtype="float64")
    frame = pd.DataFrame(columns)
    frame.index = pd.RangeIndex(1, len(frame) + 1, name="grid")
    frame.attrs["name"] = self.name
    frame.attrs["number"] = self.number
    return frame


def _dir(self):
    return sorted(set(object.__dir__(self)) | set(self._keys()))


_core.Analysis.__repr__ = _repr
_core.Analysis._repr_html_ = _repr_html_
_core.Analysis.to_numpy = _to_numpy
_core.Analysis.to_frame = _to_frame
_core.Analysis.__dir__ = _dir
