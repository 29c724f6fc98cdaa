#!/usr/bin/env bash
# Installs what is missing, builds, starts a throw-away PostgreSQL server on
# 127.0.0.1 for the storage tests, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
# shellcheck source=scripts/pg-test-server.sh
source scripts/pg-test-server.sh
pg_test_server_start || echo "PostgreSQL could not be started: its tests will be skipped." >&2
trap pg_test_server_stop EXIT
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
