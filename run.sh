#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the converter.
# Every argument is passed to the program (batch mode: ./run.sh -v OUTDIR FILE... x).
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build/release" --target converter -j"$(nproc)"
exec "$root/build/release/app/converter" "$@"
