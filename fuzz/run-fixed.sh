#!/bin/sh
# Usage: run-fixed.sh FUZZ_TARGET SOURCE_FUZZ_DIR NAME RUNS
# Replays the target's seed corpus and kept crash inputs, then runs a fixed
# number of generated inputs from a fixed seed. New corpus entries go to a
# scratch folder, never into the repository; a failing input is left in the
# current folder.
set -u
target=$1 dir=$2 name=$3 runs=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dict=""
[ -f "$dir/dict/$name.dict" ] && dict="-dict=$dir/dict/$name.dict"
mkdir -p "$scratch/new"
"$target" -seed=1 -runs="$runs" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="./$name-" $dict \
  "$scratch/new" "$dir/corpus/$name" "$dir/crashes/$name" >"$scratch/log" 2>&1
status=$?
tail -n 3 "$scratch/log"
[ $status -eq 0 ] || tail -n 60 "$scratch/log"
exit $status
