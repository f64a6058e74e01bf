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

# Warm the cache once for both; the check exits 1 when it finds problems, which is no failure here.
"$cli" check "$tree" "$out" --json >/dev/null || true
"$cli" stats "$tree" --json >/dev/null

now() { date +%s.%N; }
ratios=()
for i in $(seq "$rounds"); do
  t0=$(now); "$cli" check "$tree" "$out" --json >/dev/null || true; t1=$(now)
  "$cli" stats "$tree" --json >/dev/null; t2=$(now)
  c=$(awk "BEGIN{print $t1 - $t0}"); s=$(awk "BEGIN{print $t2 - $t1}")
  r=$(awk "BEGIN{print $c / $s}")
  ratios+=("$r")
  printf 'round %d: check %.3fs  stats %.3fs  ratio %.2f\n' "$i" "$c" "$s" "$r"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
printf 'median ratio check/stats: %.2f (target <= 1.20)\n' "$median"
