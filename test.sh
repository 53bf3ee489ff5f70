#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=Debug -DCONVERTER_SANITIZE=ON -DCONVERTER_BUILD_TESTS=ON >/dev/null
cmake --build "$root/build/test" -j"$(nproc)"
cd "$root/build/test"
ctest --output-on-failure -j"$(nproc)" "$@"
