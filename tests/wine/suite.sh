#!/usr/bin/env bash
# The Windows programs under Wine, in one scratch Wine prefix for the whole
# suite (made here, removed at the end) with one Wine server and one virtual
# display (Xvfb):
#   1. the tests of the Windows build (CTest: the engine's unit tests, the
#      desktop program's dialogs, menu and drawing in the test's process);
#   2. the command-line downloader (.exe) against velmoro-hc-sim (the Linux
#      build) through Wine's COM1, which reaches the simulator's
#      pseudo-terminal: velmoro_wine_e2e_tests of the Linux build;
#   3. the desktop program (.exe) driven by keys and clicks (xdotool) against
#      the simulator the same way: velmoro_wine_desktop_tests;
#   4. the installer, when it has been made: installed silently into the
#      prefix, checked, uninstalled (tests/wine/installer_test.sh).
# With RELEASE_DIR (tools/release.sh assemble), the files users download:
# the command-line downloader of 2 is the portable zip's, whose desktop
# program must open its window too, and 4 is the release's installer, put
# over an older version first.
# Usage: tests/wine/suite.sh LINUX_BUILD WINDOWS_BUILD [RELEASE_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
linux_build="$(realpath "$1")"
windows_build="$(realpath "$2")"
release_dir="${3:+$(realpath "$3")}"

source "$here/wine_env.sh"
wine_prefix_start

echo "== the Windows build's tests under Wine"
ctest --test-dir "$windows_build" --output-on-failure --timeout 300

windows_cli="$windows_build/win32/velmoro-downloader-cli.exe"
if [ -n "$release_dir" ]; then
    echo "== the portable zip, unpacked"
    unzip -q "$release_dir"/velmoro-downloader-*-win64.zip -d "$wine_scratch/portable"
    portable=$(echo "$wine_scratch"/portable/velmoro-downloader-*-win64)
    windows_cli="$portable/velmoro-downloader-cli.exe"
    # Its desktop program opens its window; it is then ended, and its window
    # awaited gone, so that the desktop tests find only their own.
    "$WINELOADER" "$portable/velmoro-downloader.exe" &
    desktop=$!
    if ! window=$(wine_window_wait "$wine_main_window" 60); then
        echo "the portable zip's desktop program opened no window" >&2
        exit 1
    fi
    wine_window_end "$window"
    wait "$desktop" 2>/dev/null || true
    echo "the portable zip's desktop program opened its window and closed"
fi

echo "== the Windows command-line downloader against the simulator ($windows_cli)"
VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
    VELMORO_WINDOWS_CLI="$windows_cli" \
    "$linux_build/tests/velmoro_wine_e2e_tests"

echo "== the Windows desktop program, driven by keys and clicks, against the simulator"
VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
    VELMORO_WINDOWS_DESKTOP="$windows_build/win32/velmoro-downloader.exe" \
    "$linux_build/tests/velmoro_wine_desktop_tests"

if [ -n "$release_dir" ]; then
    installer=$(ls "$release_dir"/velmoro-downloader-*-win64-setup.exe)
    # An older version's installer, of the same files: the release's put
    # over it must leave one entry in the list of installed programs.
    (cd "$windows_build" && cpack -G NSIS -B "$wine_scratch/older" -D CPACK_INSTALL_CMAKE_PROJECTS= \
        -D "CPACK_INSTALLED_DIRECTORIES=$windows_build/release-stage;." -D CPACK_STRIP_FILES=OFF \
        -D CPACK_PACKAGE_VERSION=1.9 -D CPACK_PACKAGE_FILE_NAME=velmoro-downloader-1.9-win64 >/dev/null)
    echo "== the release's installer, over version 1.9"
    "$here/installer_test.sh" "$installer" "$wine_scratch/older/velmoro-downloader-1.9-win64.exe"
elif installer=$(ls "$windows_build"/velmoro-downloader-*-win64.exe 2>/dev/null | head -1) &&
    [ -n "$installer" ]; then
    echo "== the installer"
    "$here/installer_test.sh" "$installer"
else
    echo "== no installer in $windows_build (./dev windows makes it); its test is left out"
fi
