"""One morvantide.analyse call of a 5-grid study, with and without the
least-squares uncertainty, against a whole-process run of the program on the
same table (morvantide --json - data.txt, the same object as to_dict() gives).
Each row is the median of repeated timings.

    PYTHONPATH=BUILD/python /usr/bin/python3 bench/python_call.py BUILD/morvantide

with BUILD configured with -DMORVANTIDE_PYTHON=ON.  On 2 shared cores
(x86-64): a run 3.4 ms (from Python's subprocess), analyse 0.37 ms with least
squares (11% of a run), 8 us without, to_dict 0.19 ms more."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import morvantide

H = ["0.4", "0.2", "0.1", "0.05", "0.025"]
T = ["1.1632", "1.0407", "1.01012", "1.0025031", "1.000625"]


def median_seconds(call, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        data = os.path.join(folder, "data.txt")
        with open(data, "w") as f:
            f.write("h T\n" + "".join("%s %s\n" % row for row in zip(H, T)))
        process = median_seconds(
            lambda: subprocess.run([program, "--json", "-", data], check=True,
                                   stdout=subprocess.DEVNULL), 200)
    rows = [("analyse, least squares", lambda: morvantide.analyse(H, T)),
            ("analyse, no least squares", lambda: morvantide.analyse(H, T, least_squares=False)),
            ("analyse + to_dict", lambda: morvantide.analyse(H, T).to_dict())]
    print("%-28s %10s %12s" % ("5 grids", "median", "of a run"))
    print("%-28s %8.1f us %12s" % ("whole-process run", process * 1e6, "1"))
    for name, call in rows:
        call()
        t = median_seconds(call, 2000)
        print("%-28s %8.1f us %12.3f" % (name, t * 1e6, t / process))


if __name__ == "__main__":
    main()
