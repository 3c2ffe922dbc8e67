#!/usr/bin/env bash
# Renders the screenshots in docs/ in a real window under an X virtual frame buffer.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target velmora-screenshots
mkdir -p docs
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" build/bin/velmora-screenshots docs
