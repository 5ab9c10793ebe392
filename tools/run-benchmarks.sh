#!/usr/bin/env bash
# The benchmarks: installs what is missing, builds the native pattern benchmark (Google
# Benchmark) and the Windows benchmark program, and runs both; the Windows one under Wine in
# a prefix of its own (build/bench-prefix), ended afterwards. Prints each figure beside its
# comparison and their ratio. Not part of the test suite.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$root/build-native"
windows="$root/build"
prefix="$windows/bench-prefix"
jobs="${JOBS:-2}"

"$root/tools/install-deps.sh"
stop_wine() { WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs" --target pattern_benchmark
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows" -j "$jobs" --target windows_benchmarks

echo "== Native (Google Benchmark), $(nproc) cores, $(date -u +%F)"
"$native/benchmarks/pattern_benchmark" --benchmark_min_time=0.5
echo
echo "== Windows build under $(wine --version)"
"$root/tools/wine-prefix.sh" "$prefix"
WINEPREFIX="$prefix" WINEDEBUG=-all wine cmd /c exit </dev/null >/dev/null 2>&1 || true
"$root/tools/wine-run.sh" --prefix "$prefix" "$windows/bin/windows_benchmarks.exe"
