#!/usr/bin/env bash
# Installs what building, running and testing FeeOffice need on Debian 12.
# Safe to run again: only missing packages are fetched.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkgconf
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins
  libxlsxwriter-dev libminizip-dev libfreexl-dev
  fonts-wqy-zenhei fonts-dejavu-core
  poppler-utils python3-openpyxl
  postgresql
  xvfb xauth
)
if [ "${FEEOFFICE_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
