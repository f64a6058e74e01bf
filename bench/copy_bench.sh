#!/usr/bin/env bash
# The filtered copy against cp -r and rsync -r, side by side on the same warm trees.
#
#   small: ~60,000 files in 3,000 directories (bench/gen_tree.py --kind small)
#   plain: the same tree without its directories whose names begin with "." (which the
#          engine never copies), so that the engine and cp -r make identical copies
#   large: six files of 300 MB (--kind large)
#
#   quillmere  quillmere-cli copy SRC OUT                          (everything)    plain, large
#   cp         cp -r SRC DEST                                                       plain, large
#   q-excl     quillmere-cli copy SRC OUT --exclude .o --exclude .obj               small
#   rsync      rsync -r --exclude='*.o' --exclude='*.obj' --exclude='.*/' SRC/ DEST/  small, large
#
# Each round runs every command once, in an order that rotates from round to round, each into
# its own fresh directory; `sync` follows every copy outside the timing so that no command pays
# for another's write-back. Targets are deleted only between groups of rounds, followed by sync
# and a pause (see clear_targets). The small-file rounds, warm-up included, form one group. The
# large tree's copies are deleted one by one, right after each (a few freed inodes do not
# matter): memory is then in the same state for every copy, where otherwise whichever copy
# came third in a round paid for reclaiming the page cache of the two before it. On the large
# tree (no .o or .obj files) quillmere itself is paired with rsync.
#
# Reported: the median over the rounds of the per-round ratios quillmere/cp and q-excl/rsync,
# by elapsed time and by CPU time (user + system), and the engine's peak memory (max RSS from
# /usr/bin/time -v). Targets: ratio <= 1.10 against cp -r on both trees, below 1.00 against
# rsync, peak memory below 64 MiB.
#
# QUILLMERE_BENCH_BASELINE=PATH adds an earlier build's quillmere-cli ("baseline", same tree as
# quillmere) and `quillmere-cli copy --force` ("q-force": the copy without the check before it)
# to every round, and reports q-force/baseline, the engine against the engine before a change,
# and quillmere/q-force, what the check costs.
#
# Usage: bench/copy_bench.sh [SMALL_ROUNDS] [LARGE_ROUNDS]   (defaults 5 and 6; an uncounted
# warm-up round comes first). About 8 minutes. Writes only below bench/out/.
set -euo pipefail
cd "$(dirname "$0")/.."
small_rounds=${1:-5}
large_rounds=${2:-6}
base=bench/out/copy
cli=build/release/quillmere-cli
baseline=${QUILLMERE_BENCH_BASELINE:-}

scripts/deps rsync time >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli -j1 >/dev/null

for tree_kind in small large; do
  if [ ! -f "$base/src/$tree_kind.done" ]; then
    echo "generating the $tree_kind tree ..."
    rm -rf "$base/src/$tree_kind"
    python3 bench/gen_tree.py "$base/src/$tree_kind" --kind "$tree_kind"
    touch "$base/src/$tree_kind.done"
  fi
done
if [ ! -f "$base/src/plain.done" ]; then
  rm -rf "$base/src/plain"
  rsync -a --exclude='.*/' "$base/src/small/" "$base/src/plain/"
  touch "$base/src/plain.done"
fi

# The copies go to a file system of their own when we may make one (root, a free loop
# device): file creation on ext4 slows down a lot while other programs delete many files on
# the same file system, and on a shared machine they often do. QUILLMERE_BENCH_SHARED_FS=1
# copies in place instead.
work=$base
cleanup() {
  if mountpoint -q "$base/mnt" 2>/dev/null; then umount "$base/mnt"; fi
  if [ -n "${loopdev:-}" ]; then losetup -d "$loopdev" 2>/dev/null || true; fi
  rm -f "$base/fs.img"
}
if [ "${QUILLMERE_BENCH_SHARED_FS:-0}" != 1 ] && [ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null &&
   truncate -s 24G "$base/fs.img" && loopdev=$(losetup -f --show --direct-io=on "$base/fs.img" 2>/dev/null); then
  trap cleanup EXIT
  # One inode per 4 KiB: every round keeps its copies of the 60,000-file tree until the end.
  mkfs.ext4 -q -F -i 4096 -E lazy_itable_init=0,discard "$loopdev"
  mkdir -p "$base/mnt"
  mount -o discard "$loopdev" "$base/mnt"
  work=$base/mnt
  cp -a "$base/src" "$work/src"
  echo "copying on a private ext4 file system ($loopdev)"
else
  rm -f "$base/fs.img"
  echo "copying on the shared file system"
fi

now() { date +%s.%N; }

# clear_targets SECONDS: deletes every target, then syncs and waits. ext4 avoids reusing an
# inode freed in the last minute (once its inode table block is written out), and a copy of
# many small files made before that spends most of its time skipping such inodes.
clear_targets() {
  rm -rf "$work/dst"
  sync
  sleep "$1"
  mkdir -p "$work/dst"
}

# run NAME TREE DEST: one copy into the fresh directory DEST, under /usr/bin/time -v.
# Prints "elapsed cpu maxrss_kib".
run() {
  local name=$1 tree=$2 dest=$3
  local report="$dest.time"
  mkdir -p "$dest"
  local t0 t1
  t0=$(now)
  case $name in
    quillmere) /usr/bin/time -v -o "$report" "$cli" copy "$tree" "$dest" --json >/dev/null ;;
    q-force) /usr/bin/time -v -o "$report" "$cli" copy "$tree" "$dest" --force --json >/dev/null ;;
    baseline) /usr/bin/time -v -o "$report" "$baseline" copy "$tree" "$dest" --json >/dev/null ;;
    q-excl) /usr/bin/time -v -o "$report" "$cli" copy "$tree" "$dest" --exclude .o --exclude .obj --json >/dev/null ;;
    cp) /usr/bin/time -v -o "$report" cp -r "$tree" "$dest/copy" ;;
    rsync) /usr/bin/time -v -o "$report" rsync -r --exclude='*.o' --exclude='*.obj' --exclude='.*/' "$tree/" "$dest/copy/" ;;
  esac
  t1=$(now)
  sync
  awk -F': ' -v wall="$(awk "BEGIN{print $t1 - $t0}")" '
    /User time/ {u = $2} /System time/ {s = $2} /Maximum resident set size/ {m = $2}
    END {printf "%.4f %.2f %d\n", wall, u + s, m}' "$report"
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
ratio() { awk "BEGIN{print ($2 > 0) ? $1 / $2 : 0}"; }

peak_kib=0
# bench_tree KIND ROUNDS GROUP WAIT: GROUP "all" keeps every round's targets until the end,
# "each" deletes each copy after it; WAIT is the pause after deleting earlier groups' targets.
bench_tree() {
  local kind=$1 rounds=$2 group=$3 wait=$4
  local -A trees=()
  local commands excl
  if [ "$kind" = small ]; then
    commands=(quillmere cp q-excl rsync) excl=q-excl
    trees=([quillmere]=plain [cp]=plain [q-excl]=small [rsync]=small)
  else
    commands=(quillmere cp rsync) excl=quillmere
    trees=([quillmere]=large [cp]=large [rsync]=large)
  fi
  if [ -n "$baseline" ]; then
    commands+=(q-force baseline)
    trees[q-force]=${trees[quillmere]}
    trees[baseline]=${trees[quillmere]}
  fi
  local -A wall_times=() cpu_times=()
  local cp_wall=() cp_cpu=() rs_wall=() rs_cpu=() base_wall=() base_cpu=() check_wall=()
  clear_targets "$wait"

  for round in $(seq 0 "$rounds"); do
    local n=${#commands[@]} line="" k name
    local -A wall=() cpu=()
    for ((k = 0; k < n; k++)); do
      name=${commands[$(((k + round) % n))]}
      read -r w c m < <(run "$name" "$work/src/${trees[$name]}" "$work/dst/$kind-$round-$name")
      wall[$name]=$w
      cpu[$name]=$c
      if [ "$name" = quillmere ] || [ "$name" = q-excl ]; then
        [ "$m" -gt "$peak_kib" ] && peak_kib=$m
      fi
      line+=$(printf '  %s %.2fs (cpu %.2fs)' "$name" "$w" "$c")
      if [ "$group" != all ]; then clear_targets 2; fi
    done
    if [ "$round" -eq 0 ]; then
      echo "$kind warm-up:$line"
    else
      echo "$kind round $round:$line"
      for name in "${commands[@]}"; do
        wall_times[$name]+="${wall[$name]} "
        cpu_times[$name]+="${cpu[$name]} "
      done
      cp_wall+=("$(ratio "${wall[quillmere]}" "${wall[cp]}")")
      cp_cpu+=("$(ratio "${cpu[quillmere]}" "${cpu[cp]}")")
      rs_wall+=("$(ratio "${wall[$excl]}" "${wall[rsync]}")")
      rs_cpu+=("$(ratio "${cpu[$excl]}" "${cpu[rsync]}")")
      if [ -n "$baseline" ]; then
        base_wall+=("$(ratio "${wall[q-force]}" "${wall[baseline]}")")
        base_cpu+=("$(ratio "${cpu[q-force]}" "${cpu[baseline]}")")
        check_wall+=("$(ratio "${wall[quillmere]}" "${wall[q-force]}")")
      fi
    fi
  done

  for name in "${commands[@]}"; do
    # shellcheck disable=SC2086
    printf '%s median %-9s %7.3fs elapsed  %7.2fs cpu  (%s tree)\n' "$kind" "$name" \
      "$(median ${wall_times[$name]})" "$(median ${cpu_times[$name]})" "${trees[$name]}"
  done
  printf '%s median ratio %s/cp -r:    elapsed %.3f  cpu %.3f (target <= 1.10)\n' "$kind" quillmere \
    "$(median "${cp_wall[@]}")" "$(median "${cp_cpu[@]}")"
  printf '%s median ratio %s/rsync -r: elapsed %.3f  cpu %.3f (target < 1.00)\n' "$kind" "$excl" \
    "$(median "${rs_wall[@]}")" "$(median "${rs_cpu[@]}")"
  if [ -n "$baseline" ]; then
    printf '%s median ratio q-force/baseline: elapsed %.3f  cpu %.3f\n' "$kind" \
      "$(median "${base_wall[@]}")" "$(median "${base_cpu[@]}")"
    printf '%s median ratio quillmere/q-force (the check): elapsed %.3f\n' "$kind" \
      "$(median "${check_wall[@]}")"
  fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_tree small "$small_rounds" all 65
bench_tree large "$large_rounds" each 2
awk "BEGIN{printf \"engine peak memory (max RSS): %.1f MiB (target < 64)\n\", $peak_kib / 1024}"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$work/dst"
