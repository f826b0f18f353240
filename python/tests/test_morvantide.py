"""The module against the program: the same grids give the same JSON object,
value for value, and the same summary; inputs of every kind; bad inputs."""
import errno
import itertools
import json
import os
import signal
import subprocess
import sys
import threading
from decimal import Decimal

import numpy as np
import pytest

import morvantide

PROGRAM = os.environ.get("MORVANTIDE_BINARY", "morvantide")
OPTIONS = dict(order="--order", order_step="--order-step", ratio="--ratio", itmax="--itmax",
               tol="--tol", target="--target", cells="--cells")


def program_args(settings):
    args = []
    for key, value in settings.items():
        args += ["--order-range", "%s:%s" % value] if key == "order_range" else [OPTIONS[key], value]
    return args


def direct_run(folder, h, values, **settings):
    """The program's JSON object and summary of a table of h and values (no header)."""
    path = folder / "data.txt"
    path.write_text("".join("%s %s\n" % row for row in zip(h, values)))
    args = program_args(settings)
    doc = subprocess.run([PROGRAM, "--json", "-", *args, path], capture_output=True, text=True,
                         check=True).stdout
    summary = subprocess.run([PROGRAM, "--summary", *args, path], capture_output=True, text=True,
                             check=True).stdout
    return json.loads(doc, parse_float=Decimal)["variables"][0], summary


# (name, h, values, settings): each h and value as the files hold it.
STUDIES = [
    ("constant ratio, 1 + h^2", ["0.4", "0.2", "0.1", "0.05", "0.025"],
     ["1.16", "1.04", "1.01", "1.0025", "1.000625"], dict(ratio="constant")),
    ("variable ratio, oscillating", ["1", "0.6", "0.35", "0.2", "0.12", "0.07", "0.04"],
     ["2.5", "2.1", "2.3", "2.22", "2.26", "2.245", "2.2499"], dict(ratio="variable")),
    ("order 1, step 2, target", ["0.8", "0.4", "0.2", "0.1", "0.05"],
     ["3.2", "3.1", "3.06", "3.03", "3.0149"], dict(order="1", order_step="2", target="1e-4")),
    ("share target, ratio forced", ["0.8", "0.4", "0.2", "0.09"], ["3.2", "3.1", "3.06", "3.03"],
     dict(ratio="constant", target="0.5%")),
    ("3-D cell counts", ["8", "64", "512", "4096"], ["2.6", "2.15", "2.04", "2.01"],
     dict(cells="3")),
    ("a narrow search", ["0.3", "0.2", "0.11", "0.07"], ["5.1", "5.05", "5.02", "5.011"],
     dict(ratio="variable", itmax="7", tol="1e-3", order_range=("1", "3"))),
    ("two grids", ["0.2", "0.1"], ["1.5", "1.25"], dict(ratio="constant")),
    ("diverging", ["0.4", "0.2", "0.1", "0.05"], ["1", "2", "4", "8.5"], dict(ratio="constant")),
]


@pytest.mark.parametrize("name,h,values,settings", STUDIES, ids=[s[0] for s in STUDIES])
def test_to_dict_and_summary_equal_the_program(tmp_path, name, h, values, settings):
    expected, summary = direct_run(tmp_path, h[::-1], values[::-1], **settings)
    a = morvantide.analyse(h[::-1], values[::-1], **settings)
    assert a.to_dict() == expected
    # The program ends with a line on where the terms are defined, and names
    # its option where Python has a keyword.
    block, terms = summary.rsplit("\n\n", 1)
    assert terms.startswith("terms (Th, U, ")
    assert a.summary() == block.replace("set with --order", "set with order=") + "\n"
    if "cells" not in settings:
        assert a.h == [Decimal(x) for x in h]
    assert a.verdict == expected["verdict"] and a.Th == expected["Th"]
    assert a.number == 1 and type(a.number) is int
    grid = a.to_dict()["verdict"]["finest"]["grid"]
    assert grid == len(h) and type(grid) is int


def test_without_least_squares_only_those_lists_are_missing(tmp_path):
    h, values, settings = STUDIES[1][1:]
    expected, _ = direct_run(tmp_path, h, values, **settings)
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


# (name, keyword arguments, message): the program's words where it has them.
BAD = [
    ("h None", dict(h=None), "h must be a sequence of numbers (a list, tuple or numpy array), "
     "found None"),
    ("values a str", dict(values="12"), "values must be a sequence of numbers "
     "(a list, tuple or numpy array), found str"),
    ("lengths", dict(values=[1, 2]), "h has 3 entries and values 2: each grid needs one value"),
    ("no grids", dict(h=[], values=[]), "h is empty: a study needs at least two grids"),
    ("zero h", dict(h=[0.2, 0, 0.1]), "h[1]: h must be a positive number, found 0"),
    ("negative h", dict(h=[0.2, "-0.1", 0.1]), "h[1]: h must be a positive number, found -0.1"),
    ("infinite h", dict(h=[float("inf"), 1, 2]), 'h[0]: expected a number, found "inf"'),
    ("NaN value", dict(values=[1, np.nan, 2]), 'values[1]: expected a number, found "nan"'),
    ("Decimal NaN", dict(values=[1, Decimal("NaN"), 2]),
     'values[1]: expected a number, found "NaN"'),
    ("equal h", dict(h=[0.2, 0.1, "1E-1"]), "h[2]: the same h as h[1] (0.1): "
     "each grid needs an h of its own"),
    ("not a number", dict(h=["0.2", "0,1", "x"]), 'h[1]: expected a number, found "0,1"'),
    ("two numbers", dict(values=[1, "2 3", 4]), 'values[1]: expected a number, found "2 3"'),
    ("overflow", dict(values=[1, "1e5000", 2]), 'values[1]: the number does not fit a binary128 '
     'real: "1e5000"'),
    ("nested list", dict(h=[[0.2], 0.1, 0.05]), "h[0]: expected a number (int, float, Decimal or "
     "str), found list"),
    ("None inside", dict(values=[1, None, 2]), "values[1]: expected a number (int, float, "
     "Decimal or str), found None"),
    ("bool", dict(values=[True, 1, 2]), "values[0]: expected a number (int, float, Decimal or "
     "str), found bool"),
    ("2-D array", dict(h=np.ones((3, 2))), "h[0]: expected a number (int, float, Decimal or str), "
     "found ndarray"),
    ("huge array", dict(h=np.ones(10**6)), "h: 1000000 grids are more than a run takes "
     "(at most 11000)"),
    ("endless", dict(h=itertools.count(1)), "h: more grids than a run takes (at most 11000)"),
    ("itmax", dict(itmax=1.5), "bad value for itmax: 1.5 (a whole number of iterations, "
     "at least 1)"),
    ("itmax 0", dict(itmax=0), "bad value for itmax: 0 (a whole number of iterations, "
     "at least 1)"),
    ("cells", dict(cells=0), "bad value for cells: 0 (the grid's dimension: 1, 2 or 3)"),
    ("cells 4", dict(cells=4), "bad value for cells: 4 (the grid's dimension: 1, 2 or 3)"),
    ("zero cells", dict(cells=2, h=[64, 0, 16]), "h[1]: the cell count must be a positive "
     "number, found 0"),
    ("ratio", dict(ratio="sometimes"), "bad value for ratio: 'sometimes' ('constant', "
     "'variable' or None)"),
    ("order", dict(order="two"), "bad value for order: 'two' (a positive finite number)"),
    ("negative order", dict(order=-1), "bad value for order: -1 (a positive finite number)"),
    ("zero order step", dict(order_step=0), "bad value for order_step: 0 (a positive finite "
     "number)"),
    ("one grid", dict(h=["0.2"], values=["1.5"]), "h: 1 grid: a study needs at least two grids"),
    ("order range", dict(order_range=(1,)), "bad value for order_range: (1,) ((pU_min, pU_max), "
     "two numbers, the first the smaller, such as (0.5, 5))"),
    ("order range reversed", dict(order_range=(3, 1)), "bad value for order_range: (3, 1) "
     "((pU_min, pU_max), two numbers, the first the smaller, such as (0.5, 5))"),
    ("tol", dict(tol=0), "bad value for tol: 0 (a positive number)"),
    ("target", dict(target="-1"), "bad value for target: '-1' (a positive number, or a "
     "percentage such as 0.1%)"),
]


@pytest.mark.parametrize("name,kwargs,message", BAD, ids=[b[0] for b in BAD])
def test_bad_input_raises_value_error_with_the_message(name, kwargs, message):
    args = dict(h=[0.2, 0.1, 0.05], values=[1, 2, 3])
    args.update(kwargs)
    with pytest.raises(ValueError) as e:
        morvantide.analyse(**args)
    assert str(e.value) == message
    # A setting is refused by the same rule and words in a field.
    if message.startswith("bad value for") and "target" not in kwargs:
        with pytest.raises(ValueError) as e:
            morvantide.analyse_field([0.2, 0.1, 0.05], np.array([[1.0, 2.0, 3.0]]), **kwargs)
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
    doc = subprocess.run([PROGRAM, "--json", "-", "--target", "1%", path], capture_output=True,
                         text=True, check=True).stdout
    expected = json.loads(doc, parse_float=Decimal)["variables"]
    assert [a.to_dict() for a in morvantide.analyse_table(path, target="1%")] == expected


def test_a_windows_1252_name_reads_the_same_in_the_dict_and_the_summary(tmp_path):
    (tmp_path / "t.txt").write_bytes(b"h \xe9t\xe9\n0.2 1\n0.1 2\n")
    (a,) = morvantide.analyse_table(tmp_path / "t.txt")
    assert a.name == "\u00e9t\u00e9" and a.summary().startswith('variable 1 "\u00e9t\u00e9": 2 grids')


# Tables the program refuses: the module raises the message it prints.
BAD_TABLES = [
    "0.2;1,5\n0.1;1,25\n",
    "h u\n0.2 1\n0.1\n",
    "0.2 1\n0.1 x\n",
    "0.2 1\n0.2 2\n",
    "# nothing\n",
    "0.2 1\n-0.1 2\n",
    '0.2 "1\n',
    "h u\r0.2 1\r0.1 2\r",
]


@pytest.mark.parametrize("text", BAD_TABLES)
def test_bad_tables(tmp_path, text):
    os.chdir(tmp_path)
    (tmp_path / "study.csv").write_text(text)
    run = subprocess.run([PROGRAM, "--summary", "study.csv"], capture_output=True, text=True)
    assert run.returncode != 0 and run.stderr.count("\n") == 1
    with pytest.raises(ValueError) as e:
        morvantide.analyse_table("study.csv")
    assert str(e.value) == run.stderr.rstrip("\n")


def test_paths_are_taken_as_open_takes_them(tmp_path):
    os.chdir(tmp_path)
    (tmp_path / "study.csv").write_text("h u\n0.2 1\n0.1 2\n")
    (tmp_path / "study.csv.json").write_text("h u\n0.2 1\n0.1 1\n")
    os.rename(tmp_path / "study.csv.json", os.fsencode(tmp_path) + b"/\xffstudy.csv")
    expected = morvantide.analyse_table("study.csv")[0].to_dict()
    for path in [b"study.csv", tmp_path / "study.csv", os.fsencode(tmp_path / "study.csv")]:
        assert morvantide.analyse_table(path)[0].to_dict() == expected, path
    assert morvantide.analyse_table(b"\xffstudy.csv")[0].Th == [Decimal(1), Decimal(1)]
    assert morvantide.analyse_table(os.fsdecode(b"\xffstudy.csv"))[0].Th == [Decimal(1), Decimal(1)]
    with pytest.raises(ValueError, match="embedded null byte"):
        morvantide.analyse_table("study.csv\0.json")
    with pytest.raises(TypeError):
        morvantide.analyse_table(3)


def run_script(script, timeout=60, env=None):
    """A Python of its own running `script` with the module; its output."""
    env = dict(os.environ, **(env or {}))
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=timeout, env=env, check=True).stdout


def test_numbers_do_not_depend_on_the_callers_locale(tmp_path):
    if subprocess.run(["localedef", "-i", "pt_BR", "-f", "UTF-8", tmp_path / "pt_BR.UTF-8"],
                      capture_output=True).returncode not in (0, 1):
        pytest.skip("no localedef to make a locale with a decimal comma")
    script = """if True:
        import locale, morvantide
        locale.setlocale(locale.LC_ALL, "pt_BR.UTF-8")
        assert locale.localeconv()["decimal_point"] == ","
        for h, t in [(["0.4", "0.2", "0.1", "0.05"], ["1.16", "1.04", "1.01", "1.0025"]),
                     ([8, 4, 2, 1], [16, 5, 2, 1])]:
            a = morvantide.analyse(h, t, tol="1e-12", order="2.0")
            print(a.to_dict(), a.summary(), a.h)
        try:
            import numpy
        except ImportError:
            numpy = None
        if numpy is not None:
            F = numpy.array([["1.16", "1.04", "1.01"], ["2.3", "2.1", "2.02"]], dtype=object)
            f = morvantide.analyse_field(["0.4", "0.2", "0.1"], F, tol="1e-12")
            print(f.summary, f.Th, f.U, morvantide.merge_field_summaries([f, f]))
    """
    in_c = run_script(script.replace('"pt_BR.UTF-8"', '"C"').replace('","', '"."'))
    assert run_script(script, env={"LOCPATH": str(tmp_path)}) == in_c
    assert "'pU_Th': [None, None, Decimal(" in in_c


LONG_STUDY = """
from decimal import Decimal
h = [str(1 / (1 + Decimal(k) / 7 + Decimal(k * k) / 1000)) for k in range(3000)]
t = [str(1 + Decimal(x) ** 2) for x in h]
"""

# Ends of a process that must not wait for the module's threads: (what, script).
EXITS = [
    ("a forked child's normal exit", """if True:
        import os, signal, morvantide
        h = [str(1 / 1.1 ** k) for k in range(300)]
        morvantide.analyse(h, [str(1 + float(x) ** 2) for x in h], least_squares=False)
        pid = os.fork()
        if pid == 0:
            signal.alarm(30)
            morvantide.analyse(h, h, least_squares=False)
            raise SystemExit(0)  # the exit of a normal end, not os._exit
        print(os.waitpid(pid, 0)[1])
    """),
    ("the interpreter's exit with a daemon thread inside analyse()", LONG_STUDY + """
import threading, time, morvantide
threading.Thread(target=morvantide.analyse, args=(h, t), daemon=True).start()
time.sleep(1.5)
print(0)
"""),
]


@pytest.mark.parametrize("what,script", EXITS, ids=[e[0] for e in EXITS])
def test_exit_waits_for_no_thread_of_the_module(what, script):
    assert run_script(script, timeout=30, env={"MORVANTIDE_THREADS": "2"}) == "0\n"


# Long calls that Ctrl-C must stop: (what, the setup, the call).
LONG_CALLS = [
    ("analyse", LONG_STUDY, "morvantide.analyse(h, t)"),
    # A variable ratio: seconds of order searches for the whole field.
    ("analyse_field", """
import numpy
h = [1, 0.55, 0.3]
F = 1 + numpy.outer(numpy.linspace(0.5, 2, 100000), numpy.array(h) ** 1.7)
""", "morvantide.analyse_field(h, F)"),
]


@pytest.mark.parametrize("what,setup,call", LONG_CALLS, ids=[c[0] for c in LONG_CALLS])
def test_ctrl_c_stops_a_long_analysis_at_once(what, setup, call):
    if what == "analyse_field":
        pytest.importorskip("numpy")
    script = setup + """
import os, signal, threading, time, morvantide
threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
start = time.monotonic()
try:
    CALL
    print("finished")
except KeyboardInterrupt:
    print("interrupted", time.monotonic() - start < 2.5)
print(len(morvantide.analyse([0.4, 0.2, 0.1], [1.16, 1.04, 1.01]).Th))
""".replace("CALL", call)
    assert run_script(script) == "interrupted True\n3\n"


def test_a_missing_file_is_the_programs_message(tmp_path):
    os.chdir(tmp_path)
    with pytest.raises(FileNotFoundError) as e:
        morvantide.analyse_table("none.csv")
    assert str(e.value) == "none.csv: cannot open (No such file or directory)"
    assert e.value.errno == errno.ENOENT and not isinstance(e.value, ValueError)


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


# Calls of about a quarter of a second: (what, the call on h, values and a
# table of them).
LOCK_CALLS = [
    ("analyse", lambda h, t, path: morvantide.analyse(h, t)),
    ("analyse_columns", lambda h, t, path: morvantide.analyse_columns(h, {"u": t})),
    ("analyse_table", lambda h, t, path: morvantide.analyse_table(path)),
]


@pytest.mark.parametrize("what,call", LOCK_CALLS, ids=[c[0] for c in LOCK_CALLS])
def test_the_lock_is_released_while_a_study_is_analysed(tmp_path, ticks_during, what, call):
    h = [str(1 / (1 + Decimal(k) / 7 + Decimal(k * k) / 1000)) for k in range(300)]
    t = [str(1 + Decimal(x) ** 2) for x in h]
    path = tmp_path / "study.csv"
    path.write_text("h,u\n" + "".join("%s,%s\n" % row for row in zip(h, t)))
    assert ticks_during(lambda: call(h, t, path)) > 20


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
    shown = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True).stdout
    assert shown == "morvantide " + morvantide.__version__ + "\n"
