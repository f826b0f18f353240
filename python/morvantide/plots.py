"""Pictures of a study with matplotlib: the values against h with the curves
through them, and the observed orders.  Every line is drawn from the
analysis' own numbers (each named by its gid: "data", "richardson",
"least_squares", "extrapolated", "uncertainty", "observed", "p_LS", "pL"), so
what a figure shows can be read back from its Axes.  The curves between the
grids are sampled in float64: they are for the eye, not further work."""
import math

from ._analysis import to_float

_KINDS = ("study", "orders")
# Grid sizes spread over at least this factor are drawn on a log axis.
_LOG_SPREAD = 10


def _last(entries):
    """The finest grid's entry as a finite float, or None."""
    x = to_float(entries[-1])
    return x if math.isfinite(x) else None


def _basis(model, p, x):
    """The columns of the least-squares model (phi0 apart) at the sizes x."""
    if model == "M1":
        return [x ** p]
    if model == "M2":
        return [x]
    if model == "M3":
        return [x ** 2]
    return [x, x ** 2]


def _least_squares_curve(np, d, T, h):
    """The chosen least-squares fit at the finest grid as a function of h,
    or None: phi0 is the analysis' T0_LS, and the other coefficients are the
    weighted least squares of Th - T0_LS on the model's terms, as the fit
    has them at its phi0 (x = h / h_finest; weights 1/n, or (1/x)/sum(1/x))."""
    words = d["model_LS"][-1]
    T0, p = _last(d["T0_LS"]), _last(d["p_LS"])
    if words is None or T0 is None:
        return None
    model, weighted = words.split()[0], "unweighted" not in words
    if model == "M1" and p is None:
        return None
    x = np.asarray(h) / h[-1]
    phi = np.array(T)
    w = (1 / x) / np.sum(1 / x) if weighted else np.full(len(x), 1 / len(x))
    A = np.stack(_basis(model, p, x), axis=1) * np.sqrt(w)[:, None]
    coef = np.linalg.lstsq(A, (phi - T0) * np.sqrt(w), rcond=None)[0]
    return lambda hs: T0 + sum(c * b for c, b in zip(coef, _basis(model, p, hs / h[-1])))


def plot(analysis, ax=None, kind="study", logx=None):
    """Draws the study on ax (a new figure's Axes when None) and returns the
    Axes.  kind="study": the values Th against h; the Richardson curve with
    the observed order through the finest grids (Ti_pU + (Th_n - Ti_pU)
    (h/h_n)^pU_Th); the least-squares fit where the finest grid has one; the
    extrapolated value (Ti_pU, or Ti_pL without an observed order) as a line
    with U as a band around it.  kind="orders": the observed order pU_Th of
    each grid and p_LS against pL.  logx: a log axis of h (None: when the grid
    sizes spread over a factor of 10 or more)."""
    if kind not in _KINDS:
        raise ValueError("kind must be 'study' or 'orders', found %r" % (kind,))
    try:
        import numpy as np
        if ax is None:
            import matplotlib.pyplot as plt
    except ImportError as e:
        raise ImportError("morvantide.plot needs matplotlib (Debian: python3-matplotlib; "
                          "pip: matplotlib)") from e
    if ax is None:
        ax = plt.subplots()[1]
    d = analysis.to_dict()
    # The per-grid numbers drawn are to_numpy()'s, each rounded once.
    f = analysis.to_numpy()
    h = f["h"].tolist()
    if logx is None:
        logx = max(h) / min(h) >= _LOG_SPREAD
    name = 'variable %d "%s"' % (d["number"], d["name"]) if d["name"] else "variable %d" % d[
        "number"]
    if kind == "study":
        _study(np, ax, d, f, h, logx)
        ax.set_ylabel(d["name"] or "Th")
    else:
        _orders(ax, f, h, analysis.settings)
        ax.set_ylabel("order")
    if logx:
        ax.set_xscale("log")
    ax.set_xlabel("h")
    ax.set_title(name)
    ax.legend(fontsize="small")
    return ax


def _study(np, ax, d, f, h, logx):
    T = f["Th"].tolist()
    ax.plot(h, T, "o", color="black", label="Th", gid="data", zorder=3)
    # Between the grids and beyond the coarsest; down to h = 0 on a linear axis.
    if logx:
        hs = np.geomspace(h[-1] / 2, h[0], 200)
    else:
        hs = np.linspace(0, h[0], 200)
    hs = np.unique(np.concatenate([hs, h]))
    p, Ti = _last(d["pU_Th"]), _last(d["Ti_pU"])
    if p is not None and Ti is not None and p > 0:
        ax.plot(hs, Ti + (T[-1] - Ti) * (hs / h[-1]) ** p, "-", color="C0", gid="richardson",
                label="Richardson, observed order %.6g" % p)
    curve = _least_squares_curve(np, d, T, h)
    if curve is not None:
        ax.plot(hs, curve(hs), "--", color="C1", gid="least_squares",
                label="least squares, %s (T0_LS = %.6g)" % (d["model_LS"][-1],
                                                             to_float(d["T0_LS"][-1])))
    extrapolated, words = _last(d["Ti_pU"]), "Ti_pU"
    if extrapolated is None:
        extrapolated, words = _last(d["Ti_pL"]), "Ti_pL"
    if extrapolated is not None:
        ax.axhline(extrapolated, color="C2", linewidth=1, gid="extrapolated",
                   label="%s = %.6g (h = 0)" % (words, extrapolated))
        U = to_float(d["verdict"]["finest"]["U"])
        if math.isfinite(U):
            ax.axhspan(extrapolated - U, extrapolated + U, color="C2", alpha=0.2,
                       gid="uncertainty", label="U = %.2g (%s)" % (
                           U, d["verdict"]["finest"]["U_source"]))


def _orders(ax, f, h, settings):
    observed = f["pU_Th"].tolist()
    ax.plot(h, observed, "o-", color="C0", gid="observed", label="observed order pU_Th")
    p_LS = f["p_LS"].tolist()
    if any(math.isfinite(p) for p in p_LS):
        ax.plot(h, p_LS, "s--", color="C1", gid="p_LS", label="least-squares order p_LS")
    pL = to_float(settings["pL"])
    ax.axhline(pL, color="black", linewidth=1, gid="pL", label="pL = %.6g" % pL)
