#!/usr/bin/env bash
# Builds the window and brennix-cli and packs them as a Debian package in
# build-package/. BRENNIX_CONFIGURE and BRENNIX_BUILD replace `cmake -S -B`
# and `cmake --build` (same arguments), e.g. with wrappers that share a build lock.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build-package"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRENNIX_BUILD_TESTS=OFF -DBRENNIX_BUILD_BENCH=OFF
  -DBRENNIX_BUILD_FUZZ=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
if [ -n "${BRENNIX_CONFIGURE:-}" ]; then
  "$BRENNIX_CONFIGURE" "$source_dir" "$build_dir" "${options[@]}"
else
  cmake -S "$source_dir" -B "$build_dir" -G Ninja "${options[@]}"
fi
targets=(--target brennix --target brennix-cli)
if [ -n "${BRENNIX_BUILD:-}" ]; then
  "$BRENNIX_BUILD" "$build_dir" "${targets[@]}" -j2
else
  cmake --build "$build_dir" "${targets[@]}"
fi
(cd "$build_dir" && cpack -G DEB)
ls "$build_dir"/*.deb
