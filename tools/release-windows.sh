#!/usr/bin/env bash
# tools/release-windows.sh [BUILD_DIR]
#
# Cross-builds the Windows program with MinGW-w64 (cmake/mingw-w64-x86_64.cmake,
# in BUILD_DIR, default build-win) and packs the release archive
# BUILD_DIR/morvantide-VERSION-windows-x86_64.zip: one folder holding
# morvantide.exe (static: it needs no DLL), the three plot templates, the
# bundled example (examples/channel) ready to run, and README.txt.
# Optimised as the Linux build is (RelWithDebInfo); the archived copy is
# stripped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win}
mkdir -p "$build"
build=$(cd "$build" && pwd)

version=$(sed -n 's/^project(morvantide VERSION \([0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")
name=morvantide-$version-windows-x86_64

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANTIDE_TESTS=OFF
cmake --build "$build" -j2

templates=(Morvantide_4p0_pU.gnu Morvantide_4p0_U.gnu Morvantide_4p0_U_LS.gnu)

stage=$build/release/$name
rm -rf "$build/release" "$build/$name.zip"
mkdir -p "$stage"
cp "$build/morvantide.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/morvantide.exe" 2>/dev/null || true
for t in "${templates[@]}"; do
  if [ -f "$root/templates/$t" ]; then
    cp "$root/templates/$t" "$stage/"
  else
    # The program writes its own default when a script is missing.
    echo "warning: templates/$t is missing: the archive goes without it" >&2
  fi
done
cp "$root/examples/channel/"* "$stage/"
sed 's/$/\r/' "$root/tools/release-windows-readme.txt" > "$stage/README.txt"

(cd "$build/release" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")
echo "release archive: $build/$name.zip"
