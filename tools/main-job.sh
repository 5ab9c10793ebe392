#!/usr/bin/env bash
# The main job: installs what is missing, builds the package (folder and zip) and runs the
# real setup.exe in a sandboxed Wine prefix of its own (build/demo-prefix, never ~/.wine).
# With a display, the dialog appears and you drive it; without one, Xvfb, screenshots and a
# driver that confirms and prints what was installed. Where the kernel runs no 32-bit code,
# the shipped 32-bit setup.exe cannot run: the demo runs the 64-bit build of the same
# sources instead (build-x64/demo-prefix), and says so.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target sdk_zip demo_driver
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
package="$build/package/ReelshifterSDK"
zip="$build/ReelshifterSDK-$version.zip"
echo "package: $package and $zip"
# The hashes to publish beside the download: any rebuild of this commit gives the same.
(cd "$package" && sha256sum -- setup.exe Uninstall.exe readme.txt "Reelshifter SDK.chm")
(cd "$build" && sha256sum -- "$(basename "$zip")")

demo_build="$build"
about="the shipped 32-bit setup.exe"
if [ "$("$root/tools/kernel-code.sh")" = 64 ]; then
    about="the 64-bit build of the same sources: this kernel runs no 32-bit code"
    demo_build="$root/build-x64"
    cmake -S "$root" -B "$demo_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$demo_build" -j "${JOBS:-2}" --target sdk_package demo_driver
    export RAVELNEST_WINE64=1
fi
echo "demo: $about"

export WINEPREFIX="$demo_build/demo-prefix"
source "$root/tools/wine-env.sh"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
setup="$demo_build/package/ReelshifterSDK/setup.exe"

# The demo prefix draws real windows; Japanese text in the dialog font comes from the CJK font.
if [ ! -f "$WINEPREFIX/.ravelnest-ready" ]; then
    RAVELNEST_WINE_GRAPHICS=x11 "$root/tools/wine-prefix.sh" "$WINEPREFIX"
    for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null 2>&1
    done
    # A virtual desktop: Wine draws the title bars itself, with no window manager.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
fi
setup_windows="$(winepath -w "$setup" 2>/dev/null)"
# The desktop process started while making the prefix has no display; start afresh.
wineserver -k >/dev/null 2>&1 || true

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    # With a display: the dialog appears and the user drives it.
    wine "$setup"
    exit $?
fi

# Without one: Xvfb, a driver that confirms and dismisses, a screenshot at each stop.
shots="$build/screenshots"
mkdir -p "$shots"
rm -f "$shots/dialog.png" "$shots/completion.png"
echo "$about" > "$shots/about.txt"
# The pipeline's status is the script's: the driver's, or the screenshots'. The Wine server
# ends with the display, whichever way the script ends.
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    set -uo pipefail
    trap "wineserver -k >/dev/null 2>&1 || true" EXIT
    # Server and services detached from the pipe below, or it would never reach its end.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    wine "$1" "$2" 4000 | while IFS= read -r line; do
        printf "%s\n" "$line"
        case "$line" in
            DIALOG*) sleep 2; import -window root "$3/dialog.png" || exit 1 ;;
            MESSAGE*) sleep 2; import -window root "$3/completion.png" || exit 1 ;;
            # The readme stays open in Notepad and holds this pipe.
            END*) break ;;
        esac
    done
' main-job "$demo_build/bin/demo_driver.exe" "$setup_windows" "$shots"
echo "screenshots ($about): $shots/dialog.png $shots/completion.png"
