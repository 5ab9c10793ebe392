#!/usr/bin/env bash
# Creates (once) a private Wine prefix with the null graphics driver, so that dialogs and
# message boxes exist without a display. Safe to call from parallel tests. The settings
# (RAVELNEST_WINEARCH, RAVELNEST_WINE_USER) are those of wine-env.sh. A folder that holds
# anything but a prefix this script made or began to make is never touched. A prefix that
# another Unix user made is made anew: Wine refuses a prefix that is not the caller's, and
# names the profile after its maker and links the profile's folders into the maker's home.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$1"
export WINEPREFIX="$prefix"
source "$here/wine-env.sh"
graphics="${RAVELNEST_WINE_GRAPHICS:-null}"

# The ready mark holds the maker's user id.
ready() { [ "$(cat "$prefix/.ravelnest-ready" 2>/dev/null)" = "$(id -u)" ]; }
if ! ready; then
  # The shipped 32-bit programs run, in either kind of prefix, through Wine's 32-bit loader,
  # which a kernel without 32-bit emulation refuses to start; the 64-bit build's need only
  # the 64-bit loader.
  if [ "${RAVELNEST_WINE64:-}" != 1 ] && [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine-prefix: this machine cannot start Wine's 32-bit loader (/usr/lib/wine/wine): its kernel" \
         "runs no 32-bit programs (dmesg: \"32-bit emulation disabled\"), so no 32-bit program can run" \
         "here; the 64-bit build's can (tools/run-tests.sh chooses)" >&2
    exit 1
  fi
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if ! ready; then
    # Only a prefix of this script's own that was cut short or is another user's is made anew.
    if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ]; then
      if [ ! -f "$prefix/.ravelnest-creating" ] && [ ! -f "$prefix/.ravelnest-ready" ]; then
        echo "wine-prefix: $prefix holds files but is no prefix of this project's; not touching it" >&2
        exit 1
      fi
      rm -rf "$prefix"
    fi
    mkdir -p "$prefix"
    touch "$prefix/.ravelnest-creating"
    if ! output="$(env -u DISPLAY wineboot -i 2>&1)"; then
      printf '%s\n' "$output" >&2
      echo "wine-prefix: wineboot failed to make $prefix" >&2
      exit 1
    fi
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1
    # The desktop that wineboot started has no graphics driver, and the next program's
    # first window would join it and fail: end it, so that the driver set here is used.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    id -u > "$prefix/.ravelnest-ready"
    rm -f "$prefix/.ravelnest-creating"
  fi
  flock -u 9
fi
# Keep the server alive between the many short test processes; .ci/run ends it. The server
# and Wine's services start here with no output of the caller's: inherited from a test,
# they would hold CTest's output pipe open and the test would never end.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
