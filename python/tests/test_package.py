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
     "<morvantide.Analysis 1: 2 grids, Th = 1.25 +/- 0.25 (20 %) (two-grid UGCI), "
     "undetermined (needs 3 grids)>"),
    ("3 grids", [0.4, 0.2, 0.1], [1.16, 1.04, 1.01], {},
     "<morvantide.Analysis 1: 3 grids, Th = 1.010 +/- 0.013 (1.2 %) (UGCI), "
     "monotonic convergence>"),
    ("5 grids", [0.4, 0.2, 0.1, 0.05, 0.025], [1.16, 1.04, 1.01, 1.0025, 1.000625], {},
     "<morvantide.Analysis 1: 5 grids, Th = 1.00063 +/- 0.00078 (0.078 %) (UGCI), "
     "monotonic convergence>"),
    ("divergent", [0.4, 0.2, 0.1, 0.05], [1, 2, 4, 8.5], {},
     "<morvantide.Analysis 1: 4 grids, Th = 8.50000 (no U: monotonic divergence), "
     "monotonic divergence>"),
    ("no U, no least squares", [0.4, 0.2, 0.1], [1, 2, 0], dict(least_squares=False),
     "<morvantide.Analysis 1: 3 grids, Th = 0.00000 (no U: oscillatory divergence), "
     "oscillatory divergence>"),
    # Summary and repr of 4 grids or more without any least-squares fit.
    ("4 grids, no least squares", [0.4, 0.2, 0.1, 0.05], [1.16, 1.04, 1.01, 1.0025],
     dict(least_squares=False),
     "<morvantide.Analysis 1: 4 grids, Th = 1.0025 +/- 0.0031 (0.31 %) (UGCI), "
     "monotonic convergence>"),
    ("oscillating, target", [1, 0.6, 0.35, 0.2, 0.12, 0.07, 0.04],
     [2.5, 2.1, 2.3, 2.22, 2.26, 2.245, 2.2499], dict(target="0.1%"), None),
]
IDS = [s[0] for s in SHAPES]
WORD_LISTS = ("convergence", "U_source", "U_note", "model_LS")


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
        if key in WORD_LISTS or not isinstance(entries, list):
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
        if key in WORD_LISTS:
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
    ("no name", lambda pd: morvantide.analyse_columns([0.2, 0.1], {"": [1, 2]}),
     "a column needs a name"),
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


def lines_by_gid(ax):
    return {line.get_gid(): line for line in ax.lines}


# (name, h, values, settings, what the study plot draws, log axis).
PLOTS = [
    ("5 grids, M1", [0.4, 0.2, 0.1, 0.05, 0.025], [1.16, 1.041, 1.0105, 1.0026, 1.00065], {},
     {"data", "richardson", "least_squares", "extrapolated"}, True),
    ("1 + h^2 exactly", [0.8, 0.4, 0.2, 0.1], [1.64, 1.16, 1.04, 1.01], {},
     {"data", "richardson", "least_squares", "extrapolated"}, False),
    ("3 grids", [0.4, 0.2, 0.1], [1.16, 1.04, 1.01], {}, {"data", "richardson", "extrapolated"},
     False),
    ("2 grids: Ti_pL", [0.2, 0.1], [1.5, 1.25], {}, {"data", "extrapolated"}, False),
    ("divergent: no U", [0.4, 0.2, 0.1, 0.05], [1, 2, 4, 8.5], {},
     {"data", "least_squares", "extrapolated"}, False),
    ("order 1, 4 grids", [0.8, 0.4, 0.2, 0.1], [3.2, 3.1, 3.06, 3.03], dict(order=1),
     {"data", "richardson", "least_squares", "extrapolated"}, False),
]


@pytest.mark.parametrize("name,h,values,settings,drawn,logx", PLOTS, ids=[p[0] for p in PLOTS])
def test_the_study_plot_carries_the_analysis_numbers(name, h, values, settings, drawn, logx):
    pytest.importorskip("matplotlib")
    import matplotlib
    matplotlib.use("Agg")
    a = morvantide.analyse(h, values, **settings)
    d, f = a.to_dict(), a.to_numpy()
    ax = morvantide.plot(a)
    lines = lines_by_gid(ax)
    assert set(lines) == drawn and (ax.get_xscale() == "log") == logx
    assert np.asarray(lines["data"].get_xdata()).tolist() == f["h"].tolist()
    assert np.asarray(lines["data"].get_ydata()).tolist() == f["Th"].tolist()
    n = len(h)
    if "richardson" in lines:  # through the two finest grids, the observed order
        x, y = map(np.asarray, lines["richardson"].get_data())
        for i in (n - 1, n - 2):
            assert y[x.tolist().index(f["h"][i])] == pytest.approx(f["Th"][i], rel=1e-12)
        assert "observed order %.6g" % f["pU_Th"][-1] in lines["richardson"].get_label()
    if "least_squares" in lines:  # its phi0 at h = 0 on a linear axis
        x, y = map(np.asarray, lines["least_squares"].get_data())
        assert d["model_LS"][-1] in lines["least_squares"].get_label()
        if not logx:
            assert x[0] == 0 and y[0] == pytest.approx(f["T0_LS"][-1], rel=1e-12)
        if name == "1 + h^2 exactly":  # M1 through every grid
            assert [y[x.tolist().index(s)] for s in f["h"]] == pytest.approx(f["Th"].tolist())
    words = "Ti_pU" if not math.isnan(f["Ti_pU"][-1]) else "Ti_pL"  # without an observed order
    extrapolated = f[words][-1]
    assert lines["extrapolated"].get_label().startswith(words + " = ")
    assert np.asarray(lines["extrapolated"].get_ydata()).tolist() == [extrapolated] * 2
    bands = [p for p in ax.patches if p.get_gid() == "uncertainty"]
    U = f["U"][-1]
    if math.isnan(U):
        assert bands == []
    else:
        (band,) = bands
        ys = sorted({y for _, y in band.get_xy()})
        assert ys == [extrapolated - U, extrapolated + U]


@pytest.mark.parametrize("order", [None, 1, "2.5"])
def test_the_orders_plot_carries_the_observed_orders_and_pL(order):
    pytest.importorskip("matplotlib")
    import matplotlib
    matplotlib.use("Agg")
    a = morvantide.analyse(*PLOTS[0][1:3], order=order)
    f = a.to_numpy()
    lines = lines_by_gid(morvantide.plot(a, kind="orders", logx=False))
    assert set(lines) == {"observed", "p_LS", "pL"}
    for gid, key in (("observed", "pU_Th"), ("p_LS", "p_LS")):
        drawn = np.asarray(lines[gid].get_data(), dtype=float)
        assert np.array_equal(drawn, [f["h"], f[key]], equal_nan=True), gid
    assert np.asarray(lines["pL"].get_ydata()).tolist() == [float(order or 2)] * 2


def test_plot_draws_on_the_axes_given_and_refuses_an_unknown_kind():
    plt = pytest.importorskip("matplotlib.pyplot")
    fig, ax = plt.subplots()
    a = morvantide.analyse([0.2, 0.1], [1.5, 1.25])
    assert morvantide.plot(a, ax=ax) is ax and ax.get_title() == "variable 1"
    with pytest.raises(ValueError, match="kind must be 'study' or 'orders', found 'x'"):
        morvantide.plot(a, kind="x")
    plt.close(fig)


def test_the_example_notebook_runs_and_draws_its_two_pictures(tmp_path, monkeypatch):
    nbformat = pytest.importorskip("nbformat")
    nbclient = pytest.importorskip("nbclient")
    pytest.importorskip("ipykernel")
    nb = nbformat.read(ROOT / "examples" / "study.ipynb", as_version=4)
    code = [c for c in nb.cells if c.cell_type == "code"]
    assert code and all(c.outputs == [] and c.execution_count is None for c in code)
    # The kernel is this interpreter (its kernel.json found first), and the
    # notebook imports the package the tests import.
    kernel = tmp_path / "jupyter" / "kernels" / "python3"
    kernel.mkdir(parents=True)
    (kernel / "kernel.json").write_text(json.dumps(dict(
        argv=[sys.executable, "-m", "ipykernel_launcher", "-f", "{connection_file}"],
        display_name="Python 3", language="python")))
    monkeypatch.setenv("JUPYTER_PATH", str(tmp_path / "jupyter"))
    nb.cells.append(nbformat.v4.new_code_cell("print(morvantide.__file__)"))
    nbclient.NotebookClient(nb, timeout=120, resources={"metadata": {"path": str(tmp_path)}}
                            ).execute()
    assert nb.cells[-1].outputs[0]["text"].strip() == morvantide.__file__
    assert not [o for c in nb.cells if c.cell_type == "code" for o in c.outputs
                if o["output_type"] == "error"]
    for picture in ("study-values.png", "study-orders.png"):
        assert (tmp_path / picture).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
