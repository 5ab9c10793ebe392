#!/usr/bin/env bash
# Creates (once) a private Wine prefix with the null graphics driver, so that dialogs and
# message boxes exist without a display. Safe to call from parallel tests.
# RAVELNEST_WINEARCH: win32 (default) or win64, a 64-bit Windows where the 32-bit programs
# see "Program Files (x86)" and the 32-bit registry view.
# RAVELNEST_WINE_USER: the user profile's name (default: the Unix user's), for example one
# with Japanese characters and spaces.
set -euo pipefail

prefix="$1"
export WINEPREFIX="$prefix" WINEARCH="${RAVELNEST_WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all}"
if [ -n "${RAVELNEST_WINE_USER:-}" ]; then
  # Wine names the profile folder after the Unix user at the prefix's creation.
  export USER="$RAVELNEST_WINE_USER" LOGNAME="$RAVELNEST_WINE_USER"
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
graphics="${RAVELNEST_WINE_GRAPHICS:-null}"

if [ ! -f "$prefix/.ravelnest-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$prefix/.ravelnest-ready" ]; then
    rm -rf "$prefix"
    env -u DISPLAY wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1
    # The desktop that wineboot started has no graphics driver, and the next program's
    # first window would join it and fail: end it, so that the driver set here is used.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    touch "$prefix/.ravelnest-ready"
  fi
  flock -u 9
fi
# Keep the server alive between the many short test processes; .ci/run ends it. The server
# and Wine's services start here with no output of the caller's: inherited from a test,
# they would hold CTest's output pipe open and the test would never end.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
