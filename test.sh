#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in four ways:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer build (build/test), through CTest;
#   2. Release build (build/release-test), through CTest and by running each test program whole
#      (all its cases in one process, as a developer starts it by hand);
#   3. ThreadSanitizer build of the threaded libraries' tests and of the run, burn and preview
#      windows' tests (build/tsan), through CTest.
#   4. libFuzzer targets of the parsers, built with clang (build/fuzz), 30 seconds each.
# Extra arguments go to every ctest call (for example -R Engine).
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
jobs="$(nproc)"
bash "$root/scripts/setup.sh"

build() {  # folder, cmake options...
  local dir="$root/$1"; shift
  cmake -S "$root" -B "$dir" -DCONVERTER_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

echo "== Sanitizer build (ASan, UBSan)"
build build/test -DCMAKE_BUILD_TYPE=Debug -DCONVERTER_SANITIZE=ON
(cd "$root/build/test" && ctest --output-on-failure -j"$jobs" "$@")

echo "== Release build"
build build/release-test -DCMAKE_BUILD_TYPE=Release
(cd "$root/build/release-test" && ctest --output-on-failure -j"$jobs" "$@")
bash "$root/scripts/run_test_programs.sh" "$root/build/release-test"

echo "== ThreadSanitizer build"
build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONVERTER_SANITIZE_THREAD=ON -DCONVERTER_BUILD_BENCH=OFF
(cd "$root/build/tsan" && ctest --output-on-failure -j"$jobs" "$@")

echo "== Fuzzing the parsers (30 s each; scripts/fuzz.sh 600 for a longer run)"
bash "$root/scripts/fuzz.sh" 30
