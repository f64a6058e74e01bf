#!/usr/bin/env bash
# Statistics of a many-small-files tree: `quillmere-cli stats DIR --json` against
# `find DIR -path '*/.*' -prune -o -type f -printf '%s %f\n'` (the same files: find leaves out
# the dot-directories that the statistics leave out), in pairs taking turns on the same warm
# tree. Usage: bench/stats_bench.sh [ROUNDS]   (default 7). Target: median ratio <= 0.8.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
tree=bench/out/small

if [ ! -d "$tree" ]; then
  echo "generating $tree ..."
  python3 bench/gen_tree.py "$tree" --kind small
fi
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
cli=build/release/quillmere-cli

first() { "$cli" stats "$tree" --json; }
second() { find "$tree" -path '*/.*' -prune -o -type f -printf '%s %f\n'; }
. bench/in_turn.sh
in_turn "$rounds" quillmere find 0.80
