#!/bin/bash
# Times the program's start: how long after its launch the main window is mapped on an X server
# (a private Xvfb), and the whole run of a batch with nothing to convert (start-up plus shutdown,
# offscreen). Prints the median and the spread of each over the runs.
#
#   bench/startup_bench.sh [runs]      (default 10)
#
# Needs xvfb and x11-utils (xwininfo). BUILD_DIR as in program_bench.sh.

set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-bench}"
RUNS="${1:-10}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/startup-bench.XXXXXX")"
XVFB_PID=""
cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

for tool in Xvfb xwininfo; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (packages xvfb, x11-utils)" >&2; exit 2; }
done

echo "building Release in $BUILD_DIR..." >&2
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_SANITIZE=OFF -DCONVERTER_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$BUILD_DIR" --target converter -j4 >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log" >&2; exit 1; }
PROGRAM="$BUILD_DIR/app/converter"

export XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p "$XDG_CONFIG_HOME/Quorvane/Video Converter" && mkdir -p -m 700 "$XDG_RUNTIME_DIR"
printf '[Converter]\nUpdate=0\n' >"$XDG_CONFIG_HOME/Quorvane/Video Converter/converter.ini"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
spread() { sort -n | sed -n '1p;$p' | paste -sd' ' | awk '{printf "%s..%s", $1, $2}'; }
now() { date +%s.%N; }

# The main window on screen: launch, then watch the X server until a viewable window has the
# program's title. The watch polls every few milliseconds, which bounds the figure's resolution.
# Xvfb picks a free display number itself and writes it once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 200); do [ -s "$WORK/display" ] && break; sleep 0.05; done
[ -s "$WORK/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(head -1 "$WORK/display")"
: >"$WORK/shown.t"
for ((i = 0; i < RUNS; i++)); do
  start=$(now)
  DISPLAY="$display" "$PROGRAM" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -display "$display" -name "Tarsel Video Converter" 2>/dev/null | grep -q IsViewable; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window showed" >&2; exit 1; }
  done
  awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.3f\n", b - a}' >>"$WORK/shown.t"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done

# Start-up plus shutdown with nothing to convert: an unattended batch over an empty list.
: >"$WORK/empty.fls"
mkdir -p "$WORK/out"
: >"$WORK/empty.t"
for ((i = 0; i < RUNS; i++)); do
  env -u DISPLAY /usr/bin/time -o "$WORK/time.out" -f "%e" "$PROGRAM" -v "$WORK/out" "$WORK/empty.fls" x \
    >/dev/null 2>&1
  tail -1 "$WORK/time.out" >>"$WORK/empty.t"
done

printf "main window on screen: median %.3f s (%s)\n" "$(median <"$WORK/shown.t")" "$(spread <"$WORK/shown.t")"
printf "empty batch, start to end: median %.3f s (%s)\n" "$(median <"$WORK/empty.t")" "$(spread <"$WORK/empty.t")"
