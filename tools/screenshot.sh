#!/usr/bin/env bash
# Draws the main window (idle and during a transfer) and the About box into
# docs/ for the README, without a display.   tools/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/shell/velmoro-screenshot" \
    docs/main-window.png docs/about-box.png docs/main-window-transfer.png
echo "docs/main-window.png docs/about-box.png docs/main-window-transfer.png"
