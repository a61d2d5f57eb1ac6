#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Both README commands and CI call this one script.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang llvm libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev qt6-l10n-tools qt6-translations-l10n
  qt6-qpa-plugins libgl-dev
  libgsf-1-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3 python3-dbfread python3-xlrd python3-olefile
  poppler-utils fonts-liberation
  dpkg-dev file desktop-file-utils appstream python3-markdown
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
