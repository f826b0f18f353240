#!/usr/bin/env bash
# Field mode's whole-process timings (bench/README.md, "A whole field"):
# 10^6 points x 4 grids read from .npy, analysed, written to .npz with the
# summary, against the floor program bench/field_floor.cc on the same
# number of threads; the variable-ratio and CSV runs against the constant-
# ratio .npy run; peak memory; and a numpy float64 per-point GCI script, the
# usual hand-written one, on the same field.  Each pair runs interleaved,
# RUNS times, and the medians are compared.
#
#   bash bench/field_process.sh [BUILD_DIR] [POINTS] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-bench}")
points=${2:-1000000}
runs=${3:-3}
threads=${MORVANTIDE_THREADS:-$(nproc)}
cmake -S "$root" -B "$build" -DMORVANTIDE_BENCHMARKS=ON -DMORVANTIDE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target morvantide field_floor >/dev/null
program=$build/morvantide
floor=$build/bench/field_floor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$floor" make c.npy "$points" 4 >/dev/null
# The variable ratio on a twentieth of the points: its order searches
# (three a point) take far longer; the rows compare the time per point.
vpoints=$((points / 20))
"$floor" make v.npy "$vpoints" 4 variable > v.txt
"$floor" make c.csv "$points" 4 >/dev/null
hv=$(cut -d' ' -f2- v.txt | tr ' ' ',')
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')
echo "machine: $(nproc) cores, $cpu, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$threads threads; $points points x 4 grids"

# Seconds and peak resident kilobytes of one run.
timed() {
  /usr/bin/time -f "%e %M" -o t.txt "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat t.txt
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A seconds memory
for ((k = 0; k < runs; k++)); do
  for row in floor constant variable csv numpy; do
    case $row in
      floor) r=$(timed "$floor" c.npy o.bin "$threads") ;;
      constant) r=$(timed env MORVANTIDE_THREADS="$threads" "$program" --field c.npy \
                      --h 1,0.5,0.25,0.125 --output o.npz --json s.json) ;;
      variable) r=$(timed env MORVANTIDE_THREADS="$threads" "$program" --field v.npy --h "$hv" \
                      --output o.npz --json s.json) ;;
      csv) r=$(timed env MORVANTIDE_THREADS="$threads" "$program" --field c.csv --output o.npz \
                 --json s.json) ;;
      numpy) r=$(timed /usr/bin/python3 -c '
import numpy as np
F = np.load("c.npy"); r = 2.0
d1 = F[:, 2] - F[:, 1]; d2 = F[:, 3] - F[:, 2]
with np.errstate(all="ignore"):
    p = np.log(np.abs(d1 / d2)) / np.log(r)
    Ti = F[:, 3] + d2 / (r ** p - 1)
    U = 1.25 * np.abs(d2 / (r ** np.minimum(p, 2) - 1))
np.savez("n.npz", Th=F[:, 3], p=p, Ti=Ti, U=U, U_relative=U / np.abs(F[:, 3]))') ;;
    esac
    seconds[$row]+="${r% *} "
    memory[$row]+="${r#* } "
  done
done
m() { echo "${seconds[$1]}" | tr ' ' '\n' | grep . | median; }
kb() { echo "${memory[$1]}" | tr ' ' '\n' | grep . | sort -n | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
printf "%-40s %8s %10s\n" "run" "seconds" "peak MB"
for row in floor constant variable csv numpy; do
  printf "%-40s %8s %10d\n" "$row" "$(m $row)" "$(( $(kb $row) / 1024 ))"
done
input_mb=$(( points * 4 * 16 / 1048576 ))
output_mb=$(( points * (7 * 8 + 3) / 1048576 ))
echo "constant ratio / floor:   $(ratio "$(m constant)" "$(m floor)")   (target <= 1.5)"
echo "variable / constant, per point: $(ratio "$(m variable)" "$(awk -v c="$(m constant)" \
  'BEGIN {print c / 20}')")   (target <= 3; the variable run has $vpoints points)"
echo "CSV / .npy input:         $(ratio "$(m csv)" "$(m constant)")   (target <= 2)"
echo "peak / (input as binary128 + outputs): $(ratio "$(( $(kb constant) / 1024 ))" "$((input_mb + output_mb))")   (target <= 3)"
echo "constant ratio / numpy float64 GCI: $(ratio "$(m constant)" "$(m numpy)")"
