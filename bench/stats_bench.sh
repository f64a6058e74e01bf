#!/usr/bin/env bash
# Statistics of many-small-files trees: `quillmere-cli stats DIR --json` against
# `find DIR -path '*/.*' -prune -o -type f -printf '%s %f\n'` (the same files: find leaves out
# the dot-directories that the statistics leave out), in pairs taking turns on the same warm
# tree: 60,000 files in 3,000 directories, and 20,000 files of 0-32 KiB in 1,000.
# Usage: bench/stats_bench.sh [ROUNDS]   (default 7). Target: median ratio <= 0.4.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}

cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
cli=build/release/quillmere-cli
. bench/in_turn.sh

declare -A shape=([small]="--kind small" [tiny]="--kind small --files 20000 --dirs 1000 --max-kib 32")
for kind in small tiny; do
  tree=bench/out/$kind
  if [ ! -f "$tree.done" ]; then
    echo "generating $tree ..."
    rm -rf "$tree"
    # shellcheck disable=SC2086
    python3 bench/gen_tree.py "$tree" ${shape[$kind]}
    touch "$tree.done"
  fi
  first() { "$cli" stats "$tree" --json; }
  second() { find "$tree" -path '*/.*' -prune -o -type f -printf '%s %f\n'; }
  echo "== $kind"
  in_turn "$rounds" quillmere find 0.40 | tail -1
done
