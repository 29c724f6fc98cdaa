#!/usr/bin/env bash
# Installs what is missing, builds, and starts FeeOffice on its default
# database (arguments are passed on, e.g. --database FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting FeeOffice on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1600x900x24" ./build/src/feeoffice "$@"
fi
exec ./build/src/feeoffice "$@"
