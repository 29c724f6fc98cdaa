#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away PostgreSQL server on
# 127.0.0.1 for the storage tests, and runs every test.
# SANITIZE=1 builds into build-asan with address and undefined-behaviour
# sanitizers and runs the same tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=build
if [ "${SANITIZE:-0}" = 1 ]; then
  build_dir=build-asan
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  BUILD_DIR=$build_dir BUILD_TYPE=Debug bash scripts/build.sh -DFEEOFFICE_SANITIZE=ON
else
  BUILD_DIR=$build_dir bash scripts/build.sh
fi
# shellcheck source=scripts/pg-test-server.sh
source scripts/pg-test-server.sh
pg_test_server_start || echo "PostgreSQL could not be started: its tests will be skipped." >&2
trap pg_test_server_stop EXIT
(cd "$build_dir" && ctest --output-on-failure --parallel "$(nproc)" --timeout 900)
# The Debian package: built, installed with apt-get, run from the PATH.
if [ "${SANITIZE:-0}" != 1 ] && [ "$(id -u)" -eq 0 ]; then
  bash scripts/package-test.sh
fi
