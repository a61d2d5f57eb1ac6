#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
# --demo [water|plate]: with a simulated instrument on COM1 (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
if [ "${1:-}" = "--demo" ]; then
  exec bash scripts/demo.sh build "${2:-water}"
fi
cmake --build build --target klt3
program="$PWD/build/src/shell/klt3"
# The program offers its working folder for the first tables: the user's
# documents folder (or home), not the source checkout.
documents="$(xdg-user-dir DOCUMENTS 2>/dev/null || true)"
if [ -z "$documents" ] || [ ! -d "$documents" ]; then documents="$HOME"; fi
cd "$documents"
exec "$program" "$@"
