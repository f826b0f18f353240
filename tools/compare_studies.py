#!/usr/bin/env python3
"""Random studies run by two builds of morvantide, every output compared byte for byte.

Used by tools/compare-builds.sh, which builds the two programs and runs chunks
of studies in parallel.  Each study is made from (seed, index) alone, so one
that differs can be made again:

    compare_studies.py make --seed 1 --index 4711 --dir /tmp/s4711
    compare_studies.py run --reference REF --program NEW --seed 1 --first 0 --count 500

`run` prints one line "compared N differences D" and, on standard error, the
index and first differing file of each difference.  Standard library only.
"""

import argparse
import decimal
import os
import random
import shutil
import subprocess
import sys
import tempfile

D = decimal.Decimal
CTX = decimal.Context(prec=60, Emax=999999, Emin=-999999)

FAKETIME_LIBS = ("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                 "/usr/lib/faketime/libfaketime.so.1")
PINNED_CLOCK = "2026-01-02 03:04:05"


# ---------------------------------------------------------------- numbers

def text_of(x, rng, digits=None):
    """Decimal text of x as a user or a solver would write it."""
    if digits is None:
        digits = rng.choice((36, 36, 36, 34, 20, 17, 8, 3))
    if x == 0:
        return rng.choice(("0", "0.0", "0.0E+00", "-0.0"))
    s = "{:.{}E}".format(CTX.plus(x), digits - 1)
    if rng.random() < 0.1:
        s = s.replace("E", "D")
    return s


def power(base, exponent):
    """|base|^exponent with the sign of base for whole exponents, in Decimal."""
    if base == 0:
        return D(0) if exponent > 0 else D(1)
    mag = CTX.power(abs(base), exponent)
    if base < 0 and exponent == exponent.to_integral_value() and int(exponent) % 2:
        return -mag
    return mag


def spacings(rng, nm):
    kind = rng.choices(
        ("constant", "variable", "mild", "equal", "zero", "negative", "shuffled", "extreme"),
        weights=(30, 35, 10, 5, 4, 4, 6, 6))[0]
    h0 = D(rng.choice(("1", "0.2", "0.5", "0.125", "2", "10", "1E-3"))) * D(rng.choice((1, 1, 3, 7)))
    hs = []
    if kind == "constant" or kind == "extreme":
        r = D(rng.choice(("2", "1.5", "1.25", "3", "4", "1.1", "1.41421356237309504880168872420969808")))
        if kind == "extreme":
            h0 = D(10) ** rng.choice((-4000, -1000, -300, -40, 40, 300, 1000))
        h = h0
        for _ in range(nm):
            hs.append(h)
            h = CTX.divide(h, r)
    else:
        h = h0
        for _ in range(nm):
            hs.append(h)
            lo, hi = (1.05, 4.0) if kind != "mild" else (1.9, 2.1)
            h = CTX.divide(h, D(repr(round(rng.uniform(lo, hi), rng.choice((1, 2, 3, 15))))))
        if kind == "equal" and nm > 1:
            k = rng.randrange(1, nm)
            hs[k] = hs[k - 1]
        elif kind == "zero":
            hs[rng.randrange(nm)] = D(0)
        elif kind == "negative":
            if rng.random() < 0.5:
                hs = [-x for x in hs]
            else:
                k = rng.randrange(nm)
                hs[k] = -hs[k]
        elif kind == "shuffled":
            rng.shuffle(hs)
    return kind, hs


def solutions(rng, hs):
    kind = rng.choices(
        ("clean", "noisy", "oscillating", "diverging", "equal", "some_equal", "extreme", "random"),
        weights=(30, 20, 10, 8, 5, 7, 10, 10))[0]
    t0 = D(rng.choice(("1", "1.5", "0", "-3.25", "12.124", "1E-8", "100")))
    if kind == "extreme":
        t0 = D(10) ** rng.choice((-4900, -1000, -300, 300, 1000, 4900)) * rng.choice((1, -1, D("1.7")))
    terms = []
    p = D(rng.choice(("2", "1", "0.5", "3", "1.37", "2.5", "4")))
    for _ in range(rng.choice((1, 1, 2, 3))):
        c = D(repr(rng.uniform(-5, 5)))
        if kind == "extreme":
            c *= abs(t0) if t0 != 0 else 1
        terms.append((c, p))
        p += D(rng.choice(("1", "0.5", "1", "2")))
    if kind == "diverging":
        terms = [(c, -abs(q) + D(rng.choice(("0", "0.5")))) for c, q in terms]
    ts = []
    for k, h in enumerate(hs):
        t = t0
        for c, q in terms:
            term = c * power(h, q)
            if kind == "oscillating" and k % 2:
                term = -term
            t += term
        if kind == "noisy":
            t *= 1 + D(repr(rng.uniform(-1, 1))) * D(10) ** rng.choice((-30, -20, -12, -6, -3))
        if kind == "random":
            t = D(repr(rng.uniform(-10, 10)))
        ts.append(CTX.plus(t))
    if kind == "equal":
        ts = [ts[0]] * len(ts)
    elif kind == "some_equal" and len(ts) > 1:
        for _ in range(rng.randrange(1, 3)):
            k = rng.randrange(1, len(ts))
            ts[k] = ts[k - 1]
    return kind, ts


# ---------------------------------------------------------------- studies

def parameters(rng):
    pick = rng.choice
    return {
        "pL": pick(("2", "2", "1", "0.5", "3", "2.0D0", "0", "-1", "1.37", "1E-40", "1E4000")),
        "dp": pick(("1", "1", "0.5", "2", "0", "-1", "0.25", "1E-30")),
        "tipo_r": rng.choices((1, 2, 0, 3), weights=(40, 55, 3, 2))[0],
        "itmax": pick((50, 50, 100, 20, 0, 1, 2, 3, 10, 200, -1, 1000)),
        "tol": pick(("1.0E-12", "1.0E-10", "1E-30", "0", "1E-6", "1", "1E-4000", "-1")),
        "pU": pick((("0.5", "5.0"), ("0.5", "5.0"), ("0.1", "10"), ("5.0", "0.5"), ("1", "1"),
                    ("-3", "3"), ("0", "20"), ("1E-3", "1E3"), ("2", "2.0000001"))),
    }


def make_study(seed, index, folder):
    """Writes the inputs of study (seed, index) into folder; returns a short description."""
    rng = random.Random("%s:%d" % (seed, index))
    layout = rng.choice((0, 1))
    nm = rng.choices((1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20, 25, 30),
                     weights=(2, 3, 5, 6, 8, 8, 8, 10, 8, 8, 8, 8, 6, 6))[0]
    nv = rng.choice((1, 1, 1, 2, 3))
    hkind, hs = spacings(rng, nm)
    tkind, ts = solutions(rng, hs)
    par = parameters(rng)
    short = nm > 1 and rng.random() < 0.02  # a result file that ends early
    title = rng.choice(("'Estudo %d'" % index, "'Lei de potencia: T = 1 + h**2'", "Canal",
                        "'it''s quoted'", "'%s'" % ("x" * 120)))
    listing = rng.choice(("listagem.txt", "lista.txt", "out.lst"))

    def write(name, lines):
        with open(os.path.join(folder, name), "w", newline="") as f:
            eol = "\r\n" if rng.random() < 0.2 else "\n"
            f.write(eol.join(lines) + eol)

    def row_values(k):
        values = [text_of(D(repr(rng.uniform(-9, 9))), rng, 8) for _ in range(nv - 1)]
        values.append(text_of(ts[k], rng))
        return values

    files = ["g%d.txt" % (k + 1) for k in range(nm)] if layout == 0 else ["resultados.txt"]
    write("Morvantide_4p0.in", ["%d ! layout" % layout, "param_n.txt", "param_1.txt"])
    write("param_%s.txt" % ("n" if layout == 0 else "1"),
          ["%d ! nv" % nv, listing, par["pL"], par["dp"], str(par["tipo_r"]), str(par["itmax"]),
           par["tol"], par["pU"][0], par["pU"][1], "%d ! nm" % nm] + files + [title])
    if layout == 0:
        for k in range(nm):
            lines = [text_of(hs[k], rng)]
            values = row_values(k)
            lines += ["%d  %s" % (v + 1, values[v]) for v in range(nv)]
            if short and k == nm - 1:
                lines = lines[:1]
            write(files[k], lines)
    else:
        rows = ["h " + " ".join("v%d" % (v + 1) for v in range(nv))]
        for k in range(nm - (1 if short else 0)):
            rows.append("  ".join([text_of(hs[k], rng)] + row_values(k)))
        write(files[0], rows)
    return "layout %d, tipo_r %d, %d grids, h %s, T %s, itmax %d, tol %s, pU %s..%s" % (
        layout, par["tipo_r"], nm, hkind, tkind, par["itmax"], par["tol"], par["pU"][0], par["pU"][1])


# ---------------------------------------------------------------- running

def faketime_lib():
    for lib in FAKETIME_LIBS:
        if os.path.exists(lib):
            return lib
    sys.exit("compare_studies: libfaketime not found (apt-get install faketime)")


def run_program(program, folder, env, options=()):
    p = subprocess.run([program] + list(options), cwd=folder, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    return p.returncode, p.stdout, p.stderr


def first_difference(a_dir, b_dir, a_run, b_run):
    if a_run != b_run:
        return "exit status or messages: %r / %r" % (a_run, b_run)
    a_files, b_files = sorted(os.listdir(a_dir)), sorted(os.listdir(b_dir))
    if a_files != b_files:
        return "files: %s / %s" % (a_files, b_files)
    for name in a_files:
        with open(os.path.join(a_dir, name), "rb") as f:
            a = f.read()
        with open(os.path.join(b_dir, name), "rb") as f:
            b = f.read()
        if a != b:
            return "file %s" % name
    return None


def compare(args):
    env = {"PATH": "/nonexistent", "TZ": "UTC", "LD_PRELOAD": faketime_lib(),
           "FAKETIME": PINNED_CLOCK, "FAKETIME_DONT_FAKE_MONOTONIC": "1", "NO_FAKE_STAT": "1"}
    scratch = tempfile.mkdtemp(prefix="compare-studies-", dir=args.scratch)
    inputs, ref_dir, new_dir = (os.path.join(scratch, n) for n in ("inputs", "reference", "program"))
    differences = 0
    try:
        for index in range(args.first, args.first + args.count):
            for d in (inputs, ref_dir, new_dir):
                shutil.rmtree(d, ignore_errors=True)
            os.mkdir(inputs)
            what = make_study(args.seed, index, inputs)
            shutil.copytree(inputs, ref_dir)
            shutil.copytree(inputs, new_dir)
            options = args.options.split()
            ref_run = run_program(args.reference, ref_dir, env, options)
            new_run = run_program(args.program, new_dir, env, options)
            diff = first_difference(ref_dir, new_dir, ref_run, new_run)
            if diff:
                differences += 1
                print("study %d (%s): %s" % (index, what, diff), file=sys.stderr)
                if args.keep:
                    kept = os.path.join(args.keep, "study-%d" % index)
                    shutil.rmtree(kept, ignore_errors=True)
                    shutil.copytree(scratch, kept)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("compared %d differences %d" % (args.count, differences))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    mk = sub.add_parser("make", help="write the inputs of one study")
    mk.add_argument("--seed", default="1")
    mk.add_argument("--index", type=int, required=True)
    mk.add_argument("--dir", required=True)
    rn = sub.add_parser("run", help="run a range of studies with both programs")
    rn.add_argument("--reference", required=True)
    rn.add_argument("--program", required=True)
    rn.add_argument("--seed", default="1")
    rn.add_argument("--first", type=int, default=0)
    rn.add_argument("--count", type=int, default=100)
    rn.add_argument("--scratch", default=None)
    rn.add_argument("--keep", default=None, help="folder where differing studies are kept")
    rn.add_argument("--options", default="",
                    help="the programs' command line, blank-separated (default: none)")
    args = parser.parse_args()
    if args.command == "make":
        os.makedirs(args.dir, exist_ok=True)
        print(make_study(args.seed, args.index, args.dir))
    else:
        compare(args)


if __name__ == "__main__":
    main()
