#!/usr/bin/env bash
# Loads every file with two brennix-cli builds and reports where the levels
# or the G-code differ: a reader change must leave the files it already read
# exactly as they were, unless it mends what they show.
# usage: scripts/compare-builds.sh OLD_CLI NEW_CLI OUT_DIR FILE...
set -u
old=$1; new=$2; out=$3; shift 3
mkdir -p "$out"
same=0; changed=0; newly=0; both=0; lost=0
for f in "$@"; do
  key=$(printf '%s' "$f" | md5sum | cut -c1-10)
  timeout 120 "$old" --json "$out/$key.old.json" -o "$out/$key.old.gcode" "$f" >/dev/null 2>"$out/$key.old.err"; o=$?
  timeout 120 "$new" --json "$out/$key.new.json" -o "$out/$key.new.gcode" "$f" >/dev/null 2>"$out/$key.new.err"; n=$?
  if [ $o -ne 0 ] && [ $n -ne 0 ]; then both=$((both+1)); continue; fi
  if [ $o -ne 0 ]; then newly=$((newly+1)); echo "now loads: $f"; continue; fi
  if [ $n -ne 0 ]; then lost=$((lost+1)); echo "LOST: $f: $(head -c 200 "$out/$key.new.err")"; continue; fi
  if cmp -s "$out/$key.old.json" "$out/$key.new.json" && cmp -s "$out/$key.old.gcode" "$out/$key.new.gcode"; then
    same=$((same+1)); rm -f "$out/$key".*
  else
    changed=$((changed+1)); echo "CHANGED: $f ($key)"
  fi
done
echo "same $same, changed $changed, now loading $newly, lost $lost, refused by both $both"
