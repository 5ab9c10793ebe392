#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the matcher natively (sanitizers,
# bounded fuzz run) and the Windows programs with their tests, runs every test under Wine
# in a private prefix of the build tree, and ends every Wine process it started. As root
# it does that as an unprivileged user (tools/as-test-user.sh); RAVELNEST_AS_ROOT=1 keeps root.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$root/build-native"
windows="$root/build"
jobs="${JOBS:-2}"

"$root/tools/install-deps.sh"
# Run as root (CI, a fresh machine), the build and the tests run as the tests' own
# unprivileged user: root writes read-only files under Wine.
if [ "$(id -u)" -eq 0 ] && [ -z "${RAVELNEST_AS_ROOT:-}" ]; then
  exec "$root/tools/as-test-user.sh" "$root/tools/run-tests.sh" "$@"
fi

export WINEPREFIX="$windows/wineprefix"
# Every prefix of the build tree has a server of its own: the tests' main one, the 64-bit
# one and the one with a Japanese profile name.
stop_wine() {
  for prefix in "$windows"/wineprefix*/; do
    WINEPREFIX="${prefix%/}" wineserver -k >/dev/null 2>&1 || true
  done
}
trap stop_wine EXIT

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs"
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows" -j "$jobs"

# The prefixes, made before the tests start rather than by whichever comes first: one for
# most Windows tests, a 64-bit one and one whose profile is named in Japanese with spaces.
# The first start in a prefix does one-time work that would eat into a test's time.
prepare_prefix() {
  "$root/tools/wine-prefix.sh" "$1"
}
prepare_prefix "$WINEPREFIX"
RAVELNEST_WINEARCH=win64 prepare_prefix "$windows/wineprefix-win64"
RAVELNEST_WINE_USER="ラベル 太郎 テスト" prepare_prefix "$windows/wineprefix-japanese"

status=0
ctest --test-dir "$native" --output-on-failure || status=1
# The Windows tests run one at a time: most share the machine state of the one prefix.
ctest --test-dir "$windows" --output-on-failure || status=1
exit "$status"
