#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get, and
# checks that the installed program answers from the PATH and that its
# desktop entry is valid. Needs root (it installs a package).
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh | tail -n 1)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
command -v feeoffice
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM feeoffice --version | grep -q "feeoffice "
desktop-file-validate /usr/share/applications/feeoffice.desktop
test -f /usr/share/icons/hicolor/scalable/apps/feeoffice.svg
echo "package test passed: $deb"
