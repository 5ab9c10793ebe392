#!/usr/bin/env bash
# The main job: installs what is missing and builds setup.exe and Uninstall.exe.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j "${JOBS:-2}" --target setup Uninstall
ls -l "$root/build/bin/setup.exe" "$root/build/bin/Uninstall.exe"
