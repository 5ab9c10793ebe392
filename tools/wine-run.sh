#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix, never ~/.wine.
# Used as CMAKE_CROSSCOMPILING_EMULATOR: wine-run.sh program.exe args...
# The prefix lives in the build tree (RAVELNEST_WINEPREFIX overrides) and is made on first use.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX="${RAVELNEST_WINEPREFIX:-${WINEPREFIX_DEFAULT:-$PWD/wineprefix}}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no desktop integration.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"

"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
