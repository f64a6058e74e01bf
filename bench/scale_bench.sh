#!/usr/bin/env bash
# How the statistics and the copy grow with the tree: 10,000, 100,000 and 1,000,000 files of
# at most 1 KiB, twenty files a directory (1,000,000 files in 50,000 directories), on a
# private ext4 image. For each size: `quillmere-cli stats` against find on the same files,
# and `quillmere-cli copy` against `cp -r` (each copy onto a fresh target, removed and synced
# before the next), in pairs taking turns (bench/in_turn.sh), with the time per file.
# Targets: the time per file of each command grows by at most 20 % from the smallest tree to
# the largest; stats of the 1,000,000-file tree within 4 s.
#
# Usage: bench/scale_bench.sh [ROUNDS] [SIZES]   (default 3 pairs; sizes "10000 100000
# 1000000"). Generating the largest tree takes a few minutes the first time (kept in
# bench/out/scale); the whole run about 20 minutes. Needs root (loop device).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
sizes=${2:-"10000 100000 1000000"}
base=$PWD/bench/out/scale
cli=$PWD/build/release/quillmere-cli

scripts/deps time >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null

disk=$base/mnt
img=$base/ext4.img
mkdir -p "$disk"
if ! mountpoint -q "$disk"; then
  if [ ! -f "$base/ready" ]; then
    rm -f "$img"
    truncate -s 24G "$img"
    mkfs.ext4 -q -F -N 3000000 -E lazy_itable_init=0 "$img"
  fi
  mount -o loop "$img" "$disk"
fi
trap 'umount "$disk"' EXIT
for n in $sizes; do
  if [ ! -f "$disk/src/$n.done" ]; then
    echo "generating $n files ..."
    rm -rf "$disk/src/$n"
    python3 bench/gen_tree.py "$disk/src/$n" --kind small --files "$n" --dirs $((n / 20)) --max-kib 1
    touch "$disk/src/$n.done"
  fi
done
touch "$base/ready"
sync

. bench/in_turn.sh
dst=$disk/dst
declare -A per_file=()
# measure NAME N TARGET: runs the pairs, keeps the median time per file of each command.
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
measure() {
  local name=$1 n=$2 target=$3 out a b
  out=$(in_turn "$rounds" "$name" other "$target")
  echo "$out" | tail -1
  a=$(echo "$out" | awk '/^pair/ {print $4 + 0}' | median)
  b=$(echo "$out" | awk '/^pair/ {print $6 + 0}' | median)
  per_file[$name,$n]=$(awk -v a="$a" -v b="$b" -v n="$n" 'BEGIN {printf "%.2f %.2f", a * 1e6 / n, b * 1e6 / n}')
  printf '   %s median %.2f s, %s µs per file; the other %.2f s, %s µs per file\n' \
    "$name" "$a" "${per_file[$name,$n]% *}" "$b" "${per_file[$name,$n]#* }"
}

for n in $sizes; do
  tree=$disk/src/$n
  echo "== $n files in $((n / 20)) directories"
  unset -f between
  first() { "$cli" stats "$tree" --json; }
  second() { find "$tree" -path '*/.*' -prune -o -type f -printf '%s %f\n'; }
  measure stats "$n" "0.80 (against find; 4 s at 1,000,000 files)"
  between() { rm -rf "$dst"; sync; mkdir -p "$dst"; }
  between
  first() { "$cli" copy "$tree" "$dst" --json; }
  second() { cp -r "$tree" "$dst/c"; }
  measure copy "$n" "0.60 (against cp -r)"
done
rm -rf "$dst"

echo "== time per file, smallest tree to largest (target: the largest's at most 1.20 times the smallest's)"
for name in stats copy; do
  for side in 1 2; do
    vals=()
    for n in $sizes; do vals+=("$(echo "${per_file[$name,$n]}" | cut -d' ' -f$side)"); done
    label=$name; [ $side = 2 ] && { [ $name = stats ] && label=find || label='cp -r'; }
    printf '%s\n' "${vals[@]}" | awk -v l="$label" '{v[NR]=$1; s = s sprintf(" %s", $1)}
      END {printf "%-6s µs per file:%s  largest/smallest %.2f\n", l, s, v[NR] / v[1]}'
  done
done
