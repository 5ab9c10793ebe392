#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the matcher natively (sanitizers,
# bounded fuzz run) and the Windows programs with their tests, runs every test under Wine
# in a private prefix of the build tree, and ends every Wine process it started.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$root/build-native"
windows="$root/build"
jobs="${JOBS:-2}"

"$root/tools/install-deps.sh"

export WINEPREFIX="$windows/wineprefix"
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs"
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows" -j "$jobs"

# One prefix for all Windows tests, made before they start rather than by whichever comes first.
"$root/tools/wine-prefix.sh" "$WINEPREFIX"
WINEDEBUG=-all wine cmd /c exit >/dev/null 2>&1 || true  # the first start in a prefix does one-time work

status=0
ctest --test-dir "$native" --output-on-failure || status=1
# The Windows tests run one at a time: most share the machine state of the one prefix.
ctest --test-dir "$windows" --output-on-failure || status=1
exit "$status"
