#!/usr/bin/env bash
# The check before a copy against the statistics of the same tree: `quillmere-cli check TREE
# OUT --json` and `quillmere-cli stats TREE --json`, run in turn on the same warm tree.
# Usage: bench/check_bench.sh [ROUNDS]   (default 7). Target: median ratio <= 1.2.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
tree=bench/out/small
out=bench/out/check-target

if [ ! -d "$tree" ]; then
  echo "generating $tree ..."
  python3 bench/gen_tree.py "$tree" --kind small
fi
mkdir -p "$out"
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
cli=build/release/quillmere-cli

# The check exits 1 when it finds problems, which is no failure here.
first() { "$cli" check "$tree" "$out" --json || true; }
second() { "$cli" stats "$tree" --json; }
. bench/in_turn.sh
in_turn "$rounds" check stats 1.20
