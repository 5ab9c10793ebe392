#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, never ~/.wine.
# Used as CMAKE_CROSSCOMPILING_EMULATOR: wine-run.sh [--prefix DIR] program.exe args...
# The prefix lives in the build tree (RAVELNEST_WINEPREFIX overrides) and is made on first use,
# as wine-prefix.sh describes (RAVELNEST_WINEARCH, RAVELNEST_WINE_USER).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$PWD/wineprefix"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
export WINEPREFIX="${RAVELNEST_WINEPREFIX:-$prefix}"
export WINEARCH="${RAVELNEST_WINEARCH:-win32}"
if [ -n "${RAVELNEST_WINE_USER:-}" ]; then
  export USER="$RAVELNEST_WINE_USER" LOGNAME="$RAVELNEST_WINE_USER"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no desktop integration.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"

"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
