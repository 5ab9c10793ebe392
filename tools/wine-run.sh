#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, never ~/.wine.
# Used as CMAKE_CROSSCOMPILING_EMULATOR: wine-run.sh [--prefix DIR] [--win64] program.exe args...
# --win64: a program of the 64-bit build, run through Wine's 64-bit loader in a 64-bit prefix.
# The prefix lives in the build tree (RAVELNEST_WINEPREFIX overrides) and is made on first use,
# as wine-prefix.sh describes.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$PWD/wineprefix"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
if [ "${1:-}" = "--win64" ]; then
  export RAVELNEST_WINE64=1
  shift
fi
export WINEPREFIX="${RAVELNEST_WINEPREFIX:-$prefix}"
source "$here/wine-env.sh"

# RAVELNEST_FRESH_WINESERVER=1: the prefix's Wine server, and with it Explorer, ended first,
# for a test that must act before Explorer starts.
if [ "${RAVELNEST_FRESH_WINESERVER:-}" = 1 ]; then
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
fi
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
