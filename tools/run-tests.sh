#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the matcher natively (sanitizers,
# bounded fuzz run), the shipped 32-bit programs with their tests and a 64-bit build of the
# same sources with its own, runs every test that this machine can run under Wine in
# private prefixes of the build trees, and ends every Wine process it started. As root it
# does that as an unprivileged user (tools/as-test-user.sh); RAVELNEST_AS_ROOT=1 keeps root.
#
# Where the kernel runs 32-bit code: the 32-bit suite (32-bit, 64-bit and Japanese-profile
# prefixes) and the 64-bit build's suite. Where it runs none: the 64-bit build's suite and
# the release checks of the shipped 32-bit package that need no Wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="$root/build-native"
windows="$root/build"
windows64="$root/build-x64"
jobs="${JOBS:-2}"

"$root/tools/install-deps.sh"
# Run as root (CI, a fresh machine), the build and the tests run as the tests' own
# unprivileged user: root writes read-only files under Wine.
if [ "$(id -u)" -eq 0 ] && [ -z "${RAVELNEST_AS_ROOT:-}" ]; then
  exec "$root/tools/as-test-user.sh" "$root/tools/run-tests.sh" "$@"
fi

phase_start=$SECONDS
phase() {  # phase NAME: the time the previous phase took, then the next one's name
  echo "== $(date -u +%T) $1 (the previous phase took $((SECONDS - phase_start)) s)"
  phase_start=$SECONDS
}

kernel="$("$root/tools/kernel-code.sh")"
if [ "$kernel" = 32 ]; then
  machine="this kernel runs 32-bit code: the shipped 32-bit programs and the 64-bit build both run"
else
  machine="the shipped 32-bit programs were not run: this kernel runs no 32-bit code"
fi
echo "run-tests: $machine"
export RAVELNEST_KERNEL_CODE="$kernel"

# Every prefix of every build tree has a server of its own.
stop_wine() {
  "$root/tools/stop-wine.sh" "$windows" "$windows64"
}
trap stop_wine EXIT

phase "native build"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j "$jobs"
phase "32-bit build"
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ "$kernel" = 32 ]; then
  cmake --build "$windows" -j "$jobs"
else
  # Only what the release checks need: the package, its zip and the stamping tools.
  cmake --build "$windows" -j "$jobs" --target sdk_zip
fi
phase "64-bit build"
cmake -S "$root" -B "$windows64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows64" -j "$jobs"

# The prefixes, made before the tests start rather than by whichever comes first: one for
# most Windows tests, a 64-bit one and one whose profile is named in Japanese with spaces.
# The first start in a prefix does one-time work that would eat into a test's time.
phase "Wine prefixes"
prepare_prefixes() {  # prepare_prefixes BUILD_TREE [RAVELNEST_WINE64 value]
  local tree="$1" wine64="${2:-}"
  RAVELNEST_WINE64="$wine64" "$root/tools/wine-prefix.sh" "$tree/wineprefix"
  RAVELNEST_WINE64="$wine64" RAVELNEST_WINEARCH=win64 "$root/tools/wine-prefix.sh" "$tree/wineprefix-win64"
  RAVELNEST_WINE64="$wine64" RAVELNEST_WINE_USER="ラベル 太郎 テスト" \
      "$root/tools/wine-prefix.sh" "$tree/wineprefix-japanese"
}
if [ "$kernel" = 32 ]; then
  prepare_prefixes "$windows"
fi
prepare_prefixes "$windows64" 1

status=0
results=()
run_suite() {  # run_suite NAME BUILD_TREE [CTEST ARGUMENTS...]
  local name="$1" tree="$2" suite=0
  shift 2
  phase "$name"
  ctest --test-dir "$tree" --output-on-failure "$@" || suite=1
  [ "$suite" -eq 0 ] || status=1
  results+=("$("$root/tools/test-summary.sh" "$name" "$tree" "$suite")")
}
run_suite "native suite" "$native"
if [ "$kernel" = 32 ]; then
  run_suite "32-bit suite" "$windows"
else
  run_suite "32-bit release checks (no Wine)" "$windows" -L release
fi
# The Windows tests run one at a time: most share the machine state of the one prefix.
run_suite "64-bit build's suite" "$windows64"
phase "summary"

echo "run-tests: $machine"
printf '%s\n' "${results[@]}"
exit "$status"
