#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, never ~/.wine.
# Used as CMAKE_CROSSCOMPILING_EMULATOR: wine-run.sh [--prefix DIR] program.exe args...
# The prefix lives in the build tree (RAVELNEST_WINEPREFIX overrides) and is made on first use,
# as wine-prefix.sh describes.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$PWD/wineprefix"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
export WINEPREFIX="${RAVELNEST_WINEPREFIX:-$prefix}"
source "$here/wine-env.sh"

"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
