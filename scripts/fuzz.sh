#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for a given number of seconds
# (default 600), all at once, starting from the seed corpora in tests/fuzz/corpus/<name>/.
# New inputs go to build/fuzz/corpus/<name>/; a crash is written to build/fuzz/crashes/ and makes
# the script fail. Usage: scripts/fuzz.sh [SECONDS] [FUZZER...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
all=(option_string stream_specifier ini_file file_list batch_args)
names=("$@")
((${#names[@]})) || names=("${all[@]}")
build="$root/build/fuzz"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONVERTER_FUZZ=ON \
  -DCONVERTER_BUILD_TESTS=OFF -DCONVERTER_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${names[@]/%/_fuzzer}"
mkdir -p "$build/crashes"
# Leaks are looked for too; tests/fuzz/lsan.supp names the libraries' own, which only a full
# stack (fast_unwind_on_malloc=0: FFmpeg's libraries keep no frame pointers) shows.
export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
pids=()
for name in "${names[@]}"; do
  mkdir -p "$build/corpus/$name"
  "$build/tests/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -artifact_prefix="$build/crashes/${name}-" -print_final_stats=1 \
    "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" >"$build/$name.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!names[@]}"; do
  if wait "${pids[$i]}"; then
    echo "fuzzer ${names[$i]}: $(grep -E '^stat::number_of_executed_units' "$build/${names[$i]}.log" | awk '{print $2}') runs, no crash"
  else
    echo "fuzzer ${names[$i]}: FAILED (see $build/${names[$i]}.log)"
    tail -n 40 "$build/${names[$i]}.log"
    failed=1
  fi
done
exit "$failed"
