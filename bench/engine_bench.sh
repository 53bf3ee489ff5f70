#!/bin/bash
# Times the conversion engine against Debian's ffmpeg program on the same generated 720p clip with
# the same options: the application's default AVI string, its MP4 H.264 string and an MP3
# extraction. Runs are interleaved (engine, ffmpeg, engine, ffmpeg...) so machine load hits both
# alike; the script prints the median wall time and peak memory of each side and their ratio
# (engine / ffmpeg; the goal is at most 1.05). ffmpeg is a timing reference only.
#
#   bench/engine_bench.sh [runs]        (default 5 runs per side and case)
#
# Builds a Release tree of its own in build-bench/ (BUILD_DIR to change it).

set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-bench}"
RUNS="${1:-5}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/engine-bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

command -v ffmpeg >/dev/null || { echo "ffmpeg (the Debian package) is needed as the reference" >&2; exit 2; }

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_SANITIZE=OFF -DCONVERTER_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$BUILD_DIR" --target engine_convert -j"$(nproc)" >/dev/null 2>&1
CONVERT="$BUILD_DIR/bench/engine_convert"

# 10 s of 1280x720 25 fps video (MPEG-4 part 2) with 44.1 kHz stereo PCM, made by the engine itself.
SOURCE="$WORK/source720p.mkv"
"$CONVERT" -i "-f lavfi" \
  "testsrc2=s=1280x720:r=25:d=10[out0];sine=f=440:sample_rate=44100:d=10,aformat=channel_layouts=stereo[out1]" \
  "$SOURCE" "-c:v mpeg4 -q:v 3 -c:a pcm_s16le" >/dev/null

CASES=(
  "avi|-b:a 32k -c:a libmp3lame -c:v mpeg4 -sn "
  "mp4|-b:a 96k -b:v 1000k -c:a aac -astrict experimental -c:v libx264 -threads 8 -pix_fmt yuv420p -sn "
  "mp3|-b:a 192k -ac 2 -ar 44100 -c:a libmp3lame -vn"
)

# Prints "<seconds> <peak KiB>" of one command.
measure() {
  /usr/bin/time -o "$WORK/time.out" -f "%e %M" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  tail -1 "$WORK/time.out"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

printf "%-5s %12s %12s %8s %14s %14s %8s\n" case engine_s ffmpeg_s ratio engine_KiB ffmpeg_KiB ratio
for entry in "${CASES[@]}"; do
  name="${entry%%|*}"
  options="${entry#*|}"
  : >"$WORK/engine.t"
  : >"$WORK/ffmpeg.t"
  for ((i = 0; i < RUNS; i++)); do
    measure "$CONVERT" "$SOURCE" "$WORK/engine.$name" "$options" >>"$WORK/engine.t"
    # shellcheck disable=SC2086  # the option string is split into words on purpose
    measure ffmpeg -nostdin -hide_banner -loglevel error -y -i "$SOURCE" $options "$WORK/ffmpeg.$name" >>"$WORK/ffmpeg.t"
  done
  et=$(cut -d' ' -f1 "$WORK/engine.t" | median)
  ft=$(cut -d' ' -f1 "$WORK/ffmpeg.t" | median)
  em=$(cut -d' ' -f2 "$WORK/engine.t" | median)
  fm=$(cut -d' ' -f2 "$WORK/ffmpeg.t" | median)
  printf "%-5s %12.2f %12.2f %8.3f %14.0f %14.0f %8.3f\n" "$name" "$et" "$ft" \
    "$(awk -v a="$et" -v b="$ft" 'BEGIN {print (b > 0) ? a / b : 0}')" "$em" "$fm" \
    "$(awk -v a="$em" -v b="$fm" 'BEGIN {print (b > 0) ? a / b : 0}')"
done
