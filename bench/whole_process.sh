#!/usr/bin/env bash
# Whole-process benchmark: builds the program as a user would (the default
# build type), the floor program and the process benchmark in BUILD_DIR
# (default build-bench), then times the runs of bench/process_bench.cc.
#
#   bash bench/whole_process.sh [BUILD_DIR] [--reference PROGRAM] [--runs-scale K] [--large] [--rows TEXT]
#
# --reference PROGRAM times another build (an older revision) interleaved
# with this one and prints the ratio of the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
[ $# -gt 0 ] && shift
cmake -S "$root" -B "$build" -DMORVANTIDE_BENCHMARKS=ON -DMORVANTIDE_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target morvantide morvantide_floor morvantide_process_bench >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/morvantide_process_bench" "$build/morvantide" "$build/bench/morvantide_floor" "$@"
