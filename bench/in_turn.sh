# Sourced by the benchmarks that time one command against another on the same warm tree.
# in_turn ROUNDS NAME1 NAME2 TARGET runs the caller's functions `first` and `second` once to
# warm the cache, then in turn ROUNDS times, prints each round, and the median ratio
# NAME1/NAME2 of the elapsed times against TARGET.
in_turn() {
  local rounds=$1 a=$2 b=$3 target=$4 i t0 t1 t2 x y r median
  local ratios=()
  first >/dev/null
  second >/dev/null
  now() { date +%s.%N; }
  for i in $(seq "$rounds"); do
    t0=$(now); first >/dev/null; t1=$(now)
    second >/dev/null; t2=$(now)
    x=$(awk "BEGIN{print $t1 - $t0}"); y=$(awk "BEGIN{print $t2 - $t1}")
    r=$(awk "BEGIN{print $x / $y}")
    ratios+=("$r")
    printf 'round %d: %s %.3fs  %s %.3fs  ratio %.2f\n' "$i" "$a" "$x" "$b" "$y" "$r"
  done
  median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  printf 'median ratio %s/%s: %.2f (target <= %s)\n' "$a" "$b" "$median" "$target"
}
