#!/usr/bin/env bash
# Renders the screenshots of the main window (without and with a table) and
# of the about box into docs/, and the operator guide's pictures into
# docs/guide/pictures/, on the offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
fi
cmake --build "$dir" --target klt3_screenshots
QT_QPA_PLATFORM=offscreen "$dir/tools/screenshots/klt3_screenshots" docs
