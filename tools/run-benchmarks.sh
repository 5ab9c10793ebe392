#!/usr/bin/env bash
# The benchmarks: installs what is missing, builds the native pattern benchmark (Google
# Benchmark) and the Windows benchmark program, and runs both; the Windows one under Wine in
# a prefix of its own (the build tree's bench-prefix), ended afterwards. Prints each figure
# beside its comparison and their ratio. Not part of the test suite.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$root/build-native"
jobs="${JOBS:-2}"

"$root/tools/install-deps.sh"
# The Windows benchmark runs in the shipped 32-bit build where the kernel runs 32-bit code,
# and in the 64-bit build of the same sources where it runs none.
if [ "$("$root/tools/kernel-code.sh")" = 32 ]; then
  windows="$root/build"
  toolchain=i686-w64-mingw32
  kind="the shipped 32-bit build"
  wine_kind=()
else
  windows="$root/build-x64"
  toolchain=x86_64-w64-mingw32
  kind="the 64-bit build of the same sources (this kernel runs no 32-bit code)"
  wine_kind=(--win64)
  export RAVELNEST_WINE64=1
fi
prefix="$windows/bench-prefix"
stop_wine() { "$root/tools/stop-wine.sh" "$windows"; }
trap stop_wine EXIT

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs" --target pattern_benchmark
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows" -j "$jobs" --target windows_benchmarks

echo "== Native (Google Benchmark), $(nproc) cores, $(date -u +%F)"
"$native/benchmarks/pattern_benchmark" --benchmark_min_time=0.5
echo
echo "== Windows benchmark: $kind, under $(/usr/lib/wine/wine64 --version)"
"$root/tools/wine-prefix.sh" "$prefix"
"$root/tools/wine-run.sh" --prefix "$prefix" "${wine_kind[@]}" "$windows/bin/windows_benchmarks.exe"
