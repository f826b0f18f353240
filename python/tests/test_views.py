"""Analysis as a view of its results: a file's fault raised as the OSError of
its kind with the program's message, attributes built once and handed out
the same each time, and float64 values rounded once from binary128."""
import decimal
import errno
import math
import os
import subprocess
from fractions import Fraction

import numpy as np
import pytest

import morvantide

PROGRAM = os.environ.get("MORVANTIDE_BINARY", "morvantide")


def lay_out(folder):
    (folder / "plain.csv").write_text("h u\n0.2 1\n0.1 2\n")
    (folder / "bad.csv").write_text("h u\n0.2 1\n0.1 x\n")
    (folder / "folder.csv").mkdir()
    os.mkfifo(folder / "fifo.csv")


# (path, the exception's class, its errno): the message is the program's.
FILE_FAULTS = [
    ("none.csv", FileNotFoundError, errno.ENOENT),
    ("nowhere/none.csv", FileNotFoundError, errno.ENOENT),
    ("folder.csv", IsADirectoryError, errno.EISDIR),
    ("plain.csv/x", NotADirectoryError, errno.ENOTDIR),
    ("fifo.csv", OSError, None),
    ("bad.csv", ValueError, None),
]


@pytest.mark.parametrize("path,kind,number", FILE_FAULTS, ids=[f[0] for f in FILE_FAULTS])
def test_a_file_fault_is_the_os_error_of_its_kind_with_the_programs_message(
        tmp_path, path, kind, number):
    os.chdir(tmp_path)
    lay_out(tmp_path)
    run = subprocess.run([PROGRAM, "--summary", path], capture_output=True, text=True)
    assert run.returncode != 0
    with pytest.raises(Exception) as e:
        morvantide.analyse_table(path)
    assert type(e.value) is kind and str(e.value) == run.stderr.rstrip("\n")
    assert isinstance(e.value, ValueError) != isinstance(e.value, OSError)
    if kind is not ValueError:
        assert e.value.errno == number and e.value.filename is None


def long_study(n):
    """n grids of 11, ..., n + 10 cells, h = 1/cells, values 1 + h^2 (with
    cells=1)."""
    cells = [11 + k for k in range(n)]
    return cells, [str(1 + decimal.Decimal(1) / (x * x)) for x in cells]


@pytest.fixture(scope="module")
def thousand_grids():
    return morvantide.analyse(*long_study(1000), least_squares=False, cells=1)


def test_attributes_are_built_once_and_read_in_linear_time(thousand_grids, monkeypatch):
    a = morvantide.analyse(*long_study(1000), least_squares=False, cells=1)
    made = []
    base = decimal.Decimal

    class Counted(base):
        def __new__(cls, *args):
            made.append(1)
            return base.__new__(cls, *args)

    monkeypatch.setattr(decimal, "Decimal", Counted)
    for i in range(1000):
        a.Th[i], a.verdict["U"][i], a.pU_Th[i], a.h[i]
    built = len(made)
    # One Decimal per real of the object and of h, at most: no list per access.
    lists = len(a._keys()) + len(a.verdict)
    assert 1000 < built <= 1000 * (lists + 1)
    d = a.to_dict()
    for key in ("Th", "Tm1", "UGCI_Th"):
        assert [d[key][i] for i in range(1000)] == getattr(a, key)
    assert len(made) == built  # to_dict() converts nothing again
    assert a.Th is a.Th and a.verdict is a.verdict and a.h is a.h and a.settings is a.settings
    # to_dict() gives lists of its own over the same entries.
    assert d["Th"] is not a.Th and d["Th"][5] is a.Th[5]
    d["Th"].clear()
    d["verdict"]["finest"]["Th"] = None
    assert len(a.Th) == 1000 and a.to_dict()["verdict"]["finest"]["Th"] == a.Th[-1]
    assert a.to_dict()["verdict"]["finest"]["U"] is not None
    assert a.to_dict() == thousand_grids.to_dict()


def exact_text(x):
    """The exact decimal text of a dyadic fraction."""
    k = x.denominator.bit_length() - 1
    return "%dE-%d" % (x.numerator * 5 ** k, k)


def nearest_double(x):
    """The double nearest to x, ties to even (Fraction -> float rounds once)."""
    try:
        return float(x)
    except OverflowError:
        return math.inf if x > 0 else -math.inf


ONE, ULP = Fraction(1), Fraction(1, 2 ** 52)
TINY = Fraction(1, 2 ** 1074)  # the least subnormal double
BIG = Fraction(2 ** 1024 - 2 ** 971)  # the greatest double
# (name, exact binary128 value, 113 bits at most): either side of each
# double's midpoint.
ROUNDINGS = [
    ("1 + 3*2^-53, a tie: to even, up", ONE + 3 * ULP / 2),
    ("1 + 2^-53, a tie: to even, down", ONE + ULP / 2),
    ("1 + 2^-53 + 2^-112, above the tie", ONE + ULP / 2 + Fraction(1, 2 ** 112)),
    ("1 + 2^-53 - 2^-112, below the tie", ONE + ULP / 2 - Fraction(1, 2 ** 112)),
    ("-(1 + 3*2^-53)", -(ONE + 3 * ULP / 2)),
    ("-(1 + 2^-53 + 2^-112)", -(ONE + ULP / 2 + Fraction(1, 2 ** 112))),
    ("half the least subnormal: to 0", TINY / 2),
    ("just above half the least subnormal", TINY / 2 + Fraction(1, 2 ** 1180)),
    ("3/2 of the least subnormal: to 2", 3 * TINY / 2),
    ("a subnormal's tie, negative", -5 * TINY / 2),
    ("the least normal's neighbour tie", Fraction(1, 2 ** 1022) + TINY / 2),
    ("the greatest double's tie: to inf", BIG + 2 ** 970),
    ("just below it: the greatest double", BIG + 2 ** 970 - 2 ** 911),
    ("minus the tie: -inf", -(BIG + 2 ** 970)),
    ("0.1, not dyadic", None),
]


def test_to_numpy_rounds_each_binary128_value_once_to_the_nearest_double():
    pd = pytest.importorskip("pandas")
    values = [exact_text(x) if x is not None else "0.1" for _, x in ROUNDINGS]
    h = [exact_text(Fraction(1, 2 ** k)) for k in range(len(values))]
    a = morvantide.analyse(h, values, least_squares=False)
    got = a.to_numpy()["Th"]
    for (name, x), g in zip(ROUNDINGS, got.tolist()):
        want = 0.1 if x is None else nearest_double(x)
        assert (g, math.copysign(1, g)) == (want, math.copysign(1, want)), name
    assert a.to_numpy()["h"].tolist() == [2.0 ** -k for k in range(len(values))]
    assert np.array_equal(a.to_frame()["Th"], got)
    # The decimal text rounds differently at the first tie: one ulp off.
    assert float(a.Th[0]) != got[0]
