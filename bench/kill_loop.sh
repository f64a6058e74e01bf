#!/usr/bin/env bash
# A copy killed at a random moment cannot pass for a whole one: KILLS times, `quillmere-cli
# copy` of a 50,000-file tree (plus a few files of several MiB) is started and killed with
# SIGKILL after a random delay up to 1.2 times what a whole copy takes. Afterwards every target
# either says it is incomplete (its marker directory is there and `stats --json` says
# "incomplete": true) or holds exactly the source's files, each equal to its source.
# Done on a private ext4 image and on exFAT through FUSE (no O_TMPFILE there).
#
# Usage: bench/kill_loop.sh [KILLS] [FILES] [FILE SYSTEMS]   (defaults 20, 50000 and
# "ext4 exfat"; about 10 minutes). Needs root.
# Prints one line per kill and a verdict per file system; exits 1 when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-20}
files=${2:-50000}
filesystems=${3:-"ext4 exfat"}
base=$PWD/bench/out/kill
cli=$PWD/build/release/quillmere-cli

scripts/deps exfat-fuse exfatprogs >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null

src=$base/src-$files
if [ ! -f "$src.done" ]; then
  rm -rf "$src"
  python3 bench/gen_tree.py "$src.tmp" --kind small --files "$files" --dirs $((files / 20))
  # The copy leaves dot-directories out; the source holds none so that a whole target equals it.
  rsync -a --exclude='.*/' "$src.tmp/" "$src/"
  rm -rf "$src.tmp"
  for i in 1 2 3 4 5 6; do head -c $((i * 1500000 + 7)) /dev/urandom >"$src/d0001/big$i.bin" 2>/dev/null ||
    head -c $((i * 1500000 + 7)) /dev/urandom >"$src/big$i.bin"; done
  touch "$src.done"
fi

mnt=$base/mnt
dev=
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  [ -n "$dev" ] && losetup -d "$dev"
  rm -f "$base/fs.img"
}
trap cleanup EXIT

failed=0
for fs in $filesystems; do
  rm -f "$base/fs.img"
  truncate -s 8G "$base/fs.img"
  dev=$(losetup -f --show "$base/fs.img")
  mkdir -p "$mnt"
  if [ $fs = ext4 ]; then
    mkfs.ext4 -q -F "$dev"
    mount "$dev" "$mnt"
  else
    mkfs.exfat -c 4K "$dev" >/dev/null
    mount.exfat-fuse "$dev" "$mnt" >/dev/null
  fi
  out=$mnt/out
  mkdir -p "$out"
  t0=$(date +%s.%N)
  "$cli" copy "$src" "$out" --json >/dev/null
  whole=$(awk "BEGIN{print $(date +%s.%N) - $t0}")
  rm -rf "$out"/*
  sync
  echo "== $fs: a whole copy takes ${whole}s; $kills kills at random moments"

  incomplete=0 complete=0 bad=0
  for i in $(seq "$kills"); do
    delay=$(awk -v w="$whole" -v r="$RANDOM" 'BEGIN{printf "%.3f", 1.2 * w * r / 32768}')
    before=$(ls "$out")
    "$cli" copy "$src" "$out" --json >/dev/null 2>&1 &
    pid=$!
    sleep "$delay"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    made=$(comm -13 <(echo "$before") <(ls "$out"))
    if [ -z "$made" ]; then
      echo "kill $i after ${delay}s: no target made yet"
      continue
    fi
    target=$out/$made
    if [ -d "$target/.quillmere-incomplete" ]; then
      if "$cli" stats "$target" --json | grep -q '"incomplete":true'; then
        incomplete=$((incomplete + 1))
        echo "kill $i after ${delay}s: $(basename "$target") says it is incomplete"
      else
        bad=$((bad + 1))
        echo "kill $i after ${delay}s: $(basename "$target") has the marker but stats does not say incomplete"
      fi
    elif diff -rq "$src" "$target" >"$base/diff.txt" 2>&1; then
      complete=$((complete + 1))
      echo "kill $i after ${delay}s: $(basename "$target") is whole"
    else
      bad=$((bad + 1))
      echo "kill $i after ${delay}s: $(basename "$target") has no marker and differs:"
      head -5 "$base/diff.txt"
    fi
    rm -rf "$target"
  done
  echo "$fs: $incomplete targets say they are incomplete, $complete are whole, $bad fail"
  [ $bad -eq 0 ] || failed=1
  umount "$mnt"
  losetup -d "$dev"
  dev=
done
exit $failed
