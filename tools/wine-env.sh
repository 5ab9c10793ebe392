# Sourced by the scripts that run Wine: the settings every one of them uses.
# RAVELNEST_WINEARCH: win32 (default) or win64, a 64-bit Windows where the 32-bit programs
# see "Program Files (x86)" and the 32-bit registry view.
# RAVELNEST_WINE64=1: the 64-bit build's programs, in a 64-bit prefix through Wine's 64-bit
# loader (wine, wineboot and winepath then name it), which runs where the kernel runs no
# 32-bit code.
# RAVELNEST_WINE_USER: the user profile's name (default: the Unix user's), for example one
# with Japanese characters and spaces; Wine names the profile after the Unix user when it
# makes the prefix.
if [ "${RAVELNEST_WINE64:-}" = 1 ]; then
  export RAVELNEST_WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  shims="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64"
  case ":$PATH:" in
    *":$shims:"*) ;;
    *) PATH="$shims:$PATH" ;;
  esac
  export PATH RAVELNEST_WINE64
fi
export WINEARCH="${RAVELNEST_WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no desktop integration.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
if [ -n "${RAVELNEST_WINE_USER:-}" ]; then
  export USER="$RAVELNEST_WINE_USER" LOGNAME="$RAVELNEST_WINE_USER"
fi
