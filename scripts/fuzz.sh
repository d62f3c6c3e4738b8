#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer (clang, address and undefined
# sanitizers) and runs each for a while against its corpus.
#
#   scripts/fuzz.sh [-t SECONDS] [--timeout SECONDS] [--merge] [TARGET...]
#
# -t        seconds per target (default 120)
# --timeout seconds one input may take before it counts as a hang, and the
#           bound above which it is kept as slow (default 30). The readers
#           bound their work to about 10 s, but on a machine shared with
#           other builds an input that replays alone in ~1.5 s under the
#           sanitizers can stall past 10 s; lower it on an idle machine.
# --merge   fold the new inputs that add coverage into fuzz/corpus/<reader>,
#           so that the replay in the test suite keeps them
# TARGET    e.g. hpgl_fuzz; default: every target
#
# New inputs land in build-fuzz/found/<target>; crashes, leaks and inputs
# slower than the timeout in fuzz/findings/<target>/ (crash-*, leak-*,
# timeout-*, slow-unit-*). Replay a timeout or slow unit alone before
# taking it for a fault. Exit status 1 when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=120
timeout=30
merge=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    -h|--help) sed -n '2,22p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

scripts/install-deps.sh
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(ls fuzz/*_fuzz.cpp | sed 's|fuzz/\(.*\)\.cpp|\1|')
fi
# Other builds share this machine: configure and build hold the same lock
# as every other build, and the fuzzing itself runs without it.
lock=${BRENNIX_BUILD_LOCK:-/tmp/brennix-build.lock}
flock "$lock" env CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DBRENNIX_LIBFUZZER=ON -DBRENNIX_BUILD_TESTS=OFF \
  -DBRENNIX_BUILD_BENCH=OFF -DBRENNIX_BUILD_APP=OFF >/dev/null
flock "$lock" nice cmake --build build-fuzz -j"$(nproc)" $(printf -- '--target %s ' "${targets[@]}")

found=0
for target in "${targets[@]}"; do
  corpus=${target%_fuzz}
  [ -d "fuzz/corpus/$corpus" ] || { echo "$target: no folder fuzz/corpus/$corpus" >&2; exit 2; }
  fresh=build-fuzz/found/$target
  findings=fuzz/findings/$target
  mkdir -p "$fresh" "$findings"
  echo "== $target: $seconds s on fuzz/corpus/$corpus"
  # The first folder receives new inputs; the committed corpus is only read.
  set +e
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=fuzz/lsan.supp \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=4096 \
    -report_slow_units="$timeout" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$fresh" "fuzz/corpus/$corpus" 2>&1 | grep -E '^(#[0-9]+ *DONE|==[0-9]+==|SUMMARY|stat::number_of_executed_units|stat::new_units_added)|artifact_prefix|Test unit written'
  set -e
  if [ -n "$(ls -A "$findings" 2>/dev/null)" ]; then
    echo "$target: findings in $findings:"
    ls "$findings"
    found=1
  else
    rmdir "$findings" 2>/dev/null || true
  fi
  if [ "$merge" = 1 ]; then
    "build-fuzz/fuzz/$target" -merge=1 "fuzz/corpus/$corpus" "$fresh" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files' || true
  fi
done
rmdir fuzz/findings 2>/dev/null || true
exit "$found"
