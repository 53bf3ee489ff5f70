#!/bin/bash
# Times the whole program in batch mode (start, convert, shut down) against Debian's ffmpeg
# program on the same inputs and the same option text, for three roads: the default AVI
# conversion, MP4 with H.264, and an MP3 extraction, each on a 720p and a 1080p H.264/AAC clip.
# The option text given to ffmpeg is the one the program logs for its own run ("Parameters ..."),
# so both sides always do the same work. ffmpeg is a timing reference only.
#
# Runs are interleaved (program, ffmpeg, program, ffmpeg...) so that load from other work on the
# machine hits both sides alike. For each road the script prints the median wall time, CPU time
# (user + system) and peak memory of both sides and their ratios (program / ffmpeg), plus the
# spread of the wall-time ratios of the run pairs (min..max), which shows how noisy the machine
# was. It also times the program with an empty list (start-up and shutdown only), and the
# conversion engine alone (bench/engine_convert, no windows and no probing) on the same options:
# the engine's column against ffmpeg's tells the engine's own speed from the program's overhead.
#
#   bench/program_bench.sh [runs]      (default 5 runs per side and road)
#
# Environment: BUILD_DIR (default build-bench/), SECONDS_720 and SECONDS_1080 (clip lengths,
# default 20 and 10), ROADS (default "avi mp4 mp3"), SIZES (default "720 1080").

set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-bench}"
RUNS="${1:-5}"
SECONDS_720="${SECONDS_720:-20}"
SECONDS_1080="${SECONDS_1080:-10}"
ROADS="${ROADS:-avi mp4 mp3}"
SIZES="${SIZES:-720 1080}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/program-bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

command -v ffmpeg >/dev/null || { echo "ffmpeg (the Debian package) is needed as the reference" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (the Debian package time) is needed" >&2; exit 2; }

echo "building Release in $BUILD_DIR..." >&2
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_SANITIZE=OFF -DCONVERTER_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$BUILD_DIR" --target converter engine_convert -j4 >"$WORK/build.log" 2>&1 ||
  { cat "$WORK/build.log" >&2; exit 1; }
PROGRAM="$BUILD_DIR/app/converter"
CONVERT="$BUILD_DIR/bench/engine_convert"

# The program runs unattended (Qt's offscreen platform) with settings of its own per road.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# Settings indexes of each road: the default settings give the AVI road and the MP3 extraction;
# MP4 is container 4 with the second video encoder (H.264).
write_settings() {  # road
  local config="$WORK/config-$1"
  mkdir -p "$config/Quorvane/Video Converter"
  {
    echo "[Converter]"
    echo "Update=0"
    echo "[Settings]"
    case "$1" in
      mp4) echo "VideoFormat2=4" && echo "VideoEncoder2=1" ;;
    esac
  } >"$config/Quorvane/Video Converter/converter.ini"
  echo "$config"
}

# H.264/AAC clips made by the engine itself: moving test picture, 30 fps, 48 kHz stereo sine.
make_clip() {  # height seconds path
  local width=$(($1 * 16 / 9))
  "$CONVERT" -i "-f lavfi" \
    "testsrc2=s=${width}x$1:r=30:d=$2[out0];sine=f=440:sample_rate=48000:d=$2,aformat=channel_layouts=stereo[out1]" \
    "$3" "-c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -b:a 128k" >/dev/null
}

# Appends "<wall s> <cpu s> <peak KiB>" of one command to a file.
measure() {  # out-file command...
  local out="$1"
  shift
  /usr/bin/time -o "$WORK/time.out" -f "%e %U %S %M" "$@" >"$WORK/cmd.out" 2>&1 ||
    { echo "failed: $*" >&2; tail -20 "$WORK/cmd.out" >&2; exit 1; }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$WORK/time.out" >>"$out"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
column_median() { cut -d' ' -f"$2" "$1" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", (b > 0) ? a / b : 0}'; }

# Start-up and shutdown with nothing to convert.
: >"$WORK/empty.fls"
mkdir -p "$WORK/out-empty"
: >"$WORK/empty.t"
for ((i = 0; i < RUNS; i++)); do
  XDG_CONFIG_HOME="$(write_settings avi)" measure "$WORK/empty.t" "$PROGRAM" -v "$WORK/out-empty" "$WORK/empty.fls" x
done
printf "empty list: median wall %.2f s, CPU %.2f s, peak %d KiB\n\n" "$(column_median "$WORK/empty.t" 1)" \
  "$(column_median "$WORK/empty.t" 2)" "$(column_median "$WORK/empty.t" 3)"

printf "%-9s %8s %8s %7s %8s %8s %7s %9s %9s %7s  %-13s %7s %7s\n" road prog_s ff_s wall× prog_cpu ff_cpu cpu× \
  prog_KiB ff_KiB mem× "pairs wall×" eng_wall× eng_mem×
for size in $SIZES; do
  seconds=$SECONDS_720
  [ "$size" = 1080 ] && seconds=$SECONDS_1080
  clip="$WORK/clip${size}p.mp4"
  echo "making a ${seconds} s ${size}p clip..." >&2
  make_clip "$size" "$seconds" "$clip"
  for road in $ROADS; do
    config="$(write_settings "$road")"
    action=-v
    [ "$road" = mp3 ] && action=-a
    out="$WORK/out-$road-$size"
    mkdir -p "$out"
    : >"$WORK/prog.t"
    : >"$WORK/ff.t"
    : >"$WORK/pairs.t"
    : >"$WORK/engine.t"
    options=""
    for ((i = 0; i < RUNS; i++)); do
      rm -rf "${out:?}"/*
      XDG_CONFIG_HOME="$config" measure "$WORK/prog.t" "$PROGRAM" "$action" "$out" "$clip" x
      if [ -z "$options" ]; then
        options="$(sed -n 's/^Parameters //p' "$WORK/cmd.out" | head -1)"
        [ -n "$options" ] || { echo "the program logged no option text" >&2; cat "$WORK/cmd.out" >&2; exit 1; }
        produced="$(find "$out" -type f | head -1)"
        [ -n "$produced" ] || { echo "the program wrote no output" >&2; cat "$WORK/cmd.out" >&2; exit 1; }
        extension="${produced##*.}"
      fi
      # shellcheck disable=SC2086  # the option text is split into words on purpose
      measure "$WORK/ff.t" ffmpeg -nostdin -hide_banner -loglevel error -y -i "$clip" $options "$WORK/ffmpeg.$extension"
      measure "$WORK/engine.t" "$CONVERT" "$clip" "$WORK/engine.$extension" "$options"
      paste -d' ' <(tail -1 "$WORK/prog.t") <(tail -1 "$WORK/ff.t") | awk '{printf "%.3f\n", $1 / $4}' >>"$WORK/pairs.t"
    done
    pw=$(column_median "$WORK/prog.t" 1); fw=$(column_median "$WORK/ff.t" 1)
    pc=$(column_median "$WORK/prog.t" 2); fc=$(column_median "$WORK/ff.t" 2)
    pm=$(column_median "$WORK/prog.t" 3); fm=$(column_median "$WORK/ff.t" 3)
    ew=$(column_median "$WORK/engine.t" 1); em=$(column_median "$WORK/engine.t" 3)
    spread="$(sort -n "$WORK/pairs.t" | sed -n '1p;$p' | paste -sd' ' | awk '{printf "%s..%s", $1, $2}')"
    printf "%-9s %8.2f %8.2f %7s %8.2f %8.2f %7s %9.0f %9.0f %7s  %-13s %7s %7s\n" "$road-${size}p" "$pw" "$fw" \
      "$(ratio "$pw" "$fw")" "$pc" "$fc" "$(ratio "$pc" "$fc")" "$pm" "$fm" "$(ratio "$pm" "$fm")" "$spread" \
      "$(ratio "$ew" "$fw")" "$(ratio "$em" "$fm")"
    [ "$road" = avi ] && [ "$size" = 720 ] && echo "  (avi options: $options)" >&2
  done
done
