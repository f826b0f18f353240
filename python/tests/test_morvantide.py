"""The module against the program: the same grids give the same JSON object,
value for value, and the same summary; inputs of every kind; bad inputs."""
import json
import os
import signal
import subprocess
import threading
from decimal import Decimal

import numpy as np
import pytest

import morvantide

PROGRAM = os.environ.get("MORVANTIDE_BINARY", "morvantide")
DEFAULTS = dict(order="2", order_step="1", ratio=None, itmax="50", tol="1.0E-12",
                order_range=("0.5", "5.0"))


def classic_run(folder, h, values, target=None, **settings):
    """The program's JSON object and summary of one variable, from the three files."""
    s = dict(DEFAULTS, **settings)
    ratio = {"constant": 1, "variable": 2}[s["ratio"]]
    (folder / "Morvantide_4p0.in").write_text("1\nparametros_n.txt\nparametros_1.txt\n")
    (folder / "parametros_1.txt").write_text(
        "1\nlistagem.txt\n%s\n%s\n%d\n%s\n%s\n%s\n%s\n%d\nresultados.txt\n'study'\n"
        % (s["order"], s["order_step"], ratio, s["itmax"], s["tol"], *s["order_range"], len(h)))
    rows = "".join("%s %s\n" % row for row in zip(h, values))
    (folder / "resultados.txt").write_text("grids of the study\n" + rows)  # no names
    args = [PROGRAM, "--no-edit", "--no-plot", "--json", "out.json", "--summary"]
    if target is not None:
        args += ["--target", target]
    run = subprocess.run(args, cwd=folder, capture_output=True, text=True, check=True)
    with open(folder / "out.json", encoding="utf-8") as f:
        doc = json.load(f, parse_float=Decimal)
    return doc["variables"][0], run.stdout


# (name, h, values, settings): each h and value as the files hold it.
STUDIES = [
    ("constant ratio, 1 + h^2", ["0.4", "0.2", "0.1", "0.05", "0.025"],
     ["1.16", "1.04", "1.01", "1.0025", "1.000625"], dict(ratio="constant")),
    ("variable ratio, oscillating", ["1", "0.6", "0.35", "0.2", "0.12", "0.07", "0.04"],
     ["2.5", "2.1", "2.3", "2.22", "2.26", "2.245", "2.2499"], dict(ratio="variable")),
    ("order 1, step 2, target", ["0.8", "0.4", "0.2", "0.1", "0.05"],
     ["3.2", "3.1", "3.06", "3.03", "3.0149"], dict(ratio="constant", order="1", order_step="2")),
    ("a narrow search", ["0.3", "0.2", "0.11", "0.07"], ["5.1", "5.05", "5.02", "5.011"],
     dict(ratio="variable", itmax="7", tol="1e-3", order_range=("1", "3"))),
    ("two grids", ["0.2", "0.1"], ["1.5", "1.25"], dict(ratio="constant")),
    ("one grid", ["0.2"], ["1.5"], dict(ratio="constant")),
    ("diverging", ["0.4", "0.2", "0.1", "0.05"], ["1", "2", "4", "8.5"], dict(ratio="constant")),
]


@pytest.mark.parametrize("name,h,values,settings", STUDIES, ids=[s[0] for s in STUDIES])
def test_to_dict_and_summary_equal_the_program(tmp_path, name, h, values, settings):
    target = "1e-4" if "target" in name else None
    expected, summary = classic_run(tmp_path, h, values, target, **settings)
    # The module gets the grids fine to coarse, and the ratio detected.
    kwargs = {k: v for k, v in settings.items() if k != "ratio"}
    a = morvantide.analyse(h[::-1], values[::-1], target=target, **kwargs)
    assert a.to_dict() == expected
    assert a.summary() == summary
    assert a.h == [Decimal(x) for x in h]
    assert a.verdict == expected["verdict"] and a.Th == expected["Th"]
    assert a.number == 1 and type(a.number) is int


def test_without_least_squares_only_those_lists_are_missing(tmp_path):
    h, values, settings = STUDIES[1][1:]
    expected, _ = classic_run(tmp_path, h, values, **settings)
    got = morvantide.analyse(h, values, least_squares=False).to_dict()
    assert expected["U_LS"] != [None] * len(h)
    for key in [k for k in expected if k.endswith("_LS")]:
        assert got.pop(key) == [None] * len(h), key
        expected.pop(key)
    got["verdict"]["finest"].update(U_LS=None, model_LS=None, Fs_LS=None)
    expected["verdict"]["finest"].update(U_LS=None, model_LS=None, Fs_LS=None)
    assert got == expected


H = ["0.4", "0.2", "0.1", "0.05", "0.025"]
T = ["1.16", "1.04", "1.01", "1.0025", "1.000625"]
# (name, h, values): the same study as H and T in every form the module takes.
FORMS = [
    ("floats", [float(x) for x in H], [float(x) for x in T]),
    ("tuples of Decimal", tuple(Decimal(x) for x in H), tuple(Decimal(x) for x in T)),
    ("numpy float64", np.array(H, dtype=float), np.array(T, dtype=float)),
    ("numpy float32", np.array(H, dtype=np.float32), np.array(T, dtype=np.float32)),
    ("numpy scalars", list(np.array(H, dtype=float)), list(np.array(T, dtype=float))),
    ("strings with blanks and D", [" 4D-1", "2.0E-1 ", "0.1", "5e-2", ".025"], T),
    ("a generator", (x for x in H), iter(T)),
]


@pytest.mark.parametrize("name,h,values", FORMS, ids=[f[0] for f in FORMS])
def test_every_form_of_input_is_read_as_its_text(name, h, values):
    assert morvantide.analyse(h, values).to_dict() == morvantide.analyse(H, T).to_dict()


def test_integers_and_the_exact_value_of_a_double():
    ints = morvantide.analyse(np.array([8, 4, 2, 1]), [3, 2, 1.5, 1.25])
    assert ints.h == [8, 4, 2, 1] and ints.Th == [3, 2, Decimal("1.5"), Decimal("1.25")]
    exact = morvantide.analyse([Decimal(0.1), Decimal(0.05)], [1, 2]).h
    assert exact[0] == Decimal("0.1000000000000000055511151231257827")  # the double, exactly
    big = morvantide.analyse([10**40 + 1, 1], [1, 2]).h
    assert big[0] == Decimal("10000000000000000000000000000000000000000")  # rounded, once


# (name, keyword arguments, message): the message as the program words it.
BAD = [
    ("h None", dict(h=None), "h must be a sequence of numbers (a list, tuple or numpy array), "
     "found None"),
    ("values a str", dict(values="12"), "values must be a sequence of numbers "
     "(a list, tuple or numpy array), found str"),
    ("lengths", dict(values=[1, 2]), "h has 3 entries and values 2: each grid needs one value"),
    ("no grids", dict(h=[], values=[]), "no grids: a study needs at least one"),
    ("zero h", dict(h=[0.2, 0, 0.1]), "h[1] must be positive and finite, found 0"),
    ("negative h", dict(h=[0.2, "-0.1", 0.1]), "h[1] must be positive and finite, found -0.1"),
    ("infinite h", dict(h=[float("inf"), 1, 2]), "h[0] must be finite, found inf"),
    ("NaN value", dict(values=[1, np.nan, 2]), "values[1] must be finite, found nan"),
    ("Decimal NaN", dict(values=[1, Decimal("NaN"), 2]), "values[1] must be finite, found NaN"),
    ("equal h", dict(h=[0.2, 0.1, "1E-1"]), "h[1] and h[2] have the same h = 0.1: "
     "each grid needs a size of its own"),
    ("not a number", dict(h=["0.2", "0,1", "x"]), 'expected a real number for h[1], found "0,1"'),
    ("two numbers", dict(values=[1, "2 3", 4]), 'expected a real number for values[1], '
     'found "2 3"'),
    ("overflow", dict(values=[1, "1e5000", 2]), 'values[1] does not fit a binary128 real: '
     '"1e5000"'),
    ("nested list", dict(h=[[0.2], 0.1, 0.05]), "expected a number (int, float, Decimal or str) "
     "for h[0], found list"),
    ("None inside", dict(values=[1, None, 2]), "expected a number (int, float, Decimal or str) "
     "for values[1], found None"),
    ("bool", dict(values=[True, 1, 2]), "expected a number (int, float, Decimal or str) "
     "for values[0], found bool"),
    ("2-D array", dict(h=np.ones((3, 2))), "expected a number (int, float, Decimal or str) "
     "for h[0], found ndarray"),
    ("huge array", dict(h=np.ones(10**6)), "h has 1000000 entries: more grids than a run takes "
     "(at most 11000)"),
    ("itmax", dict(itmax=1.5), 'expected an integer for itmax, found "1.5"'),
    ("cells", dict(cells=0), "cells (the dimensions of the grid) must be at least 1, found 0"),
    ("zero cells", dict(cells=2, h=[64, 0, 16]), "h[1] (a cell count) must be positive and "
     "finite, found 0"),
    ("ratio", dict(ratio="sometimes"), "ratio must be \"constant\", \"variable\" or None, "
     "found 'sometimes'"),
    ("order range", dict(order_range=(1,)), "order_range must be two numbers (pU_min, pU_max), "
     "found 1"),
    ("target", dict(target="-1"), 'bad value for target: "-1" (a positive number, or a '
     'percentage such as 0.1%)'),
]


@pytest.mark.parametrize("name,kwargs,message", BAD, ids=[b[0] for b in BAD])
def test_bad_input_raises_value_error_with_the_message(name, kwargs, message):
    args = dict(h=[0.2, 0.1, 0.05], values=[1, 2, 3])
    args.update(kwargs)
    with pytest.raises(ValueError) as e:
        morvantide.analyse(**args)
    assert str(e.value) == message


# (cells D, counts N, h = N^(-1/D)).
CELLS = [
    (1, [10, 20, 40], ["0.1", "0.05", "0.025"]),
    (2, [256, 16, 64], ["0.25", "0.125", "0.0625"]),
    (3, [8, 512, 64], ["0.5", "0.25", "0.125"]),
]


@pytest.mark.parametrize("d,counts,h", CELLS)
def test_cell_counts(d, counts, h):
    assert morvantide.analyse(counts, [1, 2, 3], cells=d).h == [Decimal(x) for x in h]


def test_a_table_as_the_direct_run_reads_it(tmp_path):
    path = tmp_path / "study.csv"
    rows = ["# a comment", "h, u, p", ""] + ["%s, %s, %s" % (h, t, t[::-1]) for h, t in zip(H, T)]
    order = [0, 1, 2, 6, 4, 3, 7, 5]  # shuffled grids
    path.write_bytes(b"\xef\xbb\xbf" + "\r\n".join(rows[i] for i in order).encode() + b"\r\n")
    u, p = morvantide.analyse_table(path, least_squares=False)
    assert u.name == "u" and p.name == "p" and p.number == 2
    assert u.to_dict() == dict(morvantide.analyse(H, T, least_squares=False).to_dict(), name="u")
    assert p.Th == [Decimal(t[::-1]) for t in T]


def test_a_windows_1252_name_reads_the_same_in_the_dict_and_the_summary(tmp_path):
    (tmp_path / "t.txt").write_bytes(b"h \xe9t\xe9\n0.2 1\n0.1 2\n")
    (a,) = morvantide.analyse_table(tmp_path / "t.txt")
    assert a.name == "\u00e9t\u00e9" and a.summary().startswith('variable 1 "\u00e9t\u00e9": 2 grids')


BAD_TABLES = [
    ("0.2;1,5\n0.1;1,25\n", "study.csv:1: fields separated by semicolons; a table is CSV, TSV "
     "or blank-separated, with a dot as the decimal mark"),
    ("h u\n0.2 1\n0.1\n", "study.csv:3: 1 fields where the first row has 2"),
    ("0.2 1\n0.1 x\n", 'study.csv:2:2: expected a real number for variable 1, found "x"'),
    ("0.2 1\n0.2 2\n", "study.csv:1 and study.csv:2 have the same h = 0.2: each grid needs a "
     "size of its own"),
    ("# nothing\n", "study.csv: no grids: a study needs at least one"),
]


@pytest.mark.parametrize("text,message", BAD_TABLES)
def test_bad_tables(tmp_path, text, message):
    os.chdir(tmp_path)
    (tmp_path / "study.csv").write_text(text)
    with pytest.raises(ValueError) as e:
        morvantide.analyse_table("study.csv")
    assert str(e.value) == message


def test_four_threads_at_once_give_the_serial_results():
    h = [str(Decimal(1) / Decimal(1.3) ** k) for k in range(30)]
    studies = [[str(1 + Decimal(x) ** 2 + j * Decimal(x) ** 3) for x in h] for j in range(4)]
    serial = [morvantide.analyse(h, t).to_dict() for t in studies]
    got = [[] for _ in studies]

    def work(j):
        for _ in range(5):
            got[j].append(morvantide.analyse(h, studies[j]).to_dict())

    threads = [threading.Thread(target=work, args=(j,)) for j in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(g == [s] * 5 for g, s in zip(got, serial))


def test_a_forked_child_analyses_too():
    h = [str(Decimal(1) / Decimal(1.1) ** k) for k in range(300)]
    values = [str(1 + Decimal(x) ** 2) for x in h]
    morvantide.analyse(h, values, least_squares=False)  # the threads start, if any
    pid = os.fork()
    if pid == 0:
        signal.alarm(60)  # a child left waiting for the parent's threads fails
        morvantide.analyse(h, values, least_squares=False)
        os._exit(0)
    _, status = os.waitpid(pid, 0)
    assert status == 0


def test_to_numpy_and_version():
    arrays = morvantide.analyse(H, T).to_numpy()
    assert arrays["h"].tolist() == [0.4, 0.2, 0.1, 0.05, 0.025]
    assert np.isnan(arrays["pU_Th"][:2]).all() and arrays["pU_Th"][2:].tolist() == [2, 2, 2]
    assert "model_LS" not in arrays and arrays["Th"].dtype == np.float64
    assert morvantide.__version__.count(".") == 2
