#!/usr/bin/env python3
"""Independent check of Morvantide's least-squares uncertainty U_LS.

Computes the estimator from its definitions with mpmath at 50 significant
digits (normal equations, which 50 digits can afford; the root of dS/dp by
mpmath's own root finder), on generated studies whose inputs are exact
binary128 numbers, runs the test driver on the same studies, and requires
U_LS and p_LS to agree to 20 significant digits, the chosen model and Fs to be
the same, and T0_LS and sigma_LS to agree as well.

    python3 ls_reference.py DRIVER      exit status 0 when everything agrees

Needs python3-mpmath; without it the check fails (exit status 2).
"""

import math
import random
import subprocess
import sys

try:
    import mpmath
    from mpmath import mp, mpf
except ImportError:
    sys.stderr.write("ls_reference.py: mpmath is missing (apt-get install python3-mpmath)\n")
    sys.exit(2)

mp.dps = 50
DIGITS = mpf("1e-20")
SCAN = 2000


# ---------------------------------------------------------------- estimator

def scan_point(k):
    return mpf("0.01") * mpf(2000) ** (mpf(k) / (SCAN - 1))


def lsq(columns, phi, w):
    """Weighted least squares by the normal equations of the columns scaled to
    a largest entry of 1; None when singular."""
    m = len(columns)
    scales = [max(abs(v) for v in col) for col in columns]
    columns = [[v / s for v in col] for col, s in zip(columns, scales)]
    a = mp.matrix(m, m)
    b = mp.matrix(m, 1)
    for r in range(m):
        b[r] = mpmath.fsum(wj * cj * pj for wj, cj, pj in zip(w, columns[r], phi))
        for c in range(m):
            a[r, c] = mpmath.fsum(wj * cr * cc for wj, cr, cc in zip(w, columns[r], columns[c]))
    try:
        sol = mpmath.lu_solve(a, b)
    except ZeroDivisionError:
        return None
    return [sol[r] / scales[r] for r in range(m)]


class Fit:
    def __init__(self, coef, columns, phi, w, unknowns):
        n = len(phi)
        self.coef = coef
        self.f = [mpmath.fsum(c * col[j] for c, col in zip(coef, columns)) for j in range(n)]
        self.res = [pj - fj for pj, fj in zip(phi, self.f)]
        self.S = mpmath.fsum(wj * rj * rj for wj, rj in zip(w, self.res))
        self.sigma = mpmath.sqrt(n * self.S / (n - unknowns))
        self.phi0 = coef[0]


def fit_power(x, phi, w, p):
    cols = [[mpf(1)] * len(x), [xj ** p for xj in x]]
    coef = lsq(cols, phi, w)
    return None if coef is None else Fit(coef, cols, phi, w, 3)


def dS_dp(x, phi, w, p):
    """Derivative of the least residual sum of M1 with respect to p."""
    fit = fit_power(x, phi, w, p)
    alpha = fit.coef[1]
    return -2 * alpha * mpmath.fsum(
        wj * rj * xj ** p * mpmath.log(xj) for wj, rj, xj in zip(w, fit.res, x))


def float_scan(x, phi, w):
    """Index of the least residual sum over the scan (plain floats)."""
    top = max(phi)
    bottom = min(phi)
    z = [float((pj - bottom) / (top - bottom)) for pj in phi]
    lx = [math.log(float(xj)) for xj in x]
    wf = [float(wj) for wj in w]
    best, least = None, math.inf
    for k in range(SCAN):
        p = 0.01 * 2000.0 ** (k / (SCAN - 1))
        y = [math.exp(p * l) for l in lx]
        ybar = sum(a * b for a, b in zip(wf, y))
        zbar = sum(a * b for a, b in zip(wf, z))
        syy = sum(a * (b - ybar) ** 2 for a, b in zip(wf, y))
        if not syy > 0:
            continue
        syz = sum(a * (b - ybar) * (c - zbar) for a, b, c in zip(wf, y, z))
        beta = syz / syy
        S = sum(a * (c - zbar - beta * (b - ybar)) ** 2 for a, b, c in zip(wf, y, z))
        if S < least:
            best, least = k, S
    return best


def power_form(x, phi, w):
    """(fit, order or None) of M1 in one form."""
    k = float_scan(x, phi, w)
    if 0 < k < SCAN - 1:
        for widen in (1, 2):
            lo = scan_point(max(k - widen, 0))
            hi = scan_point(min(k + widen, SCAN - 1))
            if dS_dp(x, phi, w, lo) < 0 < dS_dp(x, phi, w, hi):
                p = mpmath.findroot(lambda q: dS_dp(x, phi, w, q), (lo, hi), solver="anderson")
                return fit_power(x, phi, w, p), p
    return fit_power(x, phi, w, scan_point(k)), None


def polynomial_form(x, phi, w, degrees):
    cols = [[mpf(1)] * len(x)] + [[xj ** d for xj in x] for d in degrees]
    return Fit(lsq(cols, phi, w), cols, phi, w, len(cols))


def estimate(h, phi, pL):
    """dict of the estimate at the last grid (n >= 4)."""
    n = len(h)
    x = [hj / h[-1] for hj in h]
    inv = [1 / xj for xj in x]
    forms = [[mpf(1) / n] * n, [v / mpmath.fsum(inv) for v in inv]]
    delta = (max(phi) - min(phi)) / (n - 1)
    if delta == 0:
        return dict(U=mpf(0), p=None, T0=phi[-1], sigma=mpf(0), model=0, Fs=None)

    m1 = [power_form(x, phi, w) for w in forms]
    m1_kept = 1 if m1[1][0].sigma < m1[0][0].sigma else 0
    p = m1[m1_kept][1]
    fixed = []
    for degrees in ([1], [2], [1, 2]):
        pair = [polynomial_form(x, phi, w, degrees) for w in forms]
        fixed.append((pair[1], 1) if pair[1].sigma < pair[0].sigma else (pair[0], 0))

    # The paper's Appendix A, with pL the upper end of the band of orders.
    if p is not None and mpf("0.5") <= p <= pL:
        fit, weighted, model = m1[m1_kept][0], m1_kept, 1
    else:
        models = 2 if p is not None and p > pL else 3
        least = min(range(models), key=lambda m: (fixed[m][0].sigma, m))
        fit, weighted = fixed[least]
        model = least + 2
    eps = abs(fit.f[-1] - fit.phi0)
    res = abs(phi[-1] - fit.f[-1])
    s = fit.sigma
    if s < delta:
        Fs = mpf("1.25") if p is not None and mpf("0.5") <= p < pL + mpf("0.1") else mpf(3)
        U = Fs * eps + s + res
    else:
        Fs = mpf(3)
        U = 3 * (s / delta) * (eps + s + res)
    return dict(U=U, p=p, T0=fit.phi0, sigma=s, model=model, weighted=weighted, Fs=Fs,
                delta=delta)


# ---------------------------------------------------------------- studies

def binary128(v):
    """v rounded to binary128 (113 bits)."""
    with mp.workprec(113):
        return +mpf(v)


def exact_text(v):
    """Exact decimal text of a binary number."""
    sign, man, exp, _ = v._mpf_
    if man == 0:
        return "0"
    s = "-" if sign else ""
    if exp >= 0:
        return s + str(man << exp)
    return "%s%de-%d" % (s, man * 5 ** (-exp), -exp)


def studies():
    """(name, pL, h, phi) of the generated studies, all binary128-exact."""
    rnd = random.Random(20141)
    out = []

    def spacings(n, kind):
        if kind == "constant":
            r = mpf(rnd.choice(["2", "1.5", "1.25", "1.1"]))
            return [r ** (n - 1 - j) * mpf("0.01") for j in range(n)]
        h = [mpf("0.5")]
        for _ in range(n - 1):
            h.append(h[-1] / (1 + mpf(rnd.uniform(0.15, 1.0))))
        return h

    def add(name, pL, h, phi):
        out.append((name, mpf(pL), [binary128(v) for v in h], [binary128(v) for v in phi]))

    for idx, (n, kind) in enumerate([(5, "constant"), (8, "variable"), (12, "constant"),
                                     (6, "variable"), (10, "variable")]):
        h = spacings(n, kind)
        p1 = mpf(rnd.uniform(0.7, 2.0))
        add("clean%d" % idx, 2, h, [1 + mpf("0.8") * hj ** p1 + mpf("0.3") * hj ** (p1 + 1)
                                    for hj in h])
    for idx, (n, kind, amp) in enumerate([(4, "constant", "1e-3"), (7, "variable", "1e-2"),
                                          (9, "constant", "0.05"), (11, "variable", "0.2"),
                                          (12, "variable", "1e-3"), (8, "constant", "3")]):
        h = spacings(n, kind)
        trend = [2 - mpf("0.5") * hj ** 2 for hj in h]
        size = abs(trend[0] - trend[-1]) * mpf(amp)
        add("noisy%d" % idx, 2, h, [t + size * mpf(rnd.uniform(-1, 1)) for t in trend])
    for idx, (n, kind) in enumerate([(5, "constant"), (8, "variable"), (12, "constant"),
                                     (10, "variable")]):
        h = spacings(n, kind)
        add("oscillating%d" % idx, 2, h,
            [1 + (-1) ** j * mpf("0.1") * hj + mpf("0.05") * hj ** 2 for j, hj in enumerate(h)])
    for idx, (n, kind) in enumerate([(6, "constant"), (9, "variable")]):
        h = spacings(n, kind)
        add("diverging%d" % idx, 1, h, [1 + mpf("1e-3") / hj for hj in h])
    for idx, (n, kind) in enumerate([(7, "variable"), (11, "constant")]):
        h = spacings(n, kind)
        add("firstorder%d" % idx, 1, h, [3 - mpf("0.7") * hj for hj in h])
    h = spacings(12, "constant")
    add("slow", 2, h, [1 + hj ** mpf("0.3") for hj in h])
    add("fast", 2, h, [1 + hj ** 4 for hj in h])
    h = spacings(9, "variable")
    add("abovebound", 2, h, [1 + hj ** mpf("2.15") + mpf("1e-6") * mpf(rnd.uniform(-1, 1))
                             for hj in h])
    add("belowhalf", 2, h, [1 - hj ** mpf("0.45") for hj in h])
    h = spacings(8, "constant")
    add("justabove", 2, h, [1 + hj ** mpf("2.05") + mpf("1e-9") * mpf(rnd.uniform(-1, 1))
                            for hj in h])
    add("justbelow", 2, h, [1 + hj ** mpf("1.95") + mpf("1e-9") * mpf(rnd.uniform(-1, 1))
                            for hj in h])
    return out


# ---------------------------------------------------------------- comparison

def agree(a, b, scale):
    return abs(a - b) <= DIGITS * scale


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: ls_reference.py DRIVER\n")
        return 2
    cases = studies()
    text = "".join("study %s %s %d\n%s" % (name, exact_text(pL), len(h),
                                          "".join("%s %s\n" % (exact_text(a), exact_text(b))
                                                  for a, b in zip(h, phi)))
                   for name, pL, h, phi in cases)
    run = subprocess.run([sys.argv[1]], input=text, capture_output=True, text=True)
    if run.returncode != 0:
        sys.stderr.write("driver failed (%d): %s\n" % (run.returncode, run.stderr))
        return 1
    lines = {}
    for line in run.stdout.splitlines():
        f = line.split()
        lines[(f[0], int(f[1]))] = f[2:]

    failures, compared = 0, 0
    worst_U, worst_p = mpf(0), mpf(0)
    branches = set()
    for name, pL, h, phi in cases:
        for i in range(4, len(h) + 1):
            ref = estimate(h[:i], phi[:i], pL)
            got = lines.get((name, i))
            problems = []
            if got is None:
                failures += 1
                print("%s grid %d: no result from the driver" % (name, i))
                continue
            U, p, T0, sigma, delta, Fs = [None if v == "-" else mpf(v) for v in got[:6]]
            model, weighted = int(got[6]), int(got[7])
            compared += 1
            if ref["model"] == 0:
                branches.add("all equal")
            else:
                branches.add("M1" if ref["model"] == 1 else "fixed order")
                branches.add("scatter" if ref["sigma"] >= ref["delta"] else "sigma < Delta")
                branches.add("no order" if ref["p"] is None else "order")
                if ref["p"] is not None and pL < ref["p"] < pL + mpf("0.1"):
                    branches.add("just above pL")
                if ref["p"] is not None and ref["p"] >= pL + mpf("0.1"):
                    branches.add("well above pL")
            if U is not None and ref["U"] != 0:
                worst_U = max(worst_U, abs(U - ref["U"]) / abs(ref["U"]))
            if U is None or not agree(U, ref["U"], abs(ref["U"])):
                problems.append("U_LS %s, reference %s" % (got[0], mpmath.nstr(ref["U"], 25)))
            if (p is None) != (ref["p"] is None):
                problems.append("p_LS %s, reference %s" % (got[1], ref["p"]))
            elif p is not None:
                if not agree(p, ref["p"], ref["p"]):
                    problems.append("p_LS %s, reference %s" % (got[1], mpmath.nstr(ref["p"], 25)))
                worst_p = max(worst_p, abs(p - ref["p"]) / ref["p"])
            # An exact power law of order pL puts p on the edge of the band
            # (to rounding), where M1 and the fixed order pL give the same fit.
            on_edge = ref["p"] is not None and agree(ref["p"], pL, pL) and \
                {model, ref["model"]} <= {1, int(pL) + 1}
            if (model != ref["model"] and not on_edge) or (Fs is None) != (ref["Fs"] is None) or (
                    Fs is not None and Fs != ref["Fs"]):
                problems.append("model M%d Fs %s, reference M%d Fs %s"
                                % (model, got[5], ref["model"], ref["Fs"]))
            scale = max(abs(ref["T0"]), max(phi[:i]) - min(phi[:i]))
            if T0 is None or not agree(T0, ref["T0"], scale):
                problems.append("T0_LS %s, reference %s" % (got[2], mpmath.nstr(ref["T0"], 25)))
            # sigma at the rounding level of binary128 (an exact fit) is noise.
            if sigma is None or not abs(sigma - ref["sigma"]) <= max(
                    DIGITS * ref["sigma"], mpf("1e-30") * scale):
                problems.append("sigma_LS %s, reference %s"
                                % (got[3], mpmath.nstr(ref["sigma"], 25)))
            elif ref["model"] != 0 and ref["sigma"] > mpf("1e-25") * scale and \
                    weighted != ref["weighted"]:
                problems.append("weighted %d, reference %d" % (weighted, ref["weighted"]))
            if problems:
                failures += 1
                print("%s grid %d: %s" % (name, i, "; ".join(problems)))
    print("%d studies, %d grids compared; largest relative difference: U_LS %s, p_LS %s"
          % (len(cases), compared, mpmath.nstr(worst_U, 3), mpmath.nstr(worst_p, 3)))
    print("branches taken: %s" % ", ".join(sorted(branches)))
    missing = {"M1", "fixed order", "scatter", "sigma < Delta", "no order", "order",
               "just above pL", "well above pL"} - branches
    if missing:
        print("the studies no longer reach: %s" % ", ".join(sorted(missing)))
        failures += 1
    if len(cases) < 20:
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
