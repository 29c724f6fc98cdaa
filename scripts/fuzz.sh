#!/usr/bin/env bash
# Builds the workbook-reader fuzz target with clang and runs it for the given
# number of seconds (default 60) on the corpus in tests/fuzz/corpus. New
# inputs go to a temporary directory; a crash leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
FEEOFFICE_FUZZ=1 bash scripts/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DFEEOFFICE_FUZZ=ON -DFEEOFFICE_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzz_workbook --parallel "$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd build-fuzz
ASAN_OPTIONS=detect_leaks=0 ./fuzz_workbook -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 \
  -print_final_stats=1 "$work" ../tests/fuzz/corpus
