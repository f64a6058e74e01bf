#!/usr/bin/env bash
# Continuing a target that holds 90 % of its files, all recorded as on the disk, against what
# it must not exceed: copying the missing 10 % plus a listing of both trees.
#
# A whole copy of a FILES-file tree is made on a private ext4 image, then turned into the
# target a killed copy leaves: its marker, the copy's record and the list of durable files
# (as a copy writes them at its syncs) for every file but each tenth, which is removed.
# `first` is `quillmere-cli continue` of it; `second` is `quillmere-cli copy` of a tree that
# holds just the removed tenth onto the same disk, plus `quillmere-cli stats` of the source
# and of the target. Both end with their data on the disk.
#
# Usage: bench/continue_bench.sh [ROUNDS] [FILES]   (defaults 5 and 20000). Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
files=${2:-20000}
base=$PWD/bench/out/continue
cli=$PWD/build/release/quillmere-cli

cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null

src=$base/src-$files
if [ ! -f "$src.done" ]; then
  rm -rf "$src"
  python3 bench/gen_tree.py "$src" --kind small --files "$files" --dirs $((files / 20))
  # The copy leaves dot-directories out; the source holds none so that a whole target equals it.
  find "$src" -mindepth 1 -depth -type d -name '.*' -exec rm -rf {} +
  touch "$src.done"
fi
# The tenth that continuing copies, as a tree of its own (hard links: the same files).
tenth=$base/tenth-$files
if [ ! -f "$tenth.done" ]; then
  rm -rf "$tenth"
  python3 - "$src" "$tenth" <<'PY'
import os, sys
src, tenth = sys.argv[1], sys.argv[2]
paths = sorted(os.path.relpath(os.path.join(d, n), src)
               for d, _, names in os.walk(src) for n in names)
for p in paths[9::10]:
    os.makedirs(os.path.dirname(os.path.join(tenth, p)), exist_ok=True)
    os.link(os.path.join(src, p), os.path.join(tenth, p))
PY
  touch "$tenth.done"
fi

mnt=$base/mnt
dev=
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  [ -n "$dev" ] && losetup -d "$dev"
  rm -f "$base/fs.img"
}
trap cleanup EXIT
rm -f "$base/fs.img"
truncate -s 4G "$base/fs.img"
dev=$(losetup -f --show "$base/fs.img")
mkdir -p "$mnt"
mkfs.ext4 -q -F "$dev"
mount "$dev" "$mnt"
out=$mnt/out
mkdir -p "$out" "$mnt/tenth-out"
"$cli" copy "$src" "$out" >/dev/null
unfinished_target=$out/$(basename "$src")-01

# The target as a copy killed after 90 % of its files leaves it, every one of them listed.
unfinish() {
  python3 - "$src" "$unfinished_target" <<'EOF'
import os, sys
src, target = sys.argv[1], sys.argv[2]
def esc(t):
    return "".join("%%%02X" % ord(c) if c == "%" or ord(c) < 32 or ord(c) == 127 else c for c in t)
def check(line):
    h = 2166136261
    for b in line.encode():
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return "%08x" % h
marker = os.path.join(target, ".quillmere-incomplete")
os.makedirs(marker, exist_ok=True)
with open(os.path.join(marker, "copy-job.txt"), "w", newline="") as f:
    f.write("quillmere copy job 1\nexclude\t%s\r\nwork\t%s\nverify\t0\nend\n"
            % (esc(src), esc(os.path.dirname(src))))
paths = []
for d, dirs, names in os.walk(src):
    for n in names:
        paths.append(os.path.relpath(os.path.join(d, n), src))
paths.sort()
with open(os.path.join(marker, "durable.txt"), "w") as f:
    for i, p in enumerate(paths, 1):
        if i % 10 == 0:
            if os.path.exists(os.path.join(target, p)):
                os.remove(os.path.join(target, p))
            continue
        st = os.stat(os.path.join(src, p))
        line = "%s\t%d\t%d" % (esc(p), st.st_size, int(st.st_mtime))
        f.write(line + "\t" + check(line) + "\n")
EOF
}
between() {
  rm -rf "$mnt/tenth-out"/*
  [ -d "$unfinished_target/.quillmere-incomplete" ] || unfinish
  sync
}
first() { "$cli" continue "$unfinished_target" --json; }
second() {
  "$cli" copy "$tenth" "$mnt/tenth-out"
  "$cli" stats "$src"
  "$cli" stats "$unfinished_target"
}
unfinish
sync
echo "== continue of $files files, 90 % recorded durable, against a copy of the other 10 % and stats of both trees (ext4)"
. bench/in_turn.sh
in_turn "$rounds" continue "copy10+stats" 1.0
