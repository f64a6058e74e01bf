#!/usr/bin/env bash
# The verify pass against cmp over the same files. The pass is what `copy --verify` takes
# beyond `copy` (the two run back to back, taking turns at going first); cmp compares the
# same source with a copy whose pages were dropped from memory first, as the verify pass
# drops them, so that both read the copy from the disk. On the six large files cmp runs once
# per file; on the small-files tree `diff -rq` stands in for it (one process, where a cmp per
# file would time 46,000 process starts). Every copy goes onto a fresh target on a private
# ext4 image and is removed, followed by sync, before the next.
#
# Usage: bench/verify_bench.sh [ROUNDS]   (default 5). Target: median ratio pass/cmp <= 1.1.
# Needs root (loop device). Writes only below bench/out/.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
base=$PWD/bench/out/verify
cli=$PWD/build/release/quillmere-cli

cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
mkdir -p "$base"
for kind in small large; do
  if [ ! -f "$base/$kind.done" ]; then
    rm -rf "$base/$kind.tmp"
    python3 bench/gen_tree.py "$base/$kind.tmp" --kind "$kind"
    rsync -a --exclude='.*/' "$base/$kind.tmp/" "$base/$kind/"
    rm -rf "$base/$kind.tmp"
    touch "$base/$kind.done"
  fi
done

disk=$base/mnt
rm -f "$base/ext4.img"
truncate -s 12G "$base/ext4.img"
mkfs.ext4 -q -F "$base/ext4.img"
mkdir -p "$disk"
mount -o loop "$base/ext4.img" "$disk"
trap 'umount "$disk"; rm -f "$base/ext4.img"' EXIT
cp -a "$base/small" "$base/large" "$disk/"
sync
dst=$disk/dst
fresh() { rm -rf "$dst"; sync; mkdir -p "$dst"; }
now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$@" >/dev/null; awk "BEGIN{print $(now) - $t0}"; }
drop_pages() {
  python3 - "$1" <<'EOF'
import os, sys
for d, _, names in os.walk(sys.argv[1]):
    for n in names:
        fd = os.open(os.path.join(d, n), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
EOF
}
compare() {
  if [ "$1" = large ]; then
    local f
    for f in $(cd "$disk/large" && find . -type f); do cmp "$disk/large/$f" "$dst/large-01/$f"; done
  else
    diff -rq "$disk/small" "$dst/small-01"
  fi
}

for kind in large small; do
  echo "== $kind: the verify pass against $([ $kind = large ] && echo cmp || echo 'diff -rq')"
  ratios=()
  for i in $(seq 0 "$rounds"); do
    fresh
    if [ $((i % 2)) -eq 0 ]; then
      plain=$(timed "$cli" copy "$disk/$kind" "$dst" --json); fresh
      checked=$(timed "$cli" copy "$disk/$kind" "$dst" --verify --json); fresh
    else
      checked=$(timed "$cli" copy "$disk/$kind" "$dst" --verify --json); fresh
      plain=$(timed "$cli" copy "$disk/$kind" "$dst" --json); fresh
    fi
    "$cli" copy "$disk/$kind" "$dst" --json >/dev/null
    sync
    drop_pages "$dst"
    compared=$(timed compare "$kind")
    [ "$i" -eq 0 ] && continue  # warm-up
    pass=$(awk "BEGIN{print $checked - $plain}")
    r=$(awk "BEGIN{print $pass / $compared}")
    ratios+=("$r")
    printf 'round %d: copy %.2fs, copy --verify %.2fs, pass %.2fs, compare %.2fs, ratio %.2f\n' \
      "$i" "$plain" "$checked" "$pass" "$compared" "$r"
  done
  printf '%s\n' "${ratios[@]}" | sort -g | awk -v k="$kind" '{v[NR]=$1}
    END {printf "%s: median ratio pass/compare %.2f (min %.2f, max %.2f; target <= 1.1)\n",
         k, v[int((NR+1)/2)], v[1], v[NR]}'
done
fresh
