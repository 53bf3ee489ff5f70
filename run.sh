#!/usr/bin/env bash
# Builds a Release build when needed (installing missing packages first) and starts the converter.
# Every argument is passed to the program (batch mode: ./run.sh -v OUTDIR FILE... x).
#
# Fast path: when the program is built and no file of the checkout is newer than the stamp of the
# last successful build, the package check and CMake are skipped and the program starts at once.
# Either way the desktop entry and the icon are installed into the user's XDG data folder when
# they are missing (docks and task bars find the program, and its progress, through them).
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
build="$root/build/release"
bin="$build/app/converter"
stamp="$build/.run-stamp"

install_desktop_entry() {
  local data="${XDG_DATA_HOME:-$HOME/.local/share}"
  local entry="$data/applications/tarsel-video-converter.desktop"
  local icon="$data/icons/hicolor/scalable/apps/tarsel-video-converter.svg"
  local exec_line="Exec=\"$bin\""
  if [ ! -f "$entry" ] || ! grep -qxF "$exec_line" "$entry"; then
    mkdir -p "$(dirname "$entry")"
    sed "s|^Exec=.*|$exec_line|" "$root/app/tarsel-video-converter.desktop" >"$entry.tmp" && mv "$entry.tmp" "$entry"
  fi
  if [ ! -f "$icon" ]; then
    mkdir -p "$(dirname "$icon")"
    cp "$root/app/icons/tarsel-video-converter.svg" "$icon"
  fi
}

# Any file of the checkout (outside build/ and .git) newer than the stamp means a rebuild.
changed() {
  [ -x "$bin" ] && [ -f "$stamp" ] || return 0
  [ -n "$(find "$root" \( -path "$root/build" -o -path "$root/.git" \) -prune -o -type f -newer "$stamp" -print -quit)" ]
}

if changed; then
  bash "$root/scripts/setup.sh"
  # Taken before the build: a file saved while it runs is newer and brings the next rebuild.
  touch "$stamp.new" 2>/dev/null || { mkdir -p "$build" && touch "$stamp.new"; }
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCONVERTER_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target converter -j"$(nproc)"
  mv "$stamp.new" "$stamp"
fi
install_desktop_entry || echo "Could not install the desktop entry (the program runs without it)." >&2
exec "$bin" "$@"
