#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR) with any extra CMake options given.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
  -DFEEOFFICE_WERROR=${FEEOFFICE_WERROR:-OFF} "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
