"""Field mode: each point's figures are analyse()'s of its column, the summary
merges exactly from chunks (also on a Dask cluster), the program's .npz and
JSON hold the same, and bad fields are refused."""
import json
import os
import subprocess
from decimal import Decimal

import numpy as np
import pytest

import morvantide

PROGRAM = os.environ.get("MORVANTIDE_BINARY", "morvantide")
FIGURES = ["Th", "p_observed", "p_U", "Ti_pU", "Tm1", "U", "U_relative"]


def sample_field(h, seed=7, n=60):
    """Points of every kind: converging, oscillating, diverging, constant, equal values."""
    rng = np.random.default_rng(seed)
    h = np.asarray(h, dtype=float)
    p = rng.uniform(-1.5, 6, n)
    C = rng.uniform(-1, 1, n)
    F = 1 + C[:, None] * h[None, :] ** p[:, None]
    F[::5, 1::2] = 2 - F[::5, 1::2]  # oscillating
    F[3] = 0.25                      # constant
    F[4, -1] = F[4, -2]              # equal on the finest two
    return F


def as_float(x):
    return float("nan") if x is None else float(x)


@pytest.mark.parametrize("h,settings", [
    ([0.4, 0.2, 0.1], {}),
    ([0.4, 0.2, 0.1, 0.05], {}),
    ([1, 0.6, 0.35, 0.2], {}),
    ([1, 0.476, 0.223], dict(order=1)),
    ([8, 64, 512, 4096], dict(cells=3)),
], ids=["3 constant", "4 constant", "4 variable", "3 variable order 1", "cells"])
def test_each_point_is_the_analysis_of_its_column(h, settings):
    F = sample_field(h)
    f = morvantide.analyse_field(h, F, **settings)
    assert len(f) == F.shape[0]
    for k in range(F.shape[0]):
        a = morvantide.analyse(h, list(F[k]), least_squares=False, **settings)
        finest = a.to_dict()["verdict"]["finest"]
        for name in FIGURES:
            assert np.array_equal(getattr(f, name)[k], as_float(finest[name]), equal_nan=True), \
                (k, name)
        assert morvantide.Field.convergence_names[f.convergence[k]] == finest["convergence"]
        assert morvantide.Field.asymptotic_names[f.asymptotic[k]] == finest["asymptotic"]
        assert bool(f.gci_dependable[k]) == finest["gci_dependable"]


def test_least_squares_only_when_asked():
    h = [0.4, 0.2, 0.1, 0.05]
    F = sample_field(h, n=6)
    assert np.all(np.isnan(morvantide.analyse_field(h, F).U_LS))
    f = morvantide.analyse_field(h, F, least_squares=True)
    for k in range(6):
        a = morvantide.analyse(h, list(F[k]))
        assert np.array_equal(f.U_LS[k], as_float(a.to_dict()["verdict"]["finest"]["U_LS"]),
                              equal_nan=True)


def test_exact_decimals_from_strings_and_decimals():
    h = ["0.4", "0.2", "0.1"]
    rows = [["1.16", "1.04", "1.01"], ["2.000000000000000000000000001", "2.5", "2.75"]]
    f = morvantide.analyse_field(h, np.array(rows, dtype=object))
    g = morvantide.analyse_field(h, np.array([[Decimal(x) for x in r] for r in rows], dtype=object))
    for k, row in enumerate(rows):
        finest = morvantide.analyse(h, row, least_squares=False).to_dict()["verdict"]["finest"]
        for name in FIGURES:
            assert np.array_equal(getattr(f, name)[k], as_float(finest[name]), equal_nan=True)
            assert np.array_equal(getattr(g, name)[k], getattr(f, name)[k], equal_nan=True)


def test_every_numpy_type_is_read_as_analyse_reads_its_numbers():
    h = [0.4, 0.2, 0.1]
    for F in (np.array([[2**62 + 1, 2**62, 2**62 - 1]], dtype=np.int64),  # not doubles np.array([[5, 3, 2]], dtype=np.int32),
              np.array([[0.1, 0.3, 0.7]], dtype=np.float32),
              np.array([[2**64 - 1, 3, 2]], dtype=np.uint64)):
        f = morvantide.analyse_field(h, F)
        finest = morvantide.analyse(h, list(F[0]), least_squares=False).to_dict()["verdict"]["finest"]
        for name in FIGURES:
            assert np.array_equal(getattr(f, name)[0], as_float(finest[name]), equal_nan=True), \
                (F.dtype, name)
        assert morvantide.Field.convergence_names[f.convergence[0]] == finest["convergence"]


def test_chunk_summaries_merge_to_the_whole():
    h = [0.4, 0.2, 0.1, 0.05]
    F = sample_field(h, n=300)
    whole = morvantide.analyse_field(h, F).summary
    for chunks in (1, 2, 7):
        parts = [morvantide.analyse_field(h, c) for c in np.array_split(F, chunks)]
        assert morvantide.merge_field_summaries(parts) == whole
        assert morvantide.merge_field_summaries([p.summary for p in parts]) == whole
    assert whole["points"] == 300
    assert sum(whole["convergence"]["counts"]) == 300
    # Celik's average apparent order against numpy over the same orders.
    f = morvantide.analyse_field(h, F)
    p = f.p_observed[~np.isnan(f.p_observed)]
    assert whole["observed_order"]["points"] == p.size
    assert abs(whole["observed_order"]["mean"] - p.mean()) <= 1e-12 * abs(p.mean())
    assert whole["observed_order"]["min"] == p.min()
    U = f.U[~np.isnan(f.U)]
    assert abs(whole["U"]["mean"] - U.mean()) <= 1e-12 * U.mean()


def test_merging_other_grids_is_refused():
    a = morvantide.analyse_field([0.4, 0.2, 0.1], np.ones((2, 3)))
    b = morvantide.analyse_field([0.4, 0.2, 0.11], np.ones((2, 3)))
    with pytest.raises(ValueError, match="other grids"):
        morvantide.merge_field_summaries([a, b])
    with pytest.raises(ValueError, match="not a field summary"):
        morvantide.merge_field_summaries([a, {"points": 2}])


@pytest.mark.parametrize("h,F,message", [
    ([0.4, 0.2, 0.1], np.ones(3), "2-D array"),
    ([0.4, 0.2, 0.1], np.ones((2, 4)), "4 columns"),
    ([0.4, 0.2], np.ones((2, 2)), "at least 3 grids"),
    ([0.4, 0.2, 0.1], np.array([[1, np.nan, 2.0]]), r"F\[0, 1\]: NaN"),
    ([0.4, 0.2, 0.1], np.array([["1", "x", "2"]], dtype=object), "expected a number"),
    ([0.4, 0.2, 0.2], np.ones((2, 3)), "0.2"),
])
def test_bad_fields(h, F, message):
    with pytest.raises(ValueError, match=message):
        morvantide.analyse_field(h, F)


def test_program_npz_and_json_hold_the_modules_figures(tmp_path):
    h = [0.4, 0.2, 0.1, 0.05]
    F = sample_field(h, n=500)
    np.save(tmp_path / "f.npy", F)
    subprocess.run([PROGRAM, "--field", str(tmp_path / "f.npy"), "--h", "0.4,0.2,0.1,0.05",
                    "--output", str(tmp_path / "o.npz"), "--json", str(tmp_path / "s.json")],
                   check=True, capture_output=True)
    f = morvantide.analyse_field(h, F)
    z = np.load(tmp_path / "o.npz")
    for name in FIGURES + ["convergence", "asymptotic", "gci_dependable"]:
        assert np.array_equal(z[name], getattr(f, name), equal_nan=True), name
    assert list(z["convergence_names"]) == list(morvantide.Field.convergence_names)
    assert morvantide.Field.convergence_names == morvantide.CONVERGENCE
    summary = json.loads((tmp_path / "s.json").read_text())
    assert summary["state"] == f.summary["state"]


def test_dask_map_blocks_on_two_worker_processes_gives_the_same_bits():
    dask = pytest.importorskip("dask.array")
    distributed = pytest.importorskip("distributed")
    h = [0.4, 0.2, 0.1, 0.05]
    F = sample_field(h, n=2000)
    one = morvantide.analyse_field(h, F)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        blocks = dask.from_array(F, chunks=(300, len(h)))
        U = blocks.map_blocks(lambda b: morvantide.analyse_field(h, b).U, drop_axis=1,
                              dtype=float).compute()
        states = blocks.map_blocks(
            lambda b: np.array([morvantide.analyse_field(h, b).summary["state"]], dtype=object),
            drop_axis=1, chunks=((1,) * blocks.numblocks[0],), dtype=object).compute()
    assert np.array_equal(U, one.U, equal_nan=True)
    merged = morvantide.merge_field_summaries([{"state": s} for s in states])
    assert merged == one.summary


def test_the_lock_is_released_while_a_field_is_analysed(ticks_during):
    h = [1, 0.6, 0.35, 0.2]  # a variable ratio: some tenths of a second of order searches
    F = sample_field(h, n=3000)
    assert ticks_during(lambda: morvantide.analyse_field(h, F)) > 20
