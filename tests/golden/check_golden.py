#!/usr/bin/env python3
"""Independent check of the golden cases' expected files.

For each case folder (all of them when none is named) this script

1. reads the case's inputs (simple files: one value per line, a comment after
   a blank) and rounds every real to binary128, as the program reads it;
2. computes every listed quantity again at 80 decimal digits with Python's
   decimal module, from the definition of each quantity (ratios, orders,
   the order search by interval halving, single, bi- and repeated
   extrapolation, Tc and the four error estimates), sentinel 1.0E+11
   included, and with no code shared with the program;
3. reads every number of expected/<listing>, the twelve plot data files and
   the two scripts' title lines, and compares: a blank or a gap must stand
   exactly where the quantity is not computed, and a printed number must be
   the reference rounded to the printed digits (a last-digit difference is
   allowed only where the reference lies within binary128 rounding of a
   rounding boundary);
4. runs the closed-form checks of the case (check_<case>() below): the
   values the case's exact law gives, computed with fractions (or decimals
   where a power is not rational) without the loops above, against the
   printed digits.

Every text file must be Windows-1252 with CR LF line ends.
Run: python3 tests/golden/check_golden.py [case ...]; exit status 0 when
every check passes.
"""

import math
import os
import re
import sys
from decimal import Decimal, getcontext, InvalidOperation, DivisionByZero, Overflow
from fractions import Fraction

CTX = getcontext()
CTX.prec = 80
CTX.Emax = 10**9
CTX.Emin = -10**9
for trap in (InvalidOperation, DivisionByZero, Overflow):
    CTX.traps[trap] = False

S = Decimal("1E+11")          # not computed
INF = Decimal("Infinity")
HERE = os.path.dirname(os.path.abspath(__file__))
LN10 = Decimal(10).ln()
# Relative size of binary128 rounding after a few dozen operations: a printed
# number may differ from the reference in its last digit only when the
# reference lies this close to a rounding boundary.
NOISE = Decimal("2E-33")


# --- binary128 ------------------------------------------------------------

def to_binary128(x):
    """The binary128 value nearest to the Fraction x (ties to even)."""
    if x == 0:
        return Fraction(0)
    sign = -1 if x < 0 else 1
    x = abs(x)
    e = math.floor(math.log2(x.numerator) - math.log2(x.denominator))
    while Fraction(2) ** e > x:
        e -= 1
    while Fraction(2) ** (e + 1) <= x:
        e += 1
    scale = Fraction(2) ** (112 - e)
    m = x * scale
    n = m.numerator // m.denominator
    rest = m - n
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and n % 2 == 1):
        n += 1
    return sign * Fraction(n) / scale


def dec(fr):
    return Decimal(fr.numerator) / Decimal(fr.denominator)


def real(text):
    """A real as the program reads it: decimal text rounded to binary128."""
    return dec(to_binary128(Fraction(Decimal(text.replace("D", "E").replace("d", "e")))))


# --- arithmetic as the documented formulas use it -------------------------

def log10(x):
    if x.is_nan() or x < 0:
        return Decimal("NaN")
    if x == 0:
        return -INF
    if x.is_infinite():
        return INF
    return x.ln() / LN10


def power(r, p):
    """r^p for r > 0, overflowing to Infinity and underflowing to 0 at the
    binary128 limits."""
    if p.is_nan() or r.is_nan():
        return Decimal("NaN")
    if r == 0:
        return Decimal(0) if p > 0 else INF
    if r == 1:
        return Decimal(1)
    exponent = p * r.ln()
    if exponent > Decimal(11357):
        return INF
    if exponent < Decimal(-11457):
        return Decimal(0)
    return exponent.exp()


def extrapolate(tj, tk, ratio, p):
    return tj + (tj - tk) / (power(ratio, p) - 1)


def obter_pU(a0, b0, r21, r32, psi, itmax, tol):
    """The order search by interval halving; None when it writes nothing."""
    def f(x):
        q = psi * (power(r21, x) - 1) / (power(r32, x) - 1)
        return x * log10(r21) - log10(q)

    if itmax < 0:
        return None
    a, b, k, p = a0, b0, 1, None
    while k <= itmax:
        m = (a + b) / 2
        p = m
        fa, fm = f(a), f(m)
        if fa * fm > 0:
            a = m
        else:
            if b - a <= tol:
                break
            b = m
        k += 1
    if k == itmax or k == itmax + 1:
        p = S
    return p


# --- inputs -----------------------------------------------------------------

def first_token(line):
    line = line.strip()
    if line[:1] in ("'", '"'):
        q = line[0]
        end = line.index(q, 1)
        return line[1:end]
    return re.split(r"[ \t,]", line)[0]


def lines_of(path):
    with open(path, "rb") as f:
        return [l.rstrip("\r") for l in f.read().decode("cp1252").split("\n")]


def read_case(folder):
    ctl = [l for l in lines_of(os.path.join(folder, "Morvantide_4p0.in")) if l.strip()]
    modo = int(first_token(ctl[0]))
    param = first_token(ctl[1 if modo == 0 else 2])
    arq_dados_n = first_token(ctl[1])
    pl = [l for l in lines_of(os.path.join(folder, param)) if l.strip()]
    c = {
        "modo": modo, "param": param, "arq_dados_n": arq_dados_n,
        "nv": int(first_token(pl[0])), "listagem": first_token(pl[1]),
        "pL": real(first_token(pl[2])), "dp": real(first_token(pl[3])),
        "tipo_r": int(first_token(pl[4])), "itmax": int(first_token(pl[5])),
        "tol": real(first_token(pl[6])), "pU_min": real(first_token(pl[7])),
        "pU_max": real(first_token(pl[8])), "nm": int(first_token(pl[9])),
    }
    nm, nv = c["nm"], c["nv"]
    h, th = [None], [None]
    if modo == 0:
        c["arq"] = [first_token(pl[10 + k]) for k in range(nm)]
        c["titulo"] = first_token(pl[10 + nm])
        for name in c["arq"]:
            rl = [l for l in lines_of(os.path.join(folder, name)) if l.strip()]
            h.append(real(first_token(rl[0])))
            th.append(real(rl[nv].split()[1]))
    else:
        c["arq"] = [first_token(pl[10])]
        c["titulo"] = first_token(pl[11])
        rows = [l for l in lines_of(os.path.join(folder, c["arq"][0])) if l.strip()][1:]
        for k in range(nm):
            fields = re.split(r"[ \t,]+", rows[k].strip())
            h.append(real(fields[0]))
            th.append(real(fields[nv]))
    c["h"], c["Th"] = h, th
    return c


# --- the estimation, from the documented formulas ----------------------------

def estimate(c):
    nm, h, Th, pL, dp, tipo = c["nm"], c["h"], c["Th"], c["pL"], c["dp"], c["tipo_r"]
    search = (c["pU_min"], c["pU_max"], c["itmax"], c["tol"])
    lst = lambda: [S] * (nm + 1)
    v = {k: lst() for k in ("pU_Th", "psi_Th", "pUs_Th", "Ti_pU", "Ti_pUs", "pU_Ti", "psi_Ti",
                            "pUs_Ti", "Tbi", "psi_Tbi", "pUs_Tbi", "psi_Tm1", "pUs_Tm1",
                            "Um_Tm1", "Tc", "psi_Tc", "pUs_Tc", "Uc_Tc", "UGCI_Th", "Umc_Th")}
    v["Ti_pL"], v["Tm1"] = [None] * (nm + 1), [None] * (nm + 1)
    r21 = lambda i: h[i - 1] / h[i]
    r32 = lambda i: h[i - 2] / h[i - 1]
    pV = [None] + [pL + (m - 1) * dp for m in range(1, nm + 1)]

    def search_order(i, psi):
        return obter_pU(search[0], search[1], r21(i), r32(i), psi, search[2], search[3])

    # Ratio and orders of Th.
    for i in range(3, nm + 1):
        d = Th[i] - Th[i - 1]
        psi = (Th[i - 1] - Th[i - 2]) / d if d != 0 else Decimal(0)
        if tipo == 1 and psi > 0:
            v["pU_Th"][i] = log10(psi) / log10(r21(i))
        if tipo == 2 and psi > 0:
            p = search_order(i, psi)
            if p is not None:
                v["pU_Th"][i] = p
    for i in range(3, nm + 1):
        d = Th[i] - Th[i - 1]
        if d != 0:
            v["psi_Th"][i] = (Th[i - 1] - Th[i - 2]) / d
        if tipo == 1 and v["psi_Th"][i] != 0 and v["psi_Th"][i] != S:
            v["pUs_Th"][i] = log10(abs(v["psi_Th"][i])) / log10(r21(i))
    # Single extrapolations.
    for i in range(2, nm + 1):
        v["Ti_pL"][i] = extrapolate(Th[i], Th[i - 1], r21(i), pL)
    for i in range(3, nm + 1):
        pu = v["pU_Th"][i]
        if pu <= 0 or pu > Decimal("1E10"):
            v["Ti_pU"][i] = v["Ti_pUs"][i] = S
        else:
            v["Ti_pU"][i] = extrapolate(Th[i], Th[i - 1], r21(i), pu)
            v["Ti_pUs"][i] = extrapolate(Th[i], Th[i - 1], r21(i), v["pUs_Th"][i])
        if pu <= 0:
            v["Ti_pUs"][i] = extrapolate(Th[i], Th[i - 1], r21(i), v["pUs_Th"][i])
    for i in range(5, nm + 1):
        T1, T2 = v["Ti_pU"], v["Ti_pUs"]
        d1, d2 = T1[i] - T1[i - 1], T2[i] - T2[i - 1]
        psi1 = (T1[i - 1] - T1[i - 2]) / d1 if d1 != 0 else S
        psi2 = (T2[i - 1] - T2[i - 2]) / d2 if d2 != 0 else S
        if tipo == 1 and psi1 > 0:
            v["pU_Ti"][i] = log10(psi1) / log10(r21(i))
        if psi2 != 0 and psi2 != S:
            v["psi_Ti"][i] = psi2
            v["pUs_Ti"][i] = log10(abs(psi2)) / log10(r21(i))
        if tipo == 2 and psi1 > 0:
            p = search_order(i, psi1)
            if p is not None:
                v["pU_Ti"][i] = p
    # Bi-extrapolation.
    for i in range(5, nm + 1):
        pu = v["pU_Ti"][i]
        T2 = v["Ti_pUs"]
        if pu <= 0 or pu > Decimal("1E10"):
            v["Tbi"][i] = S
        else:
            v["Tbi"][i] = extrapolate(T2[i], T2[i - 1], r21(i), v["pUs_Ti"][i])
        if pu < 0:
            v["Tbi"][i] = extrapolate(T2[i], T2[i - 1], r21(i), v["pUs_Ti"][i])
    for i in range(7, nm + 1):
        B = v["Tbi"]
        d = B[i] - B[i - 1]
        psi = (B[i - 1] - B[i - 2]) / d if d != 0 else S
        v["psi_Tbi"][i] = psi
        if psi != 0 and psi != S:
            v["pUs_Tbi"][i] = log10(abs(psi)) / log10(r21(i))
    # Repeated extrapolation.
    Tm = {}
    for i in range(2, nm + 1):
        Tm[i, 1] = v["Ti_pL"][i]
    for j in range(2, nm):
        for i in range(j + 1, nm + 1):
            Tm[i, j] = Tm[i, j - 1] + (Tm[i, j - 1] - Tm[i - 1, j - 1]) / (power(r21(i), pV[j]) - 1)
    Tm1 = v["Tm1"]
    for i in range(2, nm + 1):
        Tm1[i] = Tm[i, i - 1]
        if i >= 4:
            a, b = Tm1[i - 1] - Tm1[i - 2], Tm1[i] - Tm1[i - 1]
            if b != 0:
                psi = a / b
                v["psi_Tm1"][i] = psi
                if psi != 0:
                    v["pUs_Tm1"][i] = log10(abs(psi)) / log10(r21(i))
            else:
                psi = S
                v["psi_Tm1"][i] = S
            if abs(psi) > 1 and psi != S:
                v["Um_Tm1"][i - 1] = a / (psi - 1)
                if i == nm:
                    psi_e = v["psi_Tm1"][nm] ** 2 / v["psi_Tm1"][nm - 1]
                    v["Um_Tm1"][nm] = b / (psi_e - 1)
    # Convergent estimate and the error estimates of Th.
    for i in range(2, nm + 1):
        d = Th[i] - Th[i - 1]
        upl = d / (power(r21(i), pV[1]) - 1)
        tpl = Th[i] + upl
        if i == 2:
            v["UGCI_Th"][2] = 3 * abs(upl)
        elif abs(v["psi_Th"][i]) > 1 and v["psi_Th"][i] != S:
            ups = d / (power(r21(i), v["pUs_Th"][i]) - 1)
            tps = Th[i] + ups
            Tc = v["Tc"]
            Tc[i] = (tpl + tps) / 2
            if i >= 5:
                b = Tc[i] - Tc[i - 1]
                if b != 0:
                    psic = (Tc[i - 1] - Tc[i - 2]) / b
                    v["psi_Tc"][i] = psic
                else:
                    psic = S
                v["pUs_Tc"][i] = (log10(abs(psic)) / log10(r21(i))
                                  if psic != 0 and psic != S else S)
            v["Uc_Tc"][i] = abs(upl - ups) / 2
            pu = v["pU_Th"][i]
            pgci = min(pu, pL) if 0 < pu < S else pL
            v["UGCI_Th"][i] = Decimal("1.25") * abs(d / (power(r21(i), pgci) - 1))
        v["Umc_Th"][i] = Tm1[i] - Th[i]
    return v


# --- reading the expected files ----------------------------------------------

NUMBER = re.compile(r"^\s*(-?)(\d)\.(\d+)(?:E([+-]\d\d)|([+-]\d\d\d))$")


def parse_field(text):
    """(value, decimals) of a printed E field, None for a blank field."""
    t = text.strip()
    if not t:
        return None
    if t in ("Infinity", "-Infinity", "NaN"):
        return Decimal(t), None
    m = NUMBER.match(text)
    if not m:
        raise ValueError("not a number field: [%s]" % text)
    sign, lead, frac, e2, e3 = m.groups()
    exp = int(e2 if e2 is not None else e3)
    return Decimal(sign + lead + "." + frac + "E" + str(exp)), (len(frac), exp)


class Report:
    def __init__(self, case):
        self.case, self.failures, self.checked = case, [], 0

    def fail(self, what):
        self.failures.append(what)

    def number(self, where, printed, ref):
        """`printed` is the text of a field, `ref` the reference (S: blank)."""
        self.checked += 1
        got = parse_field(printed)
        if ref is None or ref == S:
            if got is not None:
                self.fail("%s: expected a blank, found [%s]" % (where, printed.strip()))
            return
        if got is None:
            self.fail("%s: expected %s, found a blank" % (where, fmt(ref)))
            return
        value, digits = got
        if digits is None or ref.is_nan() or ref.is_infinite():
            if not (value == ref or (value.is_nan() and ref.is_nan())):
                self.fail("%s: expected %s, found %s" % (where, ref, printed.strip()))
            return
        decimals, exp = digits
        half_unit = Decimal(5) * Decimal(10) ** (exp - decimals - 1)
        allowed = half_unit + NOISE * abs(ref) + Decimal("1E-60")
        if abs(value - ref) > allowed:
            self.fail("%s: reference %s, printed %s" % (where, fmt(ref), printed.strip()))


def fmt(x):
    return format(x, ".40E") if x.is_finite() else str(x)


def file_lines(report, path):
    with open(path, "rb") as f:
        raw = f.read()
    raw.decode("cp1252")
    if not raw.endswith(b"\r\n") or raw.count(b"\n") != raw.count(b"\r\n"):
        report.fail("%s: not every line ends with CR LF" % os.path.basename(path))
    return raw.decode("cp1252").split("\r\n")[:-1]


def table(lines, heading_start, nm):
    k = next(n for n, l in enumerate(lines) if l.startswith(heading_start))
    return lines[k + 1:k + 1 + nm]


def check_header(report, c, lines):
    """The echo of the inputs at the top of the listing."""
    report.checked += 1
    want = ["", "Listagem gerada pelo aplicativo MORVANTIDE 4.0", "",
            "   t\u00edtulo = " + c["titulo"].strip(), "",
            "   Dia = (6/12/2026)      Hora = 9:5:3   ", "",
            "%4d = n\u00famero da vari\u00e1vel, nos arquivos de resultados, a analisar" % c["nv"], "",
            # the control file's second name, in both layouts, in 80 columns
            "nome do arquivo de dados principal = " + c["arq_dados_n"].ljust(80), "",
            "%5.2f = ordem assint\u00f3tica do erro verdadeiro" % c["pL"],
            "%5.2f = varia\u00e7\u00e3o entre as ordens verdadeiras do erro verdadeiro" % c["dp"], "",
            "%4d = n\u00famero de malhas" % c["nm"], ""]
    if c["tipo_r"] == 1:
        want += ["O refino de malha (r) \u00e9 constante"]
    else:
        want += ["O refino de malha (r) \u00e9 vari\u00e1vel",
                 "%4d = n\u00famero m\u00e1ximo de itera\u00e7\u00f5es para obter pU com r vari\u00e1vel" % c["itmax"],
                 "%13.4E = toler\u00e2ncia na obten\u00e7\u00e3o de pU com r vari\u00e1vel" % c["tol"],
                 "%13.4E = limite inferior de pU (r vari\u00e1vel)" % c["pU_min"],
                 "%13.4E = limite superior de pU (r vari\u00e1vel)" % c["pU_max"]]
    for n, (w, got) in enumerate(zip(want, lines), start=1):
        if w != got:
            report.fail("listing line %d: expected [%s], found [%s]" % (n, w, got))
            return


def check_listing(report, c, v, expected):
    nm = c["nm"]
    lines = file_lines(report, os.path.join(expected, c["listagem"]))
    check_header(report, c, lines)
    h = c["h"]
    # Grid table: h with 20 decimals, log10(h), r21.
    grid = table(lines, "  h                            log10(h)", nm)
    for i in range(1, nm + 1):
        row = grid[i - 1]
        report.number("grid table h(%d)" % i, row[0:28], h[i])
        report.number("grid table log10(h(%d))" % i, row[28:41], log10(h[i]))
        if i >= 2:
            report.number("grid table r21(%d)" % i, row[41:54], h[i - 1] / h[i])
    t1 = table(lines, "   h               pU*(Th)", nm)
    t2 = table(lines, "   h               psi(Th)", nm)
    for rows, names in ((t1, ("pUs_Th", "pUs_Tm1", "pUs_Tc", "pUs_Ti", "pUs_Tbi")),
                        (t2, ("psi_Th", "psi_Tm1", "psi_Tc", "psi_Ti", "psi_Tbi"))):
        for i in range(1, nm + 1):
            row = rows[i - 1]
            if len(row) != 122:
                report.fail("%s row %d is %d characters long" % (names[0], i, len(row)))
            report.number("h(%d)" % i, row[0:12], h[i])
            for k, name in enumerate(names):
                report.number("%s(%d)" % (name, i), row[12 + 22 * k:34 + 22 * k], v[name][i])
    t3 = table(lines, "   h                 Th", nm)
    for i in range(1, nm + 1):
        row = t3[i - 1]
        report.number("Th(%d)" % i, row[12:58], c["Th"][i])
        if i >= 2:
            report.number("Tm1(%d)" % i, row[58:104], v["Tm1"][i])
        if i >= 3:
            report.number("Tc(%d)" % i, row[104:150], v["Tc"][i])
    t4 = table(lines, "   h           UGCI(Th)", nm)
    for i in range(1, nm + 1):
        row = t4[i - 1]
        for k, name in enumerate(("UGCI_Th", "Umc_Th", "Um_Tm1", "Uc_Tc")):
            field = row[12 + 22 * k:34 + 22 * k]
            if field[15:].strip():
                report.fail("%s(%d): text past the 15 columns" % (name, i))
            report.number("%s(%d)" % (name, i), field[:15], v[name][i])


PLOTS = [  # name, first grid, quantity, kind
    ("p0.dat", 1, "pV1", "true"), ("pU_h.dat", 3, "pUs_Th", "order"),
    ("p1.dat", 1, "pV2", "true"), ("pU_i.dat", 5, "pUs_Ti", "order"),
    ("p2.dat", 1, "pV3", "true"), ("pU_bi.dat", 7, "pUs_Tbi", "order"),
    ("pU_c.dat", 5, "pUs_Tc", "order"), ("pU_mer.dat", 3, "pUs_Tm1", "order"),
    ("U_12.dat", 2, "UGCI_Th", "estimate"), ("U_13.dat", 2, "Umc_Th", "estimate"),
    ("U_14.dat", 2, "Uc_Tc", "estimate"), ("U_15.dat", 2, "Um_Tm1", "estimate"),
]


def check_plots(report, c, v, expected):
    nm, h = c["nm"], c["h"]
    for name, first, quantity, kind in PLOTS:
        lines = file_lines(report, os.path.join(expected, name))[1:]
        if len(lines) != max(0, nm - first + 1):
            report.fail("%s: %d lines for %d grids" % (name, len(lines), nm - first + 1))
            continue
        for i in range(first, nm + 1):
            line = lines[i - first]
            where = "%s grid %d" % (name, i)
            if kind == "true":
                order = c["pL"] + (int(quantity[-1]) - 1) * c["dp"]
                report.number(where + " x", line[0:12], log10(h[i]))
                report.number(where + " y", line[12:24], order)
                continue
            value = v[quantity][i]
            gap = (not value < Decimal("1E10")) if kind == "order" else value == S
            if gap:
                if line:
                    report.fail("%s: expected a gap, found [%s]" % (where, line))
                continue
            report.number(where + " x", line[0:12], log10(h[i]))
            report.number(where + " y", line[12:34], value if kind == "order" else log10(abs(value)))


def check_scripts(report, c, expected):
    title = "set title '%s (6/12/2026)'" % c["titulo"].replace("'", "''")
    for name, kept in (("Morvantide_4p0_pU.gnu", 15), ("Morvantide_4p0_U.gnu", 10)):
        lines = file_lines(report, os.path.join(expected, name))
        if len(lines) != kept + 2 or lines[kept:] != [title, "replot"]:
            report.fail("%s: does not end with the title line and replot" % name)


# --- closed forms of the exact-law cases ---------------------------------------

def printed_values(c, expected):
    """The listing's numbers by (column, grid), for the closed-form checks."""
    nm = c["nm"]
    with open(os.path.join(expected, c["listagem"]), "rb") as f:
        lines = f.read().decode("cp1252").split("\r\n")
    out = {}
    for head, names, width, start in (
            ("   h               pU*(Th)", ("pUs_Th", "pUs_Tm1", "pUs_Tc", "pUs_Ti", "pUs_Tbi"), 22, 12),
            ("   h               psi(Th)", ("psi_Th", "psi_Tm1", "psi_Tc", "psi_Ti", "psi_Tbi"), 22, 12),
            ("   h                 Th", ("Th", "Tm1", "Tc"), 46, 12),
            ("   h           UGCI(Th)", ("UGCI_Th", "Umc_Th", "Um_Tm1", "Uc_Tc"), 22, 12)):
        for i, row in enumerate(table(lines, head, nm), start=1):
            for k, name in enumerate(names):
                field = row[start + width * k:start + width * (k + 1)]
                got = parse_field(field[:15] if name in ("UGCI_Th", "Umc_Th", "Um_Tm1", "Uc_Tc") else field)
                out[name, i] = got
    return out


def expect(report, printed, name, i, exact):
    """A closed-form value (Fraction or Decimal, None: blank) against the listing."""
    got = printed.get((name, i))
    report.checked += 1
    if exact is None:
        if got is not None:
            report.fail("closed form: %s(%d) should be blank" % (name, i))
        return
    ref = dec(exact) if isinstance(exact, Fraction) else exact
    if got is None:
        report.fail("closed form: %s(%d) = %s is blank" % (name, i, fmt(ref)))
        return
    value, (decimals, exp) = got
    if abs(value - ref) > Decimal(5) * Decimal(10) ** (exp - decimals - 1) + NOISE * abs(ref):
        report.fail("closed form: %s(%d) = %s, printed %s" % (name, i, fmt(ref), value))


def log2(x):
    return log10(dec(x) if isinstance(x, Fraction) else x) / log10(Decimal(2))


def check_power_law_l1(report, c, expected):
    """T = 2 + h/2 + h^2/4 on h = 2^-1 ... 2^-8 (ratio 2), pL = 1, dp = 1."""
    T, C1, C2 = Fraction(2), Fraction(1, 2), Fraction(1, 4)
    hs = [None] + [Fraction(1, 2 ** k) for k in range(1, 9)]
    Th = [None] + [T + C1 * x + C2 * x * x for x in hs[1:]]
    D = lambda i: Th[i] - Th[i - 1]                 # = -(C1 h + 3 C2 h^2)
    pr = printed_values(c, expected)
    for i in range(1, 9):
        expect(report, pr, "Th", i, Th[i])
    for i in range(2, 9):
        assert D(i) == -(C1 * hs[i] + 3 * C2 * hs[i] ** 2)
    psi = {i: D(i - 1) / D(i) for i in range(3, 9)}  # = (2 C1 + 12 C2 h) / (C1 + 3 C2 h)
    for i in range(3, 9):
        assert psi[i] == (2 * C1 + 12 * C2 * hs[i]) / (C1 + 3 * C2 * hs[i])
        expect(report, pr, "psi_Th", i, psi[i])
        expect(report, pr, "pUs_Th", i, log2(psi[i]))
    # Ti_pL = 2 Th(i) - Th(i-1) = T - 2 C2 h^2, so Tm1(2) = T - 2 C2 h2^2 and the
    # second level gives T exactly: Tm1 = T from grid 3 on, no ratio, no Um.
    expect(report, pr, "Tm1", 2, T - 2 * C2 * hs[2] ** 2)
    for i in range(3, 9):
        expect(report, pr, "Tm1", i, T)
    for i in range(1, 9):
        expect(report, pr, "psi_Tm1", i, None)
        expect(report, pr, "pUs_Tm1", i, None)
        expect(report, pr, "Um_Tm1", i, None)
    # Umc = Tm1 - Th; UGCI = 3 |D(2)| at grid 2, then 1.25 |D| (pU > pL = 1,
    # so the order of the index is pL and r^pL - 1 = 1).
    expect(report, pr, "Umc_Th", 2, D(2))  # Tm1(2) - Th(2) = Upl(2) = D(2) / (2 - 1)
    for i in range(3, 9):
        expect(report, pr, "Umc_Th", i, T - Th[i])
        expect(report, pr, "UGCI_Th", i, Fraction(5, 4) * abs(D(i)))
    expect(report, pr, "UGCI_Th", 2, 3 * abs(D(2)))
    # With a constant ratio r^pU* = |psi|, so the extrapolation with the observed
    # order is Th + D / (psi - 1): rational.  Tc is the mean of it and Tpl = T - 2 C2 h^2.
    Ti = {i: Th[i] + D(i) / (psi[i] - 1) for i in range(3, 9)}
    for i in range(3, 9):
        upl, ups = D(i), D(i) / (psi[i] - 1)
        expect(report, pr, "Tc", i, (T - 2 * C2 * hs[i] ** 2 + Ti[i]) / 2)
        expect(report, pr, "Uc_Tc", i, abs(upl - ups) / 2)
    Tc = {i: (T - 2 * C2 * hs[i] ** 2 + Ti[i]) / 2 for i in range(3, 9)}
    psi_c = {i: (Tc[i - 1] - Tc[i - 2]) / (Tc[i] - Tc[i - 1]) for i in range(5, 9)}
    psi_i = {i: (Ti[i - 1] - Ti[i - 2]) / (Ti[i] - Ti[i - 1]) for i in range(5, 9)}
    for i in range(5, 9):
        expect(report, pr, "psi_Tc", i, psi_c[i])
        expect(report, pr, "pUs_Tc", i, log2(abs(psi_c[i])))
        expect(report, pr, "psi_Ti", i, psi_i[i])
        expect(report, pr, "pUs_Ti", i, log2(abs(psi_i[i])))
    # Bi-extrapolation with the order of Ti: Ti + dTi / (psi_Ti - 1), rational again.
    Tb = {i: Ti[i] + (Ti[i] - Ti[i - 1]) / (psi_i[i] - 1) for i in range(5, 9)}
    for i in range(7, 9):
        psi_b = (Tb[i - 1] - Tb[i - 2]) / (Tb[i] - Tb[i - 1])
        expect(report, pr, "psi_Tbi", i, psi_b)
        expect(report, pr, "pUs_Tbi", i, log2(abs(psi_b)))


def check_variable_ratio(report, c, expected):
    """T = 3 - 2 h^2 on h = 1, 1/2, 1/8, 1/16, 1/64, 1/128, 1/512, 1/1024
    (ratios 2 and 4 in turn), pL = 2, dp = 1, the order found by the search."""
    T, C = Fraction(3), Fraction(-2)
    hs = [None] + [Fraction(1, 2 ** k) for k in (0, 1, 3, 4, 6, 7, 9, 10)]
    Th = [None] + [T + C * x * x for x in hs[1:]]
    D = lambda i: Th[i] - Th[i - 1]
    r = lambda i: hs[i - 1] / hs[i]
    pr = printed_values(c, expected)
    # psi = (h(i-2)^2 - h(i-1)^2) / (h(i-1)^2 - h(i)^2): 48/15 = 3.2 where the
    # ratio goes 2 then 4, 60/3 = 20 where it goes 4 then 2.
    psi = {i: D(i - 1) / D(i) for i in range(3, 9)}
    for i in range(3, 9):
        assert psi[i] == (Fraction(16, 5) if r(i) == 4 else Fraction(20))
        expect(report, pr, "psi_Th", i, psi[i])
        expect(report, pr, "pUs_Th", i, None)   # not formed for a variable ratio
    # The order of Th from the search (not printed): the root of the residual is
    # exactly 2 at every grid, and the search returns the midpoint of the first
    # bracket at most tol wide whose lower half holds the root, so
    # 2 <= pU <= 2 + tol / 2.  It is above pL, so UGCI uses pL.
    v = estimate(c)
    for i in range(3, 9):
        report.checked += 1
        if not (0 < v["pU_Th"][i] - 2 <= c["tol"] / 2):
            report.fail("closed form: the search gives pU(Th)(%d) = %s" % (i, fmt(v["pU_Th"][i])))
    # Ti_pL = Th - D / (r^2 - 1) = T exactly, so Tm1 = T and Umc = T - Th = 2 h^2.
    for i in range(2, 9):
        expect(report, pr, "Tm1", i, T)
        expect(report, pr, "Umc_Th", i, T - Th[i])
    for i in range(1, 9):
        expect(report, pr, "psi_Tm1", i, None)
        expect(report, pr, "pUs_Tm1", i, None)
        expect(report, pr, "Um_Tm1", i, None)
    # UGCI: 3 |D / (r^2 - 1)| = 3 * 2 h^2 at grid 2, then 1.25 * 2 h^2.
    expect(report, pr, "UGCI_Th", 2, 6 * hs[2] ** 2)
    for i in range(3, 9):
        expect(report, pr, "UGCI_Th", i, Fraction(5, 2) * hs[i] ** 2)
    # Without pU*(Th) the extrapolation with it is Th itself (r^1E+11 overflows):
    # Tc = (T + Th) / 2 = 3 - h^2, Uc = |Upl| / 2 = h^2, and Tc, Ti have the
    # ratios of Th, with orders log|psi| / log r21.
    for i in range(3, 9):
        expect(report, pr, "Tc", i, (T + Th[i]) / 2)
        expect(report, pr, "Uc_Tc", i, hs[i] ** 2)
    for i in range(5, 9):
        order = log10(dec(psi[i])) / log10(dec(r(i)))
        for name in ("psi_Tc", "psi_Ti"):
            expect(report, pr, name, i, psi[i])
        for name in ("pUs_Tc", "pUs_Ti"):
            expect(report, pr, name, i, order)
    # Bi-extrapolation with that order: r21^pU*(Ti) = psi, so Tbi = Th + D / (psi - 1).
    Tb = {i: Th[i] + D(i) / (psi[i] - 1) for i in range(5, 9)}
    for i in range(7, 9):
        psi_b = (Tb[i - 1] - Tb[i - 2]) / (Tb[i] - Tb[i - 1])
        expect(report, pr, "psi_Tbi", i, psi_b)
        expect(report, pr, "pUs_Tbi", i, log10(abs(dec(psi_b))) / log10(dec(r(i))))


def check_example_channel(report, c, expected):
    """u = 1.5 + 0.8 h^2 - 0.3 h^3 + 0.05 h^4 + 0.4 h^5.5 on h = 0.2 / 2^k,
    k = 0..7 (the inputs are this law to 34 decimals), pL = 2, dp = 1."""
    terms = [(Decimal("0.8"), 2), (Decimal("-0.3"), 3), (Decimal("0.05"), 4), (Decimal("0.4"), Decimal("5.5"))]
    hs = [None] + [Decimal("0.2") / 2 ** k for k in range(8)]
    law = lambda x: Decimal("1.5") + sum(K * x ** q for K, q in terms)
    Th = [None] + [law(x) for x in hs[1:]]
    D = lambda i: Th[i] - Th[i - 1]
    pr = printed_values(c, expected)
    for i in range(1, 9):
        expect(report, pr, "Th", i, Th[i])
    psi = {i: D(i - 1) / D(i) for i in range(3, 9)}
    for i in range(3, 9):
        expect(report, pr, "psi_Th", i, psi[i])
        expect(report, pr, "pUs_Th", i, log2(psi[i]))
    # Level j of the repeated extrapolation (ratio 2, order j + 1) turns a term
    # K h^q into K h^q (2^(j+1) - 2^q) / (2^(j+1) - 1), so Tm1(i) = 1.5 plus each
    # term times the product over j = 1 .. i-1: the h^2, h^3 and h^4 terms are gone
    # from grid 4 on and the h^5.5 term is what remains.
    def tm1(i):
        total = Decimal("1.5")
        for K, q in terms:
            f = K * hs[i] ** q
            for j in range(1, i):
                f *= (Decimal(2) ** (j + 1) - Decimal(2) ** q) / (Decimal(2) ** (j + 1) - 1)
            total += f
        return total
    Tm1 = {i: tm1(i) for i in range(2, 9)}
    for i in range(2, 9):
        expect(report, pr, "Tm1", i, Tm1[i])
        expect(report, pr, "Umc_Th", i, Tm1[i] - Th[i])
    psi_m = {}
    for i in range(4, 9):
        psi_m[i] = (Tm1[i - 1] - Tm1[i - 2]) / (Tm1[i] - Tm1[i - 1])
        expect(report, pr, "psi_Tm1", i, psi_m[i])
        expect(report, pr, "pUs_Tm1", i, log2(abs(psi_m[i])))
        expect(report, pr, "Um_Tm1", i - 1, (Tm1[i - 1] - Tm1[i - 2]) / (psi_m[i] - 1))
    psi_e = psi_m[8] ** 2 / psi_m[7]
    expect(report, pr, "Um_Tm1", 8, (Tm1[8] - Tm1[7]) / (psi_e - 1))
    # Ratio 2 and pL = 2: Upl = D / 3.  psi(Th) < 4, so pU = log2 psi < pL and the
    # index uses pU, with 2^pU = psi; so does Ups.
    expect(report, pr, "UGCI_Th", 2, 3 * abs(D(2) / 3))
    for i in range(3, 9):
        expect(report, pr, "UGCI_Th", i, Decimal("1.25") * abs(D(i) / (psi[i] - 1)))
        upl, ups = D(i) / 3, D(i) / (psi[i] - 1)
        expect(report, pr, "Tc", i, Th[i] + (upl + ups) / 2)
        expect(report, pr, "Uc_Tc", i, abs(upl - ups) / 2)


CLOSED_FORMS = {"power_law_l1": check_power_law_l1, "variable_ratio": check_variable_ratio,
                "example_channel": check_example_channel}


def check_case(name):
    folder = os.path.join(HERE, name)
    expected = os.path.join(folder, "expected")
    report = Report(name)
    c = read_case(folder)
    v = estimate(c)
    check_listing(report, c, v, expected)
    check_plots(report, c, v, expected)
    check_scripts(report, c, expected)
    if name in CLOSED_FORMS:
        CLOSED_FORMS[name](report, c, expected)
    return report


def main(argv):
    names = argv[1:] or sorted(n for n in os.listdir(HERE) if os.path.isdir(os.path.join(HERE, n)))
    bad = 0
    for name in names:
        r = check_case(name)
        print("%s: %d values checked, %d disagreements" % (name, r.checked, len(r.failures)))
        for f in r.failures:
            print("  " + f)
        bad += len(r.failures)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
