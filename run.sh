#!/usr/bin/env bash
# Installs what is missing, builds Brennix and opens a drawing in it: the one
# given, or the example plot. Without a display the drawing is converted to
# G-code with brennix-cli instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target brennix-cli --target brennix

drawing="${1:-}"
if [ -z "$drawing" ]; then
  drawing=$(ls examples/*.plt 2>/dev/null | head -n 1)
fi
[ -n "$drawing" ] || { echo "usage: ./run.sh DRAWING" >&2; exit 2; }

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/src/app/brennix ]; then
  exec build/src/app/brennix "$drawing"
fi
name=$(basename "$drawing")
output="$PWD/build/${name%.*}.gcode"
echo "No display: converting $drawing with brennix-cli."
build/src/cli/brennix-cli -o "$output" "$drawing"
echo "G-code written to $output"
