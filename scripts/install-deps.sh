#!/usr/bin/env bash
# Installs every Debian package that building, testing and checking the output need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-qpa-plugins libqt6opengl6-dev
  libgl-dev libgtest-dev libgmock-dev googletest
  fonts-liberation fonts-dejavu-core fontconfig
  locales-all
  poppler-utils qpdf python3 python3-xlrd
  sqlite3
  postgresql libqt6sql6-psql
  firebird3.0-server firebird3.0-utils libqt6sql6-ibase
  dpkg-dev lintian desktop-file-utils man-db
  libharfbuzz-dev zlib1g-dev ghostscript
  libxlsxwriter-dev python3-openpyxl libjemalloc-dev
  clang
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
# The Firebird server asks for a SYSDBA password: answered beforehand (empty: the package picks a
# random one), so no front end ever waits for it. Its system service may start on port 3050; the
# tests run a server of their own on another port and neither need nor touch that one.
if [[ " ${missing[*]} " == *" firebird3.0-server "* ]]; then
  echo "firebird3.0-server shared/firebird/sysdba_password/first_install password " \
    | $SUDO debconf-set-selections
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
