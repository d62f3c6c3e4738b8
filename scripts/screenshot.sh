#!/bin/sh
# Takes a screenshot of the window on an example drawing, under a virtual
# display: starts brennix, waits for the burning-time estimate, saves the
# window as a PNG and quits.
#
#   scripts/screenshot.sh [build folder] [output.png] [drawing]
#
# Defaults: build-app, docs/screenshot.png, the first HP-GL, SVG or STL
# drawing in examples/. Needs xvfb-run (package xvfb).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-app"}
output=${2:-"$root/docs/screenshot.png"}
drawing=${3:-}
if [ -z "$drawing" ]; then
  for pattern in "$root"/examples/*.plt "$root"/examples/*.svg "$root"/examples/*.stl; do
    if [ -f "$pattern" ]; then
      drawing=$pattern
      break
    fi
  done
fi
[ -n "$drawing" ] || { echo "no example drawing found" >&2; exit 1; }

program="$build/src/app/brennix"
[ -x "$program" ] || { echo "build brennix first: ninja -C $build brennix" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }

# Default settings, whatever the user has stored.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
case "$output" in /*) ;; *) output="$(pwd)/$output" ;; esac
mkdir -p "$(dirname "$output")"
rm -f "$output"

XDG_CONFIG_HOME="$config" BRENNIX_SCREENSHOT="$output" \
  timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$drawing"
[ -s "$output" ] || { echo "no screenshot was written" >&2; exit 1; }
echo "$output"
