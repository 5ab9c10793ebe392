#!/usr/bin/env bash
# The main job: installs what is missing, builds the package (folder and zip) and runs the
# real setup.exe in a sandboxed Wine prefix of its own (build/demo-prefix, never ~/.wine).
# With a display, the dialog appears and you drive it. Without one, it runs under Xvfb:
# screenshots of the dialog and of the completion message go to build/screenshots, the
# dialog is confirmed and what was installed is printed.
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
if [ ! -f "$WINEPREFIX/.ravelnest-ready" ]; then
    RAVELNEST_WINE_GRAPHICS=x11 "$root/tools/wine-prefix.sh" "$WINEPREFIX"
    # Japanese text in the dialog font through the CJK font.
    for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1
    done
fi
setup="$build/package/ReelshifterSDK/setup.exe"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    wine "$setup"
    exit $?
fi

setup_windows="$(winepath -w "$setup" 2>/dev/null)"
shots="$build/screenshots"
mkdir -p "$shots"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    wine "$1" "$2" 4000 | while IFS= read -r line; do
        printf "%s\n" "$line"
        case "$line" in
            DIALOG*) sleep 2; import -window root "$3/dialog.png" ;;
            MESSAGE*) sleep 2; import -window root "$3/completion.png" ;;
        esac
    done
    exit "${PIPESTATUS[0]}"
' main-job "$build/bin/demo_driver.exe" "$setup_windows" "$shots"
echo "screenshots: $shots/dialog.png $shots/completion.png"
