#!/usr/bin/env bash
# A directory left out by name is never entered: a source whose node_modules holds 200,000
# small files, copied with --exclude-dir node_modules, against the same copy of the same tree
# without that directory (target: median ratio <= 1.05), and, for scale, against
# `cp -r && sync` of that smaller tree. Then --gitignore (a .gitignore naming node_modules/
# and *.log) against the equivalent --exclude-dir and --exclude-name rules (target <= 1.10).
#
# The trees lie in /var/tmp/quillmere-rules (QUILLMERE_RULES_DIR), on the file system of most
# machines' repositories but outside any git work tree: inside one, git's rules would be those
# of the work tree too. Every copy is removed, followed by sync, before the next command runs;
# pairs take turns (bench/in_turn.sh).
# Usage: bench/rules_bench.sh [ROUNDS] [MODULE_FILES]   (default 5 pairs, 200000 files)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
modules=${2:-200000}
base=${QUILLMERE_RULES_DIR:-/var/tmp/quillmere-rules}
full=$base/full/proj
rest=$base/rest/proj
out=$base/out

if [ ! -f "$base/made-$modules" ]; then
  rm -rf "$base"
  echo "generating $base ..."
  python3 bench/gen_tree.py "$full" --kind small --files 20000 --dirs 1000 --max-kib 64
  python3 bench/gen_tree.py "$full/node_modules" --kind small --files "$modules" --dirs 5000 \
    --max-kib 4 --seed 2
  mkdir -p "$(dirname "$rest")"
  cp -r "$full" "$rest"
  rm -rf "$rest/node_modules"
  printf 'node_modules/\n*.log\n' >"$full/.gitignore"
  cp "$full/.gitignore" "$rest/.gitignore"
  touch "$base/made-$modules"
fi
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli >/dev/null
cli=$PWD/build/release/quillmere-cli
mkdir -p "$out"
between() { rm -rf "${out:?}"/*; sync; }

echo "== --exclude-dir node_modules against the tree without it"
first() { "$cli" copy "$full" "$out" --exclude-dir node_modules; }
second() { "$cli" copy "$rest" "$out"; }
. bench/in_turn.sh
in_turn "$rounds" excluded without 1.05

echo "== the tree without it, against cp -r && sync"
first() { "$cli" copy "$rest" "$out"; }
second() { cp -r "$rest" "$out/proj-01" && sync; }
in_turn "$rounds" quillmere "cp-r+sync" 1.0

echo "== --gitignore against the same rules given by name"
first() { "$cli" copy "$full" "$out" --gitignore; }
second() { "$cli" copy "$full" "$out" --exclude-dir node_modules --exclude-name '*.log'; }
in_turn "$rounds" gitignore rules 1.10
