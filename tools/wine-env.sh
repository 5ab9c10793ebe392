# Sourced by the scripts that run Wine: the settings every one of them uses.
# RAVELNEST_WINEARCH: win32 (default) or win64, a 64-bit Windows where the 32-bit programs
# see "Program Files (x86)" and the 32-bit registry view.
# RAVELNEST_WINE_USER: the user profile's name (default: the Unix user's), for example one
# with Japanese characters and spaces; Wine names the profile after the Unix user when it
# makes the prefix.
export WINEARCH="${RAVELNEST_WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no desktop integration.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
if [ -n "${RAVELNEST_WINE_USER:-}" ]; then
  export USER="$RAVELNEST_WINE_USER" LOGNAME="$RAVELNEST_WINE_USER"
fi
