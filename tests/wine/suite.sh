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
# Usage: tests/wine/suite.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
linux_build="$(realpath "$1")"
windows_build="$(realpath "$2")"

source "$here/wine_env.sh"
wine_prefix_start

echo "== the Windows build's tests under Wine"
ctest --test-dir "$windows_build" --output-on-failure --timeout 300

echo "== the Windows command-line downloader against the simulator"
VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
    VELMORO_WINDOWS_CLI="$windows_build/win32/velmoro-downloader-cli.exe" \
    "$linux_build/tests/velmoro_wine_e2e_tests"

echo "== the Windows desktop program, driven by keys and clicks, against the simulator"
VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
    VELMORO_WINDOWS_DESKTOP="$windows_build/win32/velmoro-downloader.exe" \
    "$linux_build/tests/velmoro_wine_desktop_tests"

installer=$(ls "$windows_build"/velmoro-downloader-*-win64.exe 2>/dev/null | head -1 || true)
if [ -n "$installer" ]; then
    echo "== the installer"
    "$here/installer_test.sh" "$installer"
else
    echo "== no installer in $windows_build (./dev windows makes it); its test is left out"
fi
