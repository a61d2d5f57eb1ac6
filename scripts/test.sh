#!/usr/bin/env bash
# Installs what is needed, builds everything from scratch and runs every test.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${1:-build-test}
shift || true
rm -rf "$dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@"
cmake --build "$dir"
cd "$dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
