#!/usr/bin/env bash
# Builds the Debian package of FeeOffice into build-package/ (CPack DEB):
# the program, its desktop entry and icon, and its runtime dependencies.
# Install it on an office PC with: apt-get install ./build-package/feeoffice_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DFEEOFFICE_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-package --target feeoffice --parallel "$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
ls build-package/feeoffice_*.deb
