#!/usr/bin/env bash
# Statistics of a many-small-files tree: `quillmere-cli stats DIR --json` against
# `find DIR -type f -printf '%s %f\n'`, run in turn on the same warm tree.
# Usage: bench/stats_bench.sh [ROUNDS]   (default 7). Target: median ratio <= 1.5.
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

# Warm the cache once for both.
"$cli" stats "$tree" --json >/dev/null
find "$tree" -type f -printf '%s %f\n' >/dev/null

now() { date +%s.%N; }
ratios=()
for i in $(seq "$rounds"); do
  t0=$(now); "$cli" stats "$tree" --json >/dev/null; t1=$(now)
  find "$tree" -type f -printf '%s %f\n' >/dev/null; t2=$(now)
  q=$(awk "BEGIN{print $t1 - $t0}"); f=$(awk "BEGIN{print $t2 - $t1}")
  r=$(awk "BEGIN{print $q / $f}")
  ratios+=("$r")
  printf 'round %d: quillmere %.3fs  find %.3fs  ratio %.2f\n' "$i" "$q" "$f" "$r"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
printf 'median ratio quillmere/find: %.2f (target <= 1.50)\n' "$median"
