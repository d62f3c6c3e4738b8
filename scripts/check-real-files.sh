#!/usr/bin/env bash
# Loads real drawings that other programs wrote with brennix-cli and compares
# each with the peer's rendering (gerbv, rsvg-convert, hp2xx, admesh).
# A developer tool, not a test; gather the files yourself (see scripts/realfiles.py).
#   scripts/check-real-files.sh [-b BUILD_DIR] [-o OUT_DIR] KIND PATH...
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(gerbv librsvg2-bin hp2xx admesh python3-pil)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
exec /usr/bin/python3 scripts/realfiles.py "$@"
