#!/usr/bin/env bash
# Builds the Debian package klt3_<version>_<arch>.deb in build-package/:
# a Release build of the programs, the guide and the manual pages, packed by
# CPack over the project's install rules.
#   bash scripts/package.sh
# Install the result with: sudo apt install ./build-package/klt3_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
# Only what the package holds; the tools and tests are not needed for it.
cmake --build "$dir" --target klt3 klt3-cli klt3_guide klt3_man_pages
rm -f "$dir"/klt3_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/klt3_*.deb
