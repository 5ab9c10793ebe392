#!/usr/bin/env bash
# The main job: installs what is missing, builds the package (folder and zip) and runs the
# real setup.exe in a sandboxed Wine prefix of its own (build/demo-prefix, never ~/.wine).
# With a display, the dialog appears and you drive it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target sdk_package demo_driver
(cd "$build" && cpack -G ZIP >/dev/null)
echo "package: $build/package/ReelshifterSDK and $build/ReelshifterSDK-1.3.0.zip"

export WINEPREFIX="$build/demo-prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
setup="$build/package/ReelshifterSDK/setup.exe"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    # With a display: the dialog appears and the user drives it.
    RAVELNEST_WINE_GRAPHICS=x11 "$root/tools/wine-prefix.sh" "$WINEPREFIX"
    for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1
    done
    wine "$setup"
    exit $?
fi

echo "no display: the package is built; setup_test drives setup.exe headless (tools/run-tests.sh)"
