#!/usr/bin/env bash
# fuzz/run.sh [SECONDS] [TARGET...]
#
# Builds the fuzz targets with clang (build-fuzz/) and runs each for SECONDS
# (default 60), starting from its seed corpus and its kept findings.  New
# inputs go to a scratch corpus, not into the repository.  Fails on any
# finding (a crash, a sanitizer report, a broken rule of the harness, a run
# slower than 10 s or an allocation beyond the limits); the input is left
# in build-fuzz/findings/.  Keep it as fuzz/regressions/TARGET/NAME once
# fixed: the tests replay that folder on every build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(freeformat run data field)

cxx=$(command -v clang++-14 || command -v clang++)
cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build build-fuzz -j2

mkdir -p build-fuzz/findings
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  log=build-fuzz/findings/$t.log
  echo "== fuzzing $t for ${seconds} s"
  seeds=("fuzz/corpus/$t")
  [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
  options=()
  [ -f "fuzz/$t.dict" ] && options+=(-dict="fuzz/$t.dict")
  status=0
  "$root/build-fuzz/${t}_fuzz" "${options[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$root/build-fuzz/findings/$t-" \
    "$work" "${seeds[@]}" >"$log" 2>&1 || status=$?
  rm -rf "$work"
  if [ $status -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz $t: FINDING (exit $status), input in build-fuzz/findings/"
    exit 1
  fi
  runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 runs in \2 s/p' "$log")
  echo "fuzz $t: $runs, no finding"
done
