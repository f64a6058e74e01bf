# Sourced by the benchmarks that time one command against another on the same warm tree.
# in_turn ROUNDS NAME1 NAME2 TARGET runs the caller's functions `first` and `second` once to
# warm the cache, then ROUNDS pairs, the two taking turns at going first, prints each pair, and
# the median ratio NAME1/NAME2 of the elapsed times (with min and max) against TARGET.
# `between`, when the caller defines it, runs after each command, outside the timing.
in_turn() {
  local rounds=$1 a=$2 b=$3 target=$4 i t0 x y r
  local ratios=()
  declare -F between >/dev/null || between() { :; }
  now() { date +%s.%N; }
  timed() { t0=$(now); "$1" >/dev/null; awk "BEGIN{print $(now) - $t0}"; }
  first >/dev/null; between
  second >/dev/null; between
  for i in $(seq "$rounds"); do
    if [ $((i % 2)) -eq 1 ]; then
      x=$(timed first); between; y=$(timed second); between
    else
      y=$(timed second); between; x=$(timed first); between
    fi
    r=$(awk "BEGIN{print $x / $y}")
    ratios+=("$r")
    printf 'pair %d: %s %.3fs  %s %.3fs  ratio %.2f\n' "$i" "$a" "$x" "$b" "$y" "$r"
  done
  printf '%s\n' "${ratios[@]}" | sort -g | awk -v a="$a" -v b="$b" -v t="$target" '{v[NR]=$1}
    END {printf "median ratio %s/%s: %.2f (min %.2f, max %.2f; target <= %s)\n", a, b,
         v[int((NR+1)/2)], v[1], v[NR], t}'
}
