#!/usr/bin/env bash
# Installs every Debian package that building, testing and checking the output need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-qpa-plugins libqt6opengl6-dev
  libgl-dev libgtest-dev libgmock-dev googletest
  fonts-liberation fonts-dejavu-core fontconfig
  locales-all
  poppler-utils qpdf python3 python3-xlrd
  sqlite3
  postgresql libqt6sql6-psql
  cups printer-driver-cups-pdf qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
