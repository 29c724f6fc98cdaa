#!/usr/bin/env bash
# Installs what building, running and testing FeeOffice need on Debian 12.
# Safe to run again: only missing packages are fetched. PostgreSQL and ODBC (for the
# shared-database tests) are optional: where they cannot be installed, those
# tests are skipped and say so.
set -euo pipefail

required=(
  g++ cmake ninja-build pkgconf
  qt6-base-dev qt6-tools-dev qt6-l10n-tools libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins qt6-charts-dev libqt6opengl6-dev
  libxlsxwriter-dev libminizip-dev libfreexl-dev libsqlite3-dev libpq-dev libsodium-dev
  fonts-wqy-zenhei fonts-dejavu-core fonts-hanazono qt6-translations-l10n
  desktop-file-utils
  poppler-utils python3-openpyxl sqlite3 postgresql-client
  unicode-data bzip2
  xvfb xauth
)
optional=(postgresql unixodbc libsqliteodbc libqt6sql6-odbc)
if [ "${FEEOFFICE_FUZZ:-0}" = 1 ]; then
  required+=(clang libclang-rt-14-dev)
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
updated=0
install() {
  [ $# -gt 0 ] || return 0
  if [ $updated = 0 ]; then
    $SUDO apt-get update -qq
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@"
}

mapfile -t need < <(missing "${required[@]}")
install "${need[@]}"
mapfile -t want < <(missing "${optional[@]}")
install "${want[@]}" || echo "Could not install ${want[*]}: the PostgreSQL and ODBC tests will be skipped." >&2
