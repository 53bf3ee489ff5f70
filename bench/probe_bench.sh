#!/usr/bin/env bash
# Builds probe_bench (Release) and runs it: the adding window's probe rate over COUNT generated
# clips (1000 by default) against a plain open + find-stream-info loop. Prints the ratio; the goal
# is at least 0.90. Usage: bench/probe_bench.sh [COUNT]   (BUILD_DIR picks another build folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/bench}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_SANITIZE=OFF \
  -DCONVERTER_BUILD_TESTS=ON -DCONVERTER_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target probe_bench -j4
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build/bench/probe_bench" "$@"
