#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test through CTest; then builds the worker-pool tests
# with ThreadSanitizer and runs them too.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=Debug -DCONVERTER_SANITIZE=ON -DCONVERTER_BUILD_TESTS=ON >/dev/null
cmake --build "$root/build/test" -j"$(nproc)"
(cd "$root/build/test" && ctest --output-on-failure -j"$(nproc)" "$@")
cmake -S "$root" -B "$root/build/tsan" -DCMAKE_BUILD_TYPE=Debug -DCONVERTER_SANITIZE_THREAD=ON \
  -DCONVERTER_BUILD_TESTS=ON -DCONVERTER_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/tsan" -j"$(nproc)" --target worker_pool_tests work_items_tests
(cd "$root/build/tsan" && ctest --output-on-failure -j"$(nproc)" -R '^(WorkerPool|CpuLoad|WorkItems|DelayedProcedure)')
