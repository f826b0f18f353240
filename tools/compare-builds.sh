#!/usr/bin/env bash
# Bit-identity comparison of two builds of morvantide on random studies.
#
#   bash tools/compare-builds.sh [-n STUDIES] [-r REVISION] [-s SEED] [-j JOBS]
#                                [--reference PROGRAM] [--program PROGRAM] [--keep DIR]
#                                [--options "OPTIONS"]
#
# The reference program is built from REVISION (default 4b2994b) in a scratch
# copy of the tree, unless --reference names one; the program under test is
# this tree's build/morvantide, built here, unless --program names one.  Each
# study (both layouts, constant and variable ratio, 1 to 30 grids, clean,
# noisy, oscillating, diverging and equal values, zero and negative spacings,
# extreme magnitudes, odd search settings; see tools/compare_studies.py) is
# run by both programs in scratch folders with standard input not a terminal,
# no gnuplot on the search path and the clock pinned by libfaketime.  Every
# file of the two folders, the exit status and both output streams are
# compared byte for byte.  Prints "N studies compared, D differences" and
# exits 1 when D > 0.  Differing studies are named on stderr (and copied to
# --keep DIR).  --options gives both programs a command line (blank-separated,
# e.g. "--no-edit --summary --json r.json --variables all"): their report
# files and console output are compared the same way.  `compare_studies.py make --seed S --index I --dir D` makes one
# again.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
studies=20000
revision=4b2994b
seed=1
jobs=2
chunk=250
reference=
program=
keep=
options=
while [ $# -gt 0 ]; do
  case "$1" in
    -n) studies=$2; shift 2 ;;
    -r) revision=$2; shift 2 ;;
    -s) seed=$2; shift 2 ;;
    -j) jobs=$2; shift 2 ;;
    --reference) reference=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --options) options=$2; shift 2 ;;
    *) echo "compare-builds.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

work=${TMPDIR:-/tmp}/morvantide-compare
mkdir -p "$work"

if [ -z "$reference" ]; then
  commit=$(git -C "$root" rev-parse --verify "$revision^{commit}")
  refdir=$work/ref-$commit
  if [ ! -x "$refdir/build/morvantide" ]; then
    rm -rf "$refdir"
    mkdir -p "$refdir/src"
    git -C "$root" archive "$commit" | tar -x -C "$refdir/src"
    cmake -S "$refdir/src" -B "$refdir/build" -DMORVANTIDE_TESTS=OFF >/dev/null
    cmake --build "$refdir/build" -j"$jobs" --target morvantide >/dev/null
  fi
  reference=$refdir/build/morvantide
fi
if [ -z "$program" ]; then
  cmake -S "$root" -B "$root/build" >/dev/null
  cmake --build "$root/build" -j"$jobs" --target morvantide >/dev/null
  program=$root/build/morvantide
fi
# The programs run in scratch folders: absolute paths.
reference=$(realpath "$reference")
program=$(realpath "$program")
extra_args=()
[ -n "$keep" ] && mkdir -p "$keep" && extra_args=(--keep "$(realpath "$keep")")
extra_args+=(--options "$options")

# Chunks of studies, `jobs` at a time; each chunk prints one summary line.
trap 'rm -f "$work/summary.$$"' EXIT
seq 0 "$chunk" $((studies - 1)) |
  xargs -P "$jobs" -I{} sh -c 'n=$(( '"$studies"' - {} )); [ $n -gt '"$chunk"' ] && n='"$chunk"'
    r=$1 p=$2 s=$3 w=$4; shift 4
    exec python3 "$0" run --reference "$r" --program "$p" --seed "$s" --first {} --count $n \
      --scratch "$w" "$@"' \
    "$here/compare_studies.py" "$reference" "$program" "$seed" "$work" "${extra_args[@]}" \
    > "$work/summary.$$"
read -r compared differences < <(awk '{c += $2; d += $4} END {print c + 0, d + 0}' "$work/summary.$$")
echo "$compared studies compared, $differences differences"
[ "$compared" -eq "$studies" ] && [ "$differences" -eq 0 ]
