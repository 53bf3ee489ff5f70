#!/usr/bin/env bash
# Runs every test program of a build folder whole, all its cases in one process, several programs
# at a time; prints one line per program and the output of those that failed. CTest starts each case
# in a process of its own, so this catches cases that depend on what ran before them.
set -uo pipefail
build="$(cd "${1:?usage: run_test_programs.sh BUILD_FOLDER}" && pwd)"
log="$(mktemp -d)"
mapfile -t programs < <(find "$build/tests" -type f -executable -name '*_tests' | sort)
run_one() {
  local program="$1" log="$2" out
  out="$log/$(basename "$program").txt"
  if (cd "$(dirname "$program")" && timeout 900 "$program" >"$out" 2>&1); then
    echo "passed: $(basename "$program")"
  else
    echo "FAILED: $(basename "$program")"
    tail -n 60 "$out"
    return 1
  fi
}
export -f run_one
failed=0
printf '%s\n' "${programs[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run_one "$@"' _ {} "$log" || failed=1
total=${#programs[@]}
if ((failed)); then
  echo "Some test programs failed when run whole."
  exit 1
fi
echo "All $total test programs passed when run whole."
