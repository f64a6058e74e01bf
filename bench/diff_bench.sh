#!/usr/bin/env bash
# The comparison of a target with its source against the statistics of the source alone:
# `quillmere-cli diff SOURCE TARGET --json` and `quillmere-cli stats SOURCE --json` on a
# 100,000-file source and a filtered copy of it (".o" left out), both trees warm. The two run
# in pairs, taking turns at going first; the median ratio diff/stats (min-max) is printed.
# Usage: bench/diff_bench.sh [PAIRS]   (default 5). Target: median ratio <= 2.0.
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-5}
tree=bench/out/small100k
out=bench/out/diff-target

if [ ! -d "$tree" ]; then
  echo "generating $tree ..."
  # About a quarter of the files lie below dot-directories, which no tree takes in.
  python3 bench/gen_tree.py "$tree" --kind small --files 132000 --dirs 5000
fi
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
cli=build/release/quillmere-cli
target=$out/small100k-01
if [ ! -d "$target" ]; then
  rm -rf "$out"
  mkdir -p "$out"
  "$cli" copy "$tree" "$out" --exclude .o >/dev/null
fi

# The target holds just what the filter copies, so diff exits 0; anything else is a fault.
diff_run() { "$cli" diff "$tree" "$target" --json >/dev/null; }
stats_run() { "$cli" stats "$tree" --json >/dev/null; }
now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$1"; awk "BEGIN{print $(now) - $t0}"; }

diff_run
stats_run
ratios=()
for i in $(seq "$pairs"); do
  if [ $((i % 2)) -eq 1 ]; then
    d=$(timed diff_run); s=$(timed stats_run)
  else
    s=$(timed stats_run); d=$(timed diff_run)
  fi
  r=$(awk "BEGIN{print $d / $s}")
  ratios+=("$r")
  printf 'pair %d: diff %.3fs  stats %.3fs  ratio %.2f\n' "$i" "$d" "$s" "$r"
done
printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1}
  END {printf "median ratio diff/stats: %.2f (min %.2f, max %.2f; target <= 2.0)\n",
       a[int((NR+1)/2)], a[1], a[NR]}'
