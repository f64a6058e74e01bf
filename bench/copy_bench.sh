#!/usr/bin/env bash
# The filtered copy against cp -r and rsync -r on equal work, in pairs taking turns.
#
#   small: ~46,000 files of 0-256 KiB in ~2,300 directories: bench/gen_tree.py --kind small
#          without its dot-directories (which the copy leaves out), so that every command
#          copies the same files; "mixed" is the tree with them, for rsync's exclusions
#   tiny:  ~17,800 files of 0-32 KiB in ~880 directories (20,000 files in 1,000 directories
#          before the dot-directories go), where the cost per file is all there is
#   large: six files of 300 MB (--kind large)
#   root:  this machine's /usr/share, less .gz and .mo files, copied onto the file system
#          that holds the repository (not a private image: the disk a copy most often writes
#          to, with its own journal, mount options and neighbours) against rsync -rl
#
# Every copy goes onto a fresh target on a private ext4 image (an exFAT image through FUSE
# for the last group) and is removed, followed by sync, before the next command runs: kept
# copies grow the page cache until every command slows down, which hides differences. The
# two commands of a pair alternate which goes first; each line quotes the median ratio of
# the pairs with its min and max (bench/in_turn.sh).
#
# A copy by quillmere-cli ends with its data on the disk (it syncs the target before it says
# it is done), where cp -r returns with the data still in the page cache: both comparisons
# are printed, against `cp -r` and against `cp -r && sync`.
#
# QUILLMERE_BENCH_BASELINE=PATH adds the engine against an earlier build's quillmere-cli, on
# ext4 and on exFAT.
# Peak memory (max RSS, /usr/bin/time) is taken once per number of copy threads.
#
# Usage: bench/copy_bench.sh [ROUNDS] [PARTS]   (default 5 pairs per line, parts
# "ext4 root exfat"; about 35 minutes).
# Writes only below bench/out/. Needs root for the images (loop devices, FUSE).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
parts=${2:-"ext4 root exfat"}
base=$PWD/bench/out/copy
cli=$PWD/build/release/quillmere-cli
baseline=${QUILLMERE_BENCH_BASELINE:-}

scripts/deps rsync time exfat-fuse exfatprogs >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null

# The ext4 part's trees; the exFAT part makes its own small one.
declare -A shape=([small]="--kind small" [tiny]="--kind small --files 20000 --dirs 1000 --max-kib 32"
  [large]="--kind large")
for kind in small tiny large; do
  if [[ " $parts " == *" ext4 "* ]] && [ ! -f "$base/src/$kind.done" ]; then
    echo "generating the $kind tree ..."
    rm -rf "$base/src/$kind"
    # shellcheck disable=SC2086
    python3 bench/gen_tree.py "$base/src/$kind" ${shape[$kind]}
    touch "$base/src/$kind.done"
  fi
done

mounts=()
loops=()
cleanup() {
  local m l
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  rm -f "$base/ext4.img" "$base/exfat.img"
}
trap cleanup EXIT
# mount_image TYPE SIZE DIR: a fresh file system of TYPE in an image file, mounted on DIR.
mount_image() {
  local type=$1 size=$2 dir=$3 img=$base/$1.img dev
  rm -f "$img"
  truncate -s "$size" "$img"
  dev=$(losetup -f --show "$img")
  loops+=("$dev")
  mkdir -p "$dir"
  if [ "$type" = ext4 ]; then
    mkfs.ext4 -q -F -E lazy_itable_init=0 "$dev"
    mount "$dev" "$dir"
  else
    mkfs.exfat "$dev" >/dev/null
    mount.exfat-fuse "$dev" "$dir" >/dev/null
  fi
  mounts=("$dir" "${mounts[@]}")
}

. bench/in_turn.sh
between() { rm -rf "$dst"; sync; mkdir -p "$dst"; }
tree=small
jobs=
q() { QUILLMERE_COPY_JOBS=$jobs "$cli" copy "$disk/src/$tree" "$dst" --json; }

# pair NAME_A FUNCTION_A NAME_B FUNCTION_B TARGET
pair() {
  eval "first() { $2; }; second() { $4; }"
  echo "== $tree: $1 against $3"
  in_turn "$rounds" "$1" "$3" "$5" | tail -1
}

if [[ " $parts " == *" ext4 "* ]]; then
  disk=$base/ext4
  mount_image ext4 12G "$disk"
  mkdir -p "$disk/src"
  rsync -a --exclude='.*/' "$base/src/small/" "$disk/src/small/"
  rsync -a --exclude='.*/' "$base/src/tiny/" "$disk/src/tiny/"
  rsync -a "$base/src/small/" "$disk/src/mixed/"
  cp -a "$base/src/large" "$disk/src/large"
  sync
  echo "copying on a private ext4 file system; $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg)"

  dst=$disk/dst
  between
  for tree in small tiny large; do
    jobs=
    if [ $tree = large ]; then target='(figure)'; else target=0.80; fi
    pair quillmere q 'cp -r' 'cp -r "$disk/src/$tree" "$dst/c"' "$target"
    if [ $tree = large ]; then target=1.00; else target=0.50; fi
    pair quillmere q 'cp -r && sync' 'cp -r "$disk/src/$tree" "$dst/c" && sync' "$target"
    for jobs in 1 2 4; do
      pair "quillmere --jobs $jobs" q 'cp -r' 'cp -r "$disk/src/$tree" "$dst/c"' '(figure)'
    done
    jobs=
    if [ -n "$baseline" ]; then
      pair quillmere q baseline '"$baseline" copy "$disk/src/$tree" "$dst" --json' '1.05 (within 5 %)'
      jobs=1
      pair 'quillmere --jobs 1' q baseline '"$baseline" copy "$disk/src/$tree" "$dst" --json' '(figure)'
      jobs=
    fi
  done

  tree=mixed
  pair 'quillmere --exclude .o --exclude .obj' \
    '"$cli" copy "$disk/src/mixed" "$dst" --exclude .o --exclude .obj --json' \
    'rsync -r (same exclusions)' \
    "rsync -r --exclude='*.o' --exclude='*.obj' --exclude='.*/' \"\$disk/src/mixed/\" \"\$dst/c/\"" 0.40

  echo "== peak memory (max RSS; target 16 MiB + 1 MiB per copy thread)"
  for tree in small tiny large; do
    for jobs in 1 2 4; do
      /usr/bin/time -f %M -o "$base/rss" "$cli" copy "$disk/src/$tree" "$dst" --jobs "$jobs" --json >/dev/null
      between
      awk -v t=$tree -v j=$jobs '{printf "%s, %d threads: %.1f MiB (target < %d MiB)\n", t, j, $1 / 1024, 16 + j}' "$base/rss"
    done
  done
fi

# /usr/share onto the repository's own file system, as the same filtered copy by both:
# rsync -rl copies links as links and leaves out the dot-directories as quillmere-cli does.
if [[ " $parts " == *" root "* ]]; then
  dst=$base/root-dst
  between
  echo "copying /usr/share onto $(df --output=source,fstype "$base" | tail -1)"
  tree=usr-share
  pair 'quillmere /usr/share' \
    '"$cli" copy /usr/share "$dst" --exclude .gz --exclude .mo --json' \
    'rsync -rl && sync' \
    "rsync -rl --exclude='.*/' --exclude='*.gz' --exclude='*.mo' /usr/share/ \"\$dst/c/\" && sync" 0.80
  rm -rf "$dst"
fi

# exFAT through FUSE, where one process serves every write; a tree of 5,000 files keeps this
# part short. Syncing the whole file system never reaches a FUSE daemon, so there `sync` leaves
# cp's data in exfat-fuse's hands while quillmere-cli syncs each file and each directory it
# made: the equal durable work is `cp -r` followed by `sync` of every file and directory it
# made (coreutils' sync of named files syncs each). Against QUILLMERE_BENCH_BASELINE, a build
# that did not sync each file there, the pair gives the cost of those syncs.
if [[ " $parts " == *" exfat "* ]]; then
  if [ ! -f "$base/src/five.done" ]; then
    rm -rf "$base/src/five"
    python3 bench/gen_tree.py "$base/src/five" --kind small --files 5000 --dirs 250
    touch "$base/src/five.done"
  fi
  disk=$base/exfat
  mount_image exfat 4G "$disk"
  dst=$disk/dst
  mkdir -p "$disk/src"
  rsync -r --exclude='.*/' "$base/src/five/" "$disk/src/small/"
  between
  tree=small
  for jobs in 1 2 4; do
    pair "exFAT: quillmere --jobs $jobs" q 'cp -r && sync' 'cp -r "$disk/src/$tree" "$dst/c" && sync' '(figure)'
  done
  jobs=
  pair 'exFAT: quillmere' q 'cp -r && sync of each' \
    'cp -r "$disk/src/$tree" "$dst/c" && find "$dst/c" -print0 | xargs -0 sync' '(figure)'
  if [ -n "$baseline" ]; then
    pair 'exFAT: quillmere' q baseline '"$baseline" copy "$disk/src/$tree" "$dst" --json' \
      '(figure: the cost of syncing each file on FUSE)'
  fi
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
