#!/usr/bin/env bash
# The parts of the Wine suite that transfer (the command-line downloader and
# the desktop program against the simulator), N times in a row in one Wine
# prefix; stops at the first failure. Not part of ./dev test: for showing
# that a rare fault is gone.
# Usage: tests/wine/repeat.sh N LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
runs="$1"
linux_build="$(realpath "$2")"
windows_build="$(realpath "$3")"

source "$here/wine_env.sh"
wine_prefix_start

for run in $(seq "$runs"); do
    echo "== run $run of $runs"
    VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
        VELMORO_WINDOWS_CLI="$windows_build/win32/velmoro-downloader-cli.exe" \
        "$linux_build/tests/velmoro_wine_e2e_tests" --gtest_brief=1
    VELMORO_WINE_COM1_LINK="$VELMORO_WINE_COM1_LINK" \
        VELMORO_WINDOWS_DESKTOP="$windows_build/win32/velmoro-downloader.exe" \
        "$linux_build/tests/velmoro_wine_desktop_tests" --gtest_brief=1
done
echo "== $runs runs in a row passed"
