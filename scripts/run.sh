#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
cmake --build build --target klt3
exec ./build/src/shell/klt3 "$@"
