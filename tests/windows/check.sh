#!/usr/bin/env bash
# check.sh WIN_BUILD_DIR [LINUX_PROGRAM [ACCEPTANCE_DIR]]
#
# Checks the Windows program (WIN_BUILD_DIR/morvantide.exe, cross-built
# with cmake/mingw-w64-x86_64.cmake) under Wine, headless, in a Wine prefix
# of its own that is made once and removed at the end:
#
#   platform    the platform layer (tests/windows/platform_check.cc, linked
#               with WIN_BUILD_DIR/libmorvantide_lib.a): command lines
#               through the real CommandLineToArgvW, programs started and
#               waited for, file identities, bytes kept as written;
#   launches    a whole run with stand-in notepad.exe and wgnuplot.exe
#               beside the program (tests/windows/stand_in.cc), each waiting
#               a second: notepad on the control file, then on the parameter
#               file, wgnuplot on each script, notepad on the listing, each
#               started only after the previous one has ended, each with its
#               file as one argument, names with blanks and an ampersand;
#               a data run's --output-dir, wgnuplot started in the folder;
#   example     with LINUX_PROGRAM: the bundled example run by both programs
#               under the same frozen clock, every file byte-identical; the
#               Windows side runs in the unpacked release archive when
#               tools/release-windows.sh has made it in WIN_BUILD_DIR;
#   options     with LINUX_PROGRAM: --no-edit --no-plot start nothing, and the
#               report of the example (summary, JSON, CSV) is the Linux
#               program's; a bad option value is one line and status 2;
#   acceptance  with ACCEPTANCE_DIR: every shared acceptance case, through
#               tests/acceptance.sh, with the Windows program run by Wine.
#
# The stand-ins stay beside morvantide.exe for every run, so no real editor
# or plotter is ever started.  The last line is "windows: N passed, M
# failed"; exit status 0 when everything passed.
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 WIN_BUILD_DIR [LINUX_PROGRAM [ACCEPTANCE_DIR]]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
linux=${2:-}
acceptance=${3:-}
[ -n "$linux" ] && linux=$(cd "$(dirname "$linux")" && pwd)/$(basename "$linux")
[ -n "$acceptance" ] && acceptance=$(cd "$acceptance" && pwd)

cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)
for need in "$build/morvantide.exe" "$build/libmorvantide_lib.a"; do
  [ -f "$need" ] || { echo "missing $need (build it first)" >&2; exit 2; }
done
[ -n "$cxx" ] || { echo "x86_64-w64-mingw32-g++ not found (apt-get install g++-mingw-w64-x86-64)" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine not found (apt-get install wine wine64)" >&2; exit 2; }
fakelib=""
for f in /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
  [ -f "$f" ] && { fakelib=$f; break; }
done

work=$(mktemp -d)
bin=$work/bin
mkdir -p "$bin"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TZ=UTC
export HOME=${HOME:-$work}
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1"; failed=$((failed + 1)); }

echo "-- building the stand-ins and the platform checks"
cp "$build/morvantide.exe" "$bin/"
flags=(-std=gnu++20 -Wall -Wextra -O1 -static)
for name in notepad wgnuplot; do
  "$cxx" "${flags[@]}" -DSTAND_IN_NAME="\"$name\"" "$root/tests/windows/stand_in.cc" \
    -o "$bin/$name.exe" -lshell32 || exit 2
done
"$cxx" "${flags[@]}" -I"$root/src" "$root/tests/windows/platform_check.cc" \
  -o "$bin/platform_check.exe" "$build/libmorvantide_lib.a" -lquadmath -lshell32 || exit 2

echo "-- starting Wine (a new prefix: this takes a while)"
start=$SECONDS
timeout 300 wineboot -i >/dev/null 2>&1
wineserver -p60  # stays 60 s after the last program, not forever
echo "   ready in $((SECONDS - start)) s"

# Wine with the clock frozen at $1 (file times are left alone, so Wine does
# not take its prefix for outdated).
wine_at() {
  local clock=$1
  shift
  LD_PRELOAD=$fakelib FAKETIME=$clock FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1 wine "$@"
}

# --- platform
echo "-- platform"
# Static: the program imports only DLLs that every Windows has.
dlls=$(x86_64-w64-mingw32-objdump -p "$bin/morvantide.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
foreign=$(grep -viE '^(kernel32|msvcrt|ucrtbase|api-ms-win-.*|advapi32|user32|shell32|ntdll)\.dll$' <<< "$dlls")
if [ -n "$dlls" ] && [ -z "$foreign" ]; then
  pass "morvantide.exe needs no DLL beyond Windows's own ($(echo $dlls))"
else
  fail "morvantide.exe needs no DLL beyond Windows's own; it also imports: $(echo $foreign)"
fi
mkdir "$work/platform"
(cd "$work/platform" && timeout 120 wine "$bin/platform_check.exe") > "$work/platform.out" 2>&1
grep -v '^ok ' "$work/platform.out"
if [[ $(tail -1 "$work/platform.out" | tr -d '\r') =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
else
  fail "the platform checks did not finish"
fi
rm -f "$bin/calls.log"

# --- launches
echo "-- launches"
run=$work/launch
mkdir "$run"
cp "$root/examples/channel/resultados.txt" "$run/"
crlf() { sed 's/$/\r/'; }
crlf > "$run/Morvantide_4p0.in" <<'IN'
1
'param & dados n.txt'
'param & dados 1.txt'
IN
crlf > "$run/param & dados 1.txt" <<'IN'
1
'lista & x.txt'
2
1
1
50
1.0E-12
0.5
5.0
4
resultados.txt
'Canal & cia'
IN
for k in $(seq 15); do echo "# pU template line $k"; done | crlf > "$run/Morvantide_4p0_pU.gnu"
for k in $(seq 10); do echo "# U template line $k"; done | crlf > "$run/Morvantide_4p0_U.gnu"
size() { stat -c %s "$run/$1"; }
control_size=$(size Morvantide_4p0.in)
param_size=$(size "param & dados 1.txt")
started=$SECONDS
(cd "$run" && STANDIN_DELAY_MS=1000 timeout 120 wine "$bin/morvantide.exe" </dev/null) \
  > "$work/launch.out" 2>&1
rc=$?
took=$((SECONDS - started))
if [ $rc -eq 0 ]; then pass "a run with stand-ins ends with status 0 (${took} s)"
else cat "$work/launch.out"; fail "a run with stand-ins ends with status 0 (got $rc)"; fi
# What each program saw when it started: the size of its file then must be
# the file's final size for the scripts and the listing (written and closed
# before the program on them starts).
{
  entry() { printf 'start\t%s\t1\t%s\t%s "%s"\t%s\nend\t%s\t%s\n' "$1" "$2" "$1" "$3" "$3" "$1" "$3"; }
  entry notepad "$control_size" "Morvantide_4p0.in"
  entry notepad "$param_size" "param & dados 1.txt"
  entry wgnuplot "$(size Morvantide_4p0_pU.gnu)" "Morvantide_4p0_pU.gnu"
  entry wgnuplot "$(size Morvantide_4p0_U.gnu)" "Morvantide_4p0_U.gnu"
  entry notepad "$(size "lista & x.txt" 2>/dev/null || echo missing)" "lista & x.txt"
} > "$work/calls.expected"
if [ -f "$bin/calls.log" ] && diff "$work/calls.expected" "$bin/calls.log" > "$work/calls.diff"; then
  pass "notepad on the control and parameter files, wgnuplot on each script, notepad on the listing: in order, one at a time, each file one quoted argument"
else
  if [ -f "$bin/calls.log" ]; then
    echo "   expected calls (< expected, > logged):"; cat -A "$work/calls.diff" | sed 's/^/   /'
  else
    echo "   no stand-in was started"
  fi
  fail "the order and arguments of the programs started"
fi
if [ "$(wc -l < "$run/Morvantide_4p0_pU.gnu")" -eq 17 ] && [ "$(wc -l < "$run/Morvantide_4p0_U.gnu")" -eq 12 ] &&
   tail -2 "$run/Morvantide_4p0_U.gnu" | head -1 | grep -q "^set title 'Canal & cia ("; then
  pass "both scripts hold their kept lines, the title and replot"
else
  fail "both scripts hold their kept lines, the title and replot"
fi
rm -f "$bin/calls.log"

# A listing named like a plot data file in other letters (or with a trailing
# dot) is the same file on Windows: the run must refuse it before writing.
for listing in P0.DAT U_12.dat. pu_mer.DAT; do
  clash=$work/clash
  rm -rf "$clash"
  mkdir "$clash"
  cp "$run/Morvantide_4p0.in" "$run/resultados.txt" "$clash/"
  for k in $(seq 15); do echo "# line $k"; done | crlf > "$clash/Morvantide_4p0_pU.gnu"
  for k in $(seq 10); do echo "# line $k"; done | crlf > "$clash/Morvantide_4p0_U.gnu"
  sed "s/'lista & x.txt'/'$listing'/" "$run/param & dados 1.txt" > "$clash/param & dados 1.txt"
  (cd "$clash" && timeout 120 wine "$bin/morvantide.exe" </dev/null) > "$work/clash.out" 2>&1
  rc=$?
  written=$(cd "$clash" && ls | grep -viE '^(Morvantide_4p0\.in|resultados\.txt|Morvantide_4p0_(pU|U)\.gnu|param & dados 1\.txt)$')
  if [ $rc -ne 0 ] && [ -z "$written" ] && grep -q "same file" "$work/clash.out"; then
    pass "listing '$listing' refused as the same file as a plot file, nothing written"
  else
    cat "$work/clash.out"
    fail "listing '$listing' refused as the same file as a plot file (status $rc, written: $(echo $written))"
  fi
done
rm -f "$bin/calls.log"

# A data run's --output-dir: the classic files go into the folder (made when
# missing), wgnuplot starts there on each script (it sees the script's size
# from its own folder), and a relative report name stays in the current
# folder.
out=$work/outdir
mkdir "$out"
printf 'h,u\r\n0.4,1.16\r\n0.2,1.04\r\n0.1,1.01\r\n' > "$out/d.csv"
(cd "$out" && timeout 120 wine "$bin/morvantide.exe" --output-dir 'new dir' --json r.json d.csv \
  </dev/null) > "$work/outdir.out" 2>&1
rc=$?
{
  printf 'start\twgnuplot\t1\t%s\twgnuplot "Morvantide_4p0_pU.gnu"\tMorvantide_4p0_pU.gnu\nend\twgnuplot\tMorvantide_4p0_pU.gnu\n' \
    "$(stat -c %s "$out/new dir/Morvantide_4p0_pU.gnu" 2>/dev/null)"
  printf 'start\twgnuplot\t1\t%s\twgnuplot "Morvantide_4p0_U.gnu"\tMorvantide_4p0_U.gnu\nend\twgnuplot\tMorvantide_4p0_U.gnu\n' \
    "$(stat -c %s "$out/new dir/Morvantide_4p0_U.gnu" 2>/dev/null)"
} > "$work/outdir.expected"
if [ $rc -eq 0 ] && [ -f "$out/new dir/listagem.txt" ] && [ -f "$out/r.json" ] &&
   [ ! -e "$out/listagem.txt" ] && [ -f "$bin/calls.log" ] &&
   diff "$work/outdir.expected" "$bin/calls.log" > "$work/outdir.diff"; then
  pass "--output-dir: the classic files in the folder, wgnuplot started there, the report where it was named"
else
  cat "$work/outdir.out"
  [ -f "$work/outdir.diff" ] && cat -A "$work/outdir.diff" | sed 's/^/   /'
  fail "--output-dir: the classic files in the folder, wgnuplot started there (status $rc)"
fi
rm -f "$bin/calls.log"

# --- example
# From the release archive when tools/release-windows.sh has made it (the
# folder a user unpacks, with the stand-ins put beside the program), else
# from examples/channel and templates/.
if [ -n "$linux" ]; then
  echo "-- example"
  archive=$(ls "$build"/morvantide-*-windows-x86_64.zip 2>/dev/null | head -1)
  mkdir "$work/ex-linux" "$work/unpacked"
  if [ -n "$archive" ]; then
    (cd "$work/unpacked" && cmake -E tar xf "$archive")
    folder=$(ls -d "$work/unpacked"/*/ | head -1)
    folder=${folder%/}
    exe=$folder/morvantide.exe
    # The Linux program gets the same inputs and templates.
    (cd "$folder" && find . -type f ! -name '*.exe' ! -name README.txt -exec cp {} "$work/ex-linux/" \;)
    cp "$bin/notepad.exe" "$bin/wgnuplot.exe" "$folder/"
    if [ -f "$folder/README.txt" ] && [ -f "$exe" ] &&
       ! grep -qv $'\r$' "$folder/README.txt"; then
      pass "the archive $(basename "$archive") holds morvantide.exe and README.txt (CR LF)"
    else
      fail "the archive $(basename "$archive") holds morvantide.exe and README.txt (CR LF)"
    fi
  else
    cp -r "$root/examples/channel/." "$work/ex-linux/"
    for t in Morvantide_4p0_pU.gnu Morvantide_4p0_U.gnu; do
      [ -f "$root/templates/$t" ] && cp "$root/templates/$t" "$work/ex-linux/"
    done
    folder=$work/ex-windows
    mkdir "$folder"
    cp -r "$work/ex-linux/." "$folder/"
    exe=$bin/morvantide.exe
  fi
  inputs=$(cd "$work/ex-linux" && find . -type f | sort)
  if [ -z "$fakelib" ]; then
    fail "libfaketime not found (apt-get install faketime)"
  else
    clock="2026-12-06 09:05:03"
    (cd "$work/ex-linux" && env -i PATH="$work/no-such-dir" TZ=UTC LD_PRELOAD="$fakelib" \
       FAKETIME="$clock" FAKETIME_DONT_FAKE_MONOTONIC=1 "$linux" </dev/null) > "$work/ex-linux.out" 2>&1
    rc_linux=$?
    (cd "$folder" && wine_at "$clock" "$exe" </dev/null) > "$work/ex-windows.out" 2>&1
    rc_windows=$?
    rm -f "$folder/calls.log"
    files=$(cd "$work/ex-linux" && find . -type f | sort)
    missing=$(cd "$folder" && while IFS= read -r f; do [ -f "$f" ] || echo "$f"; done <<< "$files")
    different=$(cd "$folder" && while IFS= read -r f; do
      [ -f "$f" ] && ! cmp -s "$f" "$work/ex-linux/$f" && echo "$f"; done <<< "$files")
    if [ $rc_linux -ne 0 ] || [ $rc_windows -ne 0 ]; then
      cat "$work/ex-linux.out" "$work/ex-windows.out"
      fail "the example runs on both (status $rc_linux on Linux, $rc_windows on Windows)"
    elif [ -n "$missing" ]; then
      fail "the example leaves the same files on both; missing on Windows: $(echo $missing)"
    elif [ -n "$different" ]; then
      while IFS= read -r f; do cmp "$work/ex-linux/$f" "$folder/$f"; done <<< "$different"
      fail "the example's files are byte-identical on both; different: $(echo $different)"
    else
      pass "the example: $(echo "$files" | wc -l) files byte-identical to the Linux program's (inputs: $(echo $inputs))"
    fi
  fi
fi

# --- options
# The batch switches and the report on the bundled example: no stand-in is
# started, and the summary, JSON and CSV are those of the Linux program
# (the summary with CR LF line ends on Windows).
if [ -n "$linux" ]; then
  echo "-- options"
  rm -f "$bin/calls.log"
  for side in linux windows; do
    mkdir "$work/opt-$side"
    cp -r "$root/examples/channel/." "$work/opt-$side/"
  done
  report=(--no-edit --no-plot --summary --variables all --target 0.0001% --json r.json --csv r.csv)
  (cd "$work/opt-linux" && env -i PATH="$work/no-such-dir" TZ=UTC "$linux" "${report[@]}" </dev/null) \
    > "$work/opt-linux.out" 2> "$work/opt-linux.err"
  rc_linux=$?
  (cd "$work/opt-windows" && timeout 120 wine "$bin/morvantide.exe" "${report[@]}" </dev/null) \
    > "$work/opt-windows.out" 2> "$work/opt-windows.err"
  rc_windows=$?
  if [ $rc_linux -eq 0 ] && [ $rc_windows -eq 0 ] && [ ! -f "$bin/calls.log" ]; then
    pass "--no-edit --no-plot with the report: status 0 on both, no editor or plotter started"
  else
    cat "$work/opt-linux.err" "$work/opt-windows.err"
    fail "--no-edit --no-plot with the report (status $rc_linux on Linux, $rc_windows on Windows$([ -f "$bin/calls.log" ] && echo ', a stand-in was started'))"
  fi
  if [ -s "$work/opt-linux.out" ] && cmp -s <(sed 's/$/\r/' "$work/opt-linux.out") "$work/opt-windows.out" &&
     cmp -s "$work/opt-linux/r.json" "$work/opt-windows/r.json" &&
     cmp -s "$work/opt-linux/r.csv" "$work/opt-windows/r.csv"; then
    pass "the summary, JSON and CSV of the example are the Linux program's"
  else
    diff <(sed 's/$/\r/' "$work/opt-linux.out") "$work/opt-windows.out" | cat -A | head -20
    cmp "$work/opt-linux/r.json" "$work/opt-windows/r.json"
    cmp "$work/opt-linux/r.csv" "$work/opt-windows/r.csv"
    fail "the summary, JSON and CSV of the example are the Linux program's"
  fi
  (cd "$work/opt-windows" && timeout 120 wine "$bin/morvantide.exe" --target=-1 </dev/null) \
    > "$work/opt-bad.out" 2>&1
  rc=$?
  if [ $rc -eq 2 ] && [ "$(tr -d '\r' < "$work/opt-bad.out")" = 'morvantide: bad value for --target: "-1" (a positive number, or a percentage such as 0.1%)' ]; then
    pass "a bad option value: one line and status 2"
  else
    cat "$work/opt-bad.out"
    fail "a bad option value: one line and status 2 (got $rc)"
  fi
  rm -f "$bin/calls.log"
fi

# --- least-squares plot
# --plot-least-squares on the bundled example: wgnuplot is started on the
# third script after the two classic ones, and U_LS.dat and the script's
# kept lines are the Linux program's, byte for byte (the title holds the date).
if [ -n "$linux" ]; then
  echo "-- least-squares plot"
  rm -f "$bin/calls.log"
  for side in linux windows; do
    mkdir "$work/ls-$side"
    cp -r "$root/examples/channel/." "$work/ls-$side/"
  done
  (cd "$work/ls-linux" && env -i PATH="$work/no-such-dir" TZ=UTC "$linux" --no-edit \
     --plot-least-squares </dev/null) > "$work/ls-linux.out" 2>&1
  rc_linux=$?
  (cd "$work/ls-windows" && timeout 120 wine "$bin/morvantide.exe" --no-edit \
     --plot-least-squares </dev/null) > "$work/ls-windows.out" 2>&1
  rc_windows=$?
  plotted=$(grep -c $'^start\twgnuplot\t' "$bin/calls.log" 2>/dev/null)
  third=$(grep -c $'^start\twgnuplot\t.*Morvantide_4p0_U_LS.gnu' "$bin/calls.log" 2>/dev/null)
  if [ $rc_linux -eq 0 ] && [ $rc_windows -eq 0 ] && [ "$plotted" = 3 ] && [ "$third" = 1 ] &&
     [ "$(grep $'^start\twgnuplot\t' "$bin/calls.log" | tail -1 | grep -c U_LS)" = 1 ]; then
    pass "--plot-least-squares: wgnuplot on the two classic scripts, then on Morvantide_4p0_U_LS.gnu"
  else
    cat "$work/ls-linux.out" "$work/ls-windows.out"; cat "$bin/calls.log" 2>/dev/null
    fail "--plot-least-squares: status $rc_linux on Linux, $rc_windows on Windows, wgnuplot started $plotted times"
  fi
  if cmp -s "$work/ls-linux/U_LS.dat" "$work/ls-windows/U_LS.dat" &&
     cmp -s <(head -11 "$work/ls-linux/Morvantide_4p0_U_LS.gnu") \
       <(head -11 "$work/ls-windows/Morvantide_4p0_U_LS.gnu") &&
     [ "$(wc -l < "$work/ls-windows/Morvantide_4p0_U_LS.gnu")" -eq 13 ] &&
     [ -s "$work/ls-linux/U_LS.dat" ]; then
    pass "U_LS.dat and the kept lines of Morvantide_4p0_U_LS.gnu are the Linux program's"
  else
    fail "U_LS.dat and the kept lines of Morvantide_4p0_U_LS.gnu are the Linux program's"
  fi
  rm -f "$bin/calls.log"
fi

# --- acceptance
if [ -n "$acceptance" ]; then
  echo "-- acceptance cases"
  # The checker runs its candidate with an empty environment, the frozen
  # clock preloaded and TZ=UTC: this wrapper adds what Wine needs.
  cat > "$work/morvantide-wine" <<WRAP
#!/bin/bash
export PATH=/usr/bin:/bin HOME='$work' WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=' NO_FAKE_STAT=1
exec wine '$bin/morvantide.exe' "\$@"
WRAP
  chmod +x "$work/morvantide-wine"
  bash "$root/tests/acceptance.sh" "$work/morvantide-wine" "$acceptance" | tee "$work/acceptance.out"
  summary=$(tail -1 "$work/acceptance.out")
  if [[ $summary =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    fail "the acceptance checker did not finish"
  fi
fi

echo "windows: $passed passed, $failed failed"
[ $failed -eq 0 ]
