#!/usr/bin/env bash
# Draws the main window (idle, during a transfer, and during a transfer in the
# night look), the About box and the dropped port list into docs/ for the
# README, without a display; with the Windows build, also the Windows
# program's, printed under Wine on a virtual display, with its night look
# (docs/night-mode-windows.png; VELMORO_NIGHT_PICTURES names a folder for the
# night look's other pictures).
#   tools/screenshot.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
windows_build="${2:-}"
mkdir -p docs
# COM1 names a device here, so that the list shows one port reaching it.
VELMORO_COM1=/dev/ttyUSB0 QT_QPA_PLATFORM=offscreen "$build/qt/velmoro-screenshot" \
    docs/main-window.png docs/about-box.png docs/main-window-transfer.png docs/port-list.png \
    docs/night-mode.png
echo "docs/main-window.png docs/about-box.png docs/main-window-transfer.png docs/port-list.png"
echo "docs/night-mode.png"
if [ -n "$windows_build" ]; then
    source tests/wine/wine_env.sh
    wine_prefix_start
    names=(main-window-windows about-box-windows main-window-transfer-windows port-list-windows)
    pictures=()
    for name in "${names[@]}"; do
        pictures+=("Z:$wine_scratch/$name.bmp")
    done
    # In a desktop of its own, where Wine draws the windows' frames itself.
    wine explorer /desktop=velmoro,800x600 "$windows_build/win32/velmoro-screenshot.exe" \
        "${pictures[@]}"
    for name in "${names[@]}"; do
        QT_QPA_PLATFORM=offscreen "$build/qt/velmoro-screenshot" --convert \
            "$wine_scratch/$name.bmp" "docs/$name.png"
        echo "docs/$name.png"
    done
    # The night look during a transfer; the idle window, the About box and a
    # question over the transfer go beside the pictures, for a closer look.
    night=(night-idle night-about night-transfer night-question)
    pictures=()
    for name in "${night[@]}"; do
        pictures+=("Z:$wine_scratch/$name.bmp")
    done
    wine explorer /desktop=velmoro,800x600 "$windows_build/win32/velmoro-screenshot.exe" --night \
        "${pictures[@]}"
    QT_QPA_PLATFORM=offscreen "$build/qt/velmoro-screenshot" --convert \
        "$wine_scratch/night-transfer.bmp" docs/night-mode-windows.png
    echo "docs/night-mode-windows.png"
    if [ -n "${VELMORO_NIGHT_PICTURES:-}" ]; then
        mkdir -p "$VELMORO_NIGHT_PICTURES"
        for name in "${night[@]}"; do
            QT_QPA_PLATFORM=offscreen "$build/qt/velmoro-screenshot" --convert \
                "$wine_scratch/$name.bmp" "$VELMORO_NIGHT_PICTURES/$name-windows.png"
            echo "$VELMORO_NIGHT_PICTURES/$name-windows.png"
        done
    fi
fi
