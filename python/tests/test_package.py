"""The package around the extension: where it is imported from, its repr and
HTML table, to_numpy and to_frame over studies of every shape, analyse_frame,
the plots read back from their Axes, imports without the optional packages,
and the example notebook."""
import json
import math
import os
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import numpy as np
import pytest

import morvantide

ROOT = Path(__file__).resolve().parents[2]


def test_the_package_is_imported_from_where_it_was_installed():
    # CI installs the wheel into a venv and names its site folder here.
    where = os.environ.get("MORVANTIDE_INSTALLED")
    if not where:
        pytest.skip("MORVANTIDE_INSTALLED is not set")
    assert Path(morvantide.__file__).resolve().is_relative_to(Path(where).resolve())
    assert Path(morvantide._core.__file__).parent == Path(morvantide.__file__).parent
    assert (Path(morvantide.__file__).parent / "py.typed").is_file()
    assert (Path(morvantide.__file__).parent / "_core.pyi").is_file()


def test_every_public_name_of_the_extension_is_the_packages():
    public = [n for n in dir(morvantide._core) if not n.startswith("_")]
    assert public and all(getattr(morvantide, n) is getattr(morvantide._core, n) for n in public)
    assert set(public) <= set(morvantide.__all__)
    assert morvantide.CONVERGENCE == ("undetermined", "monotonic convergence",
                                      "oscillatory convergence", "monotonic divergence",
                                      "oscillatory divergence")


# (name, h, values, settings, repr): studies of every shape, the repr in the
# summary's words.
SHAPES = [
    ("2 grids", [0.2, 0.1], [1.5, 1.25], {},
     '<morvantide.Analysis 1: 2 grids, Th = 1.25 +/- 0.25 (UGCI), order 2 (pL: no observed '
     'order from 2 grids), undetermined (needs 3 grids)>'),
    ("3 grids", [0.4, 0.2, 0.1], [1.16, 1.04, 1.01], {},
     "<morvantide.Analysis 1: 3 grids, Th = 1.010 +/- 0.013 (UGCI), order 2, "
     "monotonic convergence>"),
    ("5 grids", [0.4, 0.2, 0.1, 0.05, 0.025], [1.16, 1.04, 1.01, 1.0025, 1.000625], {},
     "<morvantide.Analysis 1: 5 grids, Th = 1.00063 +/- 0.00078 (UGCI), order 2, "
     "monotonic convergence>"),
    ("divergent", [0.4, 0.2, 0.1, 0.05], [1, 2, 4, 8.5], {},
     "<morvantide.Analysis 1: 4 grids, Th = 8.50000 (no UGCI), monotonic divergence>"),
    ("no U, one grid", [0.2], [1.5], dict(least_squares=False),
     "<morvantide.Analysis 1: 1 grid, Th = 1.50000 (no UGCI), undetermined (needs 3 grids)>"),
    ("oscillating, target", [1, 0.6, 0.35, 0.2, 0.12, 0.07, 0.04],
     [2.5, 2.1, 2.3, 2.22, 2.26, 2.245, 2.2499], dict(target="0.1%"), None),
]
IDS = [s[0] for s in SHAPES]


def analysis(h, values, settings):
    return morvantide.analyse(h, values, **settings)


@pytest.mark.parametrize("name,h,values,settings,expected", SHAPES, ids=IDS)
def test_repr_and_html_say_what_the_summary_says(name, h, values, settings, expected):
    a = analysis(h, values, settings)
    lines = a.summary().splitlines()
    if expected is not None:
        assert repr(a) == expected
    assert lines[1].split("Th = ", 1)[1] in repr(a)
    page = a._repr_html_()
    assert page.count("<tr>") == len(lines) - 1
    for line in lines[1:]:
        assert line[16:].replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;") in page


def test_repr_and_html_of_a_named_variable():
    (a,) = morvantide.analyse_columns([0.2, 0.1, 0.05], {"<p> & q": [3, 2, 1.5]})
    assert repr(a).startswith('<morvantide.Analysis 1 "<p> & q": 3 grids, Th = ')
    assert 'variable 1 &quot;&lt;p&gt; &amp; q&quot;: 3 grids' in a._repr_html_()


KEYS = None


@pytest.mark.parametrize("name,h,values,settings,expected", SHAPES, ids=IDS)
def test_to_numpy_has_one_key_set_and_the_dicts_values(name, h, values, settings, expected):
    a = analysis(h, values, settings)
    arrays, d = a.to_numpy(), a.to_dict()
    reference = analysis(*SHAPES[2][1:4]).to_numpy()
    assert sorted(arrays) == sorted(reference)
    n = len(h)
    assert arrays["h"].tolist() == sorted(h, reverse=True)
    for key, entries in list(d.items()) + list(d["verdict"].items()):
        if key in ("convergence", "U_source", "model_LS") or not isinstance(entries, list):
            continue
        got = arrays[key]
        assert got.dtype == np.float64 and len(got) == n, key
        want = [math.nan if x is None else float(x) for x in entries]
        assert np.array_equal(got, want, equal_nan=True), key
    names = arrays["convergence_names"]
    assert [names[c] for c in arrays["convergence"]] == [
        x or "undetermined" for x in d["verdict"]["convergence"]]
    assert arrays["convergence"].dtype == np.int64


@pytest.mark.parametrize("name,h,values,settings,expected", SHAPES, ids=IDS)
def test_to_frame_is_the_per_grid_table(name, h, values, settings, expected):
    pd = pytest.importorskip("pandas")
    a = analysis(h, values, settings)
    d = a.to_dict()
    frame, exact = a.to_frame(), a.to_frame(exact=True)
    assert list(frame.index) == list(range(1, len(h) + 1)) and frame.index.name == "grid"
    assert list(frame.columns) == list(exact.columns) == list(
        analysis(*SHAPES[2][1:4]).to_frame().columns)
    assert exact["h"].tolist() == a.h and frame["h"].dtype == np.float64
    for key, entries in list(d.items()) + list(d["verdict"].items()):
        if not isinstance(entries, list):
            continue
        if key in ("convergence", "U_source", "model_LS"):
            assert frame[key].tolist() == entries == exact[key].tolist()
        elif key in ("gci_dependable", "asymptotic", "within_target"):
            assert str(frame[key].dtype) == "boolean"
            assert [None if x is pd.NA else x for x in frame[key]] == entries
        else:
            assert exact[key].tolist() == [None if x is None else Decimal(x) for x in entries]
            assert frame[key].dtype == np.float64
            assert np.array_equal(frame[key], a.to_numpy()[key], equal_nan=True)


def test_analyse_frame_equals_analyse_per_column_and_the_table_file(tmp_path):
    pd = pytest.importorskip("pandas")
    h = ["0.4", "0.2", "0.1", "0.05"]
    df = pd.DataFrame({"h": [float(x) for x in h], "u": [1.16, 1.04, 1.01, 1.0025],
                       "p": [Decimal("3"), Decimal("2.5"), Decimal("2.2"), Decimal("2.11")],
                       "q": ["8", "4", "2", "1.5"]})
    got = morvantide.analyse_frame(df, target="1%")
    for number, (a, column) in enumerate(zip(got, ["u", "p", "q"]), 1):
        alone = morvantide.analyse(df["h"], df[column], target="1%").to_dict()
        assert a.to_dict() == dict(alone, number=number, name=column)
    path = tmp_path / "study.csv"
    path.write_text(df.to_csv(index=False))
    assert [a.to_dict() for a in got] == [
        a.to_dict() for a in morvantide.analyse_table(path, target="1%")]
    # The index as h, a choice of columns, cell counts.
    by_index = morvantide.analyse_frame(df.set_index("h"), h=None, columns=["p"], target="1%")
    assert [a.to_dict() for a in by_index] == [dict(got[1].to_dict(), number=1)]
    cells = pd.DataFrame({"N": [64, 256, 1024], "u": [1.1, 1.03, 1.01]})
    (a,) = morvantide.analyse_frame(cells, h="N", cells=2)
    assert a.h == [Decimal("0.125"), Decimal("0.0625"), Decimal("0.03125")]


# (name, call, message).
BAD_FRAMES = [
    ("no h column", lambda pd: morvantide.analyse_frame(pd.DataFrame({"x": [1, 2]})),
     "no column 'h' of grid sizes in the frame (its columns: 'x'); name it with h="),
    ("no such column", lambda pd: morvantide.analyse_frame(
        pd.DataFrame({"h": [1, 2], "u": [1, 2]}), columns=["v"]), "no column 'v' in the frame"),
    ("a missing value", lambda pd: morvantide.analyse_frame(
        pd.DataFrame({"h": [0.2, 0.1, 0.05], "u": [1, None, 2]})),
     'u[1]: expected a number, found "nan"'),
    ("no variable", lambda pd: morvantide.analyse_frame(pd.DataFrame({"h": [1, 2]})),
     "columns is empty: name at least one column"),
    ("lengths", lambda pd: morvantide.analyse_columns([0.2, 0.1], {"u": [1, 2, 3]}),
     "h has 2 entries and u 3: each grid needs one value"),
    ("not a mapping", lambda pd: morvantide.analyse_columns([0.2, 0.1], None),
     "columns must be a mapping of names to values, found None"),
    ("not pairs", lambda pd: morvantide.analyse_columns([0.2, 0.1], ["u"]),
     "columns must be a mapping of names to values, or (name, values) pairs, found str"),
]


@pytest.mark.parametrize("name,call,message", BAD_FRAMES, ids=[b[0] for b in BAD_FRAMES])
def test_bad_frames_and_columns(name, call, message):
    pd = pytest.importorskip("pandas")
    with pytest.raises(ValueError) as e:
        call(pd)
    assert str(e.value) == message


def test_importing_without_matplotlib_and_pandas():
    code = """
import sys
sys.modules["matplotlib"] = sys.modules["pandas"] = None
import morvantide
a = morvantide.analyse([0.4, 0.2, 0.1], [1.16, 1.04, 1.01])
for call in (lambda: morvantide.plot(a), a.to_frame):
    try:
        call()
    except ImportError as e:
        print(e)
"""
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         check=True)
    assert run.stdout == ("morvantide.plot needs matplotlib (Debian: python3-matplotlib; pip: "
                          "matplotlib)\nAnalysis.to_frame needs pandas (Debian: python3-pandas; "
                          "pip: pandas)\n")
